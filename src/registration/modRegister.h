// modRegister: decides whether a file is an ActiveX component and runs its registration entry point.
#pragma once

#include <windows.h>
#include <cstdint>
#include <string>

#include "registration/PeExports.h"
#include "registration/RunnerClient.h"

namespace modRegister {

constexpr DWORD kWaitLimitMs = 10000;

// True if the file is a loadable library (32- or 64-bit) exporting "DllRegisterServer". The file is
// loaded in the runner of its own bitness, never in this process.
bool IsDLLActiveX(const std::string& path);

// Runs DllRegisterServer (registerFlag) or DllUnregisterServer in the runner of the file's bitness,
// waiting at most waitLimitMs; true only when it returned a success HRESULT in time.
bool RunServerEntry(const std::string& path, bool registerFlag, DWORD waitLimitMs = kWaitLimitMs);

// Why a probe or a call came out as it did; the two functions above answer Succeeded().
enum class Outcome {
    Success,           // probe: loadable component; call: the entry point returned a success HRESULT in time
    NotComponent,      // the file's headers rule it out (see `headers`); none of its code ran
    LoadFailed,        // the load failed (`code`: the system error, e.g. a missing dependency; see missingLibrary)
    EntryMissing,      // the library lacks the entry point asked for
    RunnerUnavailable, // no runner of the file's bitness could be started (`code`: the system error)
    EntryFailed,       // the entry point returned a failure HRESULT (`code`)
    TimedOut,          // no answer within the wait limit: the runner was ended
    Crashed,           // an exception nobody handled ended the runner (`code`: the exception code)
    ProcessEnded,      // the component ended the runner's process itself (`code`: its exit code)
    Stopped,           // the run was stopped while waiting for it: the runner was ended
};

struct Result {
    Outcome outcome = Outcome::NotComponent;
    DWORD code = 0;  // system error, HRESULT, exception or exit code, as the outcome says; 0 otherwise
    peexports::ExportCheck headers = peexports::ExportCheck::NotPe;  // the header check's verdict
    std::uint16_t machine = 0;  // the file's COFF machine (0 when it is no PE file)
    std::string missingLibrary;   // LoadFailed: the dependency that was not found, or the library lacking missingFunction; "" if unknown
    std::string missingFunction;  // LoadFailed: the function (or "#ordinal") imported from missingLibrary that it lacks; "" otherwise
    std::string neededBy;         // LoadFailed: the file name of the DLL whose import is unmet (the component's own or a dependency's)
    bool perUser = false;         // asked for with per-user registration on (see UsePerUserRegistration)
    bool Succeeded() const { return outcome == Outcome::Success; }
};

// The probe behind IsDLLActiveX: the header check, then a load and a look-up of "DllRegisterServer".
Result ProbeComponent(const std::string& path, DWORD waitLimitMs = kWaitLimitMs);
// The call behind RunServerEntry.
Result CallServerEntry(const std::string& path, bool registerFlag, DWORD waitLimitMs = kWaitLimitMs);

// Registration for the current user only: while on, every probe and call runs with HKEY_CLASSES_ROOT
// mapped to HKEY_CURRENT_USER\Software\Classes (type libraries too, where the system's oleaut32 can),
// so that it needs no administrator and touches no other user. Off (machine-wide) by default; each
// request reads it, so it is set before a run starts.
void UsePerUserRegistration(bool perUser);
bool PerUserRegistration();

// The folder that holds the runners (velquist.exe for 32-bit components, velquist64.exe for 64-bit
// ones); "" (the default) is the program's own folder. Tests and benchmarks name the build's folder.
void UseRunnerFolder(const std::string& folder);
// The process id of the runner serving `machine`, 0 when none runs.
DWORD RunnerProcessId(std::uint16_t machine);
// Ends both runners now; the next request starts a fresh one.
void EndRunners();

// Who waits for the runners on this thread: gets the input that arrives while waiting, and can stop
// the call in progress (see runner::WaitObserver). nullptr for none; a run sets it for its length.
using WaitObserver = runner::WaitObserver;
void SetWaitObserver(WaitObserver* observer);
WaitObserver* CurrentWaitObserver();

// A short English description of a result ("timed out", "crashed (exception 0xC0000005)", ...).
std::string Describe(const Result& result);

}  // namespace modRegister
