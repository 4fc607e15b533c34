// One file of a run: the probe, then (for a component) the call, then its line. Single-file mode and
// the folder walk both go this way.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "registration/Session.h"
#include "undo/UndoRecord.h"
#include "results/ResultList.h"

namespace Module1 {

struct FileRegistration {
    enum class Verdict {
        NotComponent,  // no ActiveX component: no line
        Unloadable,    // a component that could not be loaded (or whose probe was stopped): a failed line
        Called,        // its entry point was called: the line says how that went
        Refused,       // not unregistered: its classes are registered for another file (a failed line)
        Lacking,       // a component without the DllInstall a run that calls it asked for (a failed line)
    };
    Verdict verdict = Verdict::NotComponent;
    modRegister::Result probe;
    velquist::ResultLine line;  // Unloadable and Called
    bool typeLibrary = false;   // a type library file rather than a component
    bool stopped = false;       // the probe or the call was stopped
    bool accessDenied = false;  // the call failed for want of rights
};

// Whether an unregister run first checks each component and leaves alone one whose classes or type
// libraries are registered for another file: its DllUnregisterServer would delete that file's
// registration (the same class ids), not its own.
enum class Guard { None, OtherCopies };

// What a component registers, captured ahead of its call: the capture's outcome and what it got.
struct CapturedAhead {
    modRegister::Result result;
    capture::Capture captured;
};
// By the file's path as the walk gives it.
using CapturesAhead = std::unordered_map<std::string, CapturedAhead>;

// What a register or unregister run does around each call besides the call itself.
struct ChangeOptions {
    Guard guard = Guard::None;
    // Where each component's undo record goes (nullptr: none is made). What it registers is captured
    // before the call, as a check captures it, and read where the call writes, before and after.
    undo::RunRecord* undo = nullptr;
    // Captures made ahead of the calls (a folder's, side by side): a file found here is not captured
    // again before its call.
    const CapturesAhead* ahead = nullptr;
    // DllInstall, after DllRegisterServer or before DllUnregisterServer, or alone (nullptr, or not on:
    // not called). Called alone, it has neither the guard nor the undo record: what it changes is its
    // own, and no capture sees it.
    const registration::InstallCall* install = nullptr;
    // Whether a file that is no component is tried as a type library: registered with RegisterTypeLib,
    // unregistered with UnRegisterTypeLib, in the runner of the library's system kind.
    bool typeLibraries = false;
    bool Installs() const { return install != nullptr && install->on; }
    bool InstallsAlone() const { return install != nullptr && install->Alone(); }
    // Whether the guard or the undo record needs what a component registers before its call.
    bool NeedsCapture(bool registerFlag) const {
        return !InstallsAlone() && ((!registerFlag && guard == Guard::OtherCopies) || undo != nullptr);
    }
};

// Probes the file in the session and, for a component, calls DllRegisterServer (registerFlag) or
// DllUnregisterServer, with DllInstall as options.install says: after DllRegisterServer, before
// DllUnregisterServer, the second only when the first succeeded; the line is a success only when both
// did. A line's detail says when the session registers for the current user only.
FileRegistration RegisterFile(registration::Session& session, const std::string& path, bool registerFlag,
                              const ChangeOptions& options = {});

// The line of a component whose capture before its call was stopped: that of a call that was stopped.
velquist::ResultLine StoppedLine(const std::string& path, const modRegister::Result& stopped, bool registerFlag);

// The detail of a copy the guard did not unregister, naming the files its registration belongs to
// (typeLibrary: a type library file's).
std::string RefusedDetail(const std::vector<std::string>& otherFiles, bool typeLibrary = false);

}  // namespace Module1
