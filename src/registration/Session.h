// A registration session: the runners of both bitnesses, where their programs are, and how the
// requests of a run are made (per user or machine-wide, who waits). Made by whoever runs, passed down.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "inspect/Capture.h"
#include "inspect/CaptureKeys.h"
#include "registration/InstallCall.h"
#include "registration/Outcome.h"
#include "pe/PeFile.h"
#include "runner/RunnerClient.h"
#include "runner/TestItems.h"
#include "runner/TypeLibrary.h"

namespace registration {

// The runners' program files, one per bitness.
struct RunnerPrograms {
    std::string i386;   // serves 32-bit components
    std::string amd64;  // serves 64-bit components
    // velquist.exe and velquist64.exe in the given folder.
    static RunnerPrograms InFolder(const std::string& folder);
    // ... beside this program: how the program is shipped.
    static RunnerPrograms BesideProgram();
};

class Session {
public:
    explicit Session(const RunnerPrograms& programs = RunnerPrograms::BesideProgram());
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Registration for the current user only: while on, every probe and call runs with
    // HKEY_CLASSES_ROOT mapped to HKEY_CURRENT_USER\Software\Classes (type libraries too, where the
    // system's oleaut32 can), so that it needs no administrator and touches no other user.
    void SetPerUser(bool perUser) noexcept { perUser_ = perUser; }
    bool PerUser() const noexcept { return perUser_; }

    // Who waits for the runners: gets the input that arrives while waiting, and can stop the call in
    // progress. nullptr for none.
    void SetObserver(runner::WaitObserver* observer) noexcept { observer_ = observer; }
    runner::WaitObserver* Observer() const noexcept { return observer_; }

    // The header check, then (for a component) a load and a look-up of "DllRegisterServer" in the
    // runner of the file's bitness; the library stays loaded there for the call that follows.
    modRegister::Result Probe(const std::string& path, DWORD waitLimitMs = modRegister::kWaitLimitMs);
    // DllRegisterServer (registerFlag) or DllUnregisterServer in the runner of the file's bitness;
    // with keepLoaded, the library stays loaded there for a DllInstall that follows.
    modRegister::Result Call(const std::string& path, bool registerFlag, DWORD waitLimitMs = modRegister::kWaitLimitMs,
                             bool keepLoaded = false);

    // The probe for DllInstall alone: the header check, then a load and a look-up of "DllInstall". A
    // component (by its DllRegisterServer) without that export gets EntryMissing without a load.
    modRegister::Result ProbeInstall(const std::string& path, DWORD waitLimitMs = modRegister::kWaitLimitMs);
    // DllInstall(install, the call's command line) in the runner of the file's bitness; with
    // keepLoaded, the library stays loaded for a DllUnregisterServer that follows.
    modRegister::Result Install(const std::string& path, bool install, const InstallCall& call, bool keepLoaded = false,
                                DWORD waitLimitMs = modRegister::kWaitLimitMs);
    // A type library file, or a program file's TYPELIB resource ("FILE\\N"): its facts, read in a runner
    // (of a program file's bitness; of this program's own for any other file). Success when it is one;
    // EntryFailed (the load's HRESULT) when it is none.
    modRegister::Result ProbeTypeLibrary(const std::string& path, runner::TypeLibraryFacts& facts,
                                         DWORD waitLimitMs = modRegister::kWaitLimitMs);
    // RegisterTypeLib (registerFlag; per user as the session is) or UnRegisterTypeLib, in the runner
    // whose bitness matches the library's system kind, so that its interfaces land in that view.
    modRegister::Result CallTypeLibrary(const std::string& path, bool registerFlag, const runner::TypeLibraryFacts& facts,
                                        DWORD waitLimitMs = modRegister::kWaitLimitMs);
    // What RegisterTypeLib writes for it, captured as Capture captures a component's registration.
    modRegister::Result CaptureTypeLibrary(const std::string& path, const runner::TypeLibraryFacts& facts,
                                           capture::Capture& captured, DWORD waitLimitMs = modRegister::kWaitLimitMs);

    // Whether the file's headers say it exports `name` (none of its code runs).
    bool HeadersExport(const std::string& path, const char* name);

    // The header check alone: whether the file is a PE file that exports DllRegisterServer (a component
    // for a runner to load). None of its code runs.
    bool HeadersSayComponent(const std::string& path);

    // DllRegisterServer in the runner of the file's bitness with HKEY_CLASSES_ROOT, HKEY_LOCAL_MACHINE,
    // HKEY_USERS and HKEY_CURRENT_USER redirected into a scratch key: what it wrote, in `captured`, on
    // Success. The component is loaded machine-wide whatever the per-user setting, and the machine's
    // registry is left as it was (the keys a registration reaches around the redirection put back).
    // An entry point that failed, crashed or timed out leaves in `captured` what it wrote before.
    modRegister::Result Capture(const std::string& path, capture::Capture& captured,
                                DWORD waitLimitMs = modRegister::kWaitLimitMs);

    // The class test: each item (a class made, a proxy/stub factory got, a type library loaded; see
    // runner::TestItem) in the runner of the file's bitness, machine-wide, all within waitLimitMs.
    // `replies` gets one per item that ended, in order. Success when every item was answered (each
    // reply's code says how its item went; none at all are asked for an empty list); otherwise why the
    // runner was lost on item replies.size(): Crashed (an ItemCrashed reply last, its library noted
    // as for LoadFailed), TimedOut, Stopped, ... The machine's registry is not changed by the test.
    // `machine`: for a file that is no component (a type library), the runner to ask.
    modRegister::Result Test(const std::string& path, const std::vector<runner::TestItem>& items,
                             std::vector<runner::TestReply>& replies, DWORD waitLimitMs = modRegister::kWaitLimitMs,
                             std::uint16_t machine = 0);

    // A second session for captures side by side with this one's: the same runner programs and the
    // same guard of the keys a capture reaches around the redirection, runners of its own (kept
    // from run to run, ended with this one's), the same per-user setting, no observer. Made at first
    // need; nullptr when it cannot be made.
    Session* Partner() noexcept;
    // Holds the guard of the captures' escapes across several captures (see EscapeWatch): BeginCaptures
    // records, the matching EndCaptures puts back. Calls nest with those of the captures themselves.
    void BeginCaptures() { escapes_->Before(); }
    void EndCaptures() { escapes_->After(); }
    // Who deletes the captures' scratch keys: nullptr (the default) for each capture itself, before
    // it returns; a sweeper for captures side by side (whoever sets it drains it).
    void SetSweeper(ScratchSweeper* sweeper) noexcept { sweeper_ = sweeper; }

    // The process id of the runner serving `machine`, 0 when none runs.
    DWORD RunnerProcessId(std::uint16_t machine) const noexcept;
    // Ends both runners now (and the partner's); the next request starts a fresh one.
    void EndRunners() noexcept;

private:
    runner::RunnerClient* For(std::uint16_t machine) noexcept;
    modRegister::Result Ask(runner::Request kind, const std::string& path, DWORD waitLimitMs,
                            capture::Capture* captured = nullptr, std::uint32_t flags = 0,
                            const InstallCall* install = nullptr);

    modRegister::Result AskTypeLibrary(runner::Request kind, const std::string& path, std::uint16_t machine,
                                       DWORD waitLimitMs, runner::TypeLibraryFacts* facts, capture::Capture* captured);

    Session(const RunnerPrograms& programs, EscapeWatch& shared);

    RunnerPrograms programs_;
    runner::RunnerClient i386_;
    runner::RunnerClient amd64_;
    bool perUser_ = false;
    runner::WaitObserver* observer_ = nullptr;
    std::unique_ptr<EscapeWatch> ownEscapes_;  // none in a partner
    EscapeWatch* escapes_;                     // of the captures: its own, or its maker's
    ScratchSweeper* sweeper_ = nullptr;
    pefile::PageCache pages_;  // the header check's buffers, file after file
    std::unique_ptr<Session> partner_;
};

// For "FILE\\N" (the Nth type library of a program file) where FILE is an ordinary file: FILE; else "".
std::string TypeLibraryResourceFile(const std::string& path);

// The COFF machine of the runner that would serve the file: that of a PE file that exports
// DllRegisterServer by its headers (nothing of it run), 0 for any other file. `pages`: buffers for
// the header check.
std::uint16_t ComponentMachine(const std::string& path, pefile::PageCache& pages);

}  // namespace registration
