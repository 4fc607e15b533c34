// modRegister: decides whether a file is an ActiveX component and runs its registration entry point.
#pragma once

#include <windows.h>
#include <string>

#include "registration/PeExports.h"

namespace modRegister {

constexpr DWORD kWaitLimitMs = 10000;

// True if the file is a loadable library of this build's architecture exporting "DllRegisterServer".
bool IsDLLActiveX(const std::string& path);

// Runs DllRegisterServer (registerFlag) or DllUnregisterServer on a worker thread, waiting at most
// waitLimitMs; true only when it ended in time with a success HRESULT.
bool RunServerEntry(const std::string& path, bool registerFlag, DWORD waitLimitMs = kWaitLimitMs);

// Why a probe or a call came out as it did; the two functions above answer Succeeded().
enum class Outcome {
    Success,           // probe: loadable component; call: the entry point returned a success HRESULT in time
    NotComponent,      // the file's headers rule it out (see `headers`); none of its code ran
    LoadFailed,        // LoadLibrary failed (`code`: the system error, e.g. a missing dependency)
    EntryMissing,      // the library lacks the entry point asked for
    ThreadNotCreated,  // no worker thread (`code`: the system error)
    EntryFailed,       // the entry point returned a failure HRESULT (`code`)
    TimedOut,          // the entry point overran the wait limit and its thread was ended
    Crashed,           // the entry point raised an exception nobody handled (`code`: the exception code)
};

struct Result {
    Outcome outcome = Outcome::NotComponent;
    DWORD code = 0;  // system error, HRESULT or exception code, as the outcome says; 0 otherwise
    peexports::ExportCheck headers = peexports::ExportCheck::NotPe;  // the header check's verdict
    bool Succeeded() const { return outcome == Outcome::Success; }
};

// The probe behind IsDLLActiveX: the header check, then a load and a look-up of "DllRegisterServer".
Result ProbeComponent(const std::string& path);
// The call behind RunServerEntry.
Result CallServerEntry(const std::string& path, bool registerFlag, DWORD waitLimitMs = kWaitLimitMs);

// A short English description of a result ("timed out", "crashed (exception 0xC0000005)", ...).
std::string Describe(const Result& result);

}  // namespace modRegister
