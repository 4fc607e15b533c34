// What a probe or a registration call came to: the outcome, its code, and what the headers said.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "pe/PeExports.h"

namespace modRegister {

constexpr DWORD kWaitLimitMs = 10000;

// Why a probe or a call came out as it did.
enum class Outcome {
    Success,           // probe: loadable component; call: the entry point returned a success HRESULT in time
    NotComponent,      // the file's headers rule it out (see `headers`); none of its code ran
    LoadFailed,        // the load failed (`code`: the system error, e.g. a missing dependency; see missingLibrary)
    EntryMissing,      // the library lacks the entry point asked for
    RunnerUnavailable, // no runner of the file's bitness could be started (`code`: the system error, or its
                       // exit code when runnerExit says it ended as it started)
    EntryFailed,       // the entry point returned a failure HRESULT (`code`)
    TimedOut,          // no answer within the wait limit: the runner was ended
    Crashed,           // an exception nobody handled ended the runner (`code`: the exception code)
    ProcessEnded,      // the component ended the runner's process itself (`code`: its exit code)
    Stopped,           // the run was stopped while waiting for it: the runner was ended
    ProtocolFault,     // the runner answered what it should not (`code`: the answer it gave): it was ended
    CaptureFailed,     // capture: the registry could not be redirected, or the scratch key read back (`code`)
    NothingCaptured,   // capture: the entry point succeeded and wrote nothing to the registry
};

struct Result {
    Outcome outcome = Outcome::NotComponent;
    DWORD code = 0;  // system error, HRESULT, exception or exit code, as the outcome says; 0 otherwise
    peexports::ExportCheck headers = peexports::ExportCheck::NotPe;  // the header check's verdict
    std::uint16_t machine = 0;  // the file's COFF machine (0 when it is no PE file)
    std::string missingLibrary;   // LoadFailed: the dependency that was not found, or the library lacking missingFunction; "" if unknown
    std::string missingFunction;  // LoadFailed: the function (or "#ordinal") imported from missingLibrary that it lacks; "" otherwise
    std::string neededBy;         // LoadFailed: the file name of the DLL whose import is unmet (the component's own or a dependency's)
    bool perUser = false;         // asked for with per-user registration on
    bool runnerExit = false;      // RunnerUnavailable: `code` is the exit code of a runner that ended as it started
    bool capture = false;         // asked for a capture: DllRegisterServer inside a scratch key
    bool install = false;         // asked for DllInstall (its probe, or its call)
    bool typeLibrary = false;     // asked of a type library file: its probe, registration or capture
    bool Succeeded() const { return outcome == Outcome::Success; }
    // The entry point ran and did not finish well (it failed, crashed, hung or ended its process): it
    // may have written part of what it registers.
    bool RanAndFailed() const {
        return outcome == Outcome::EntryFailed || outcome == Outcome::Crashed || outcome == Outcome::TimedOut ||
               outcome == Outcome::ProcessEnded;
    }
};

}  // namespace modRegister
