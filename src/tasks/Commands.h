// One run of a request against a result list: the single file or the folder walk, its lines and the
// closing line. Knows no window: the window, the command line and silent mode all come through here.
#pragma once

#include <functional>
#include <string>

#include "tasks/RunRequest.h"
#include "folders/Module1.h"
#include "registration/Session.h"
#include "results/ResultList.h"
#include "undo/UndoRecord.h"

namespace velquist {

// The exit codes of silent mode.
enum ExitCode : int { kExitSucceeded = 0, kExitFailed = 1, kExitNothingToDo = 2, kExitBadCommandLine = 3 };

// How a run ended.
struct RunSummary {
    enum class End {
        Ran,           // lines and a closing line were written
        NoFile,        // single file: the path names no ordinary file
        NotComponent,  // single file: no ActiveX component
        Unloadable,    // single file: a component that could not be loaded
        NoComponent,   // export of a folder: no component in it, no file written
        Cancelled,     // export: no file was chosen; nothing was done
        Refused,       // export: the file chosen cannot be written as asked; put back: the undo file cannot be
                       // read (told); nothing was done
    };
    End end = End::Ran;
    RunRequest::Task task = RunRequest::Task::Change;
    unsigned succeeded = 0;  // registered or unregistered; check: registered here; test: works; export: captured
    unsigned failed = 0;
    unsigned unsettled = 0;  // check: not registered, registered elsewhere or partly registered; test: those
                             // and does not work
    unsigned long long checked = 0;  // files looked at
    bool stopped = false;
    bool accessDenied = false;       // some component failed for want of rights
    bool written = false;            // export: the .reg file or the manifest was written
};

// What a run tells as it goes (files checked) and how it learns that it is to stop: the walk's
// progress and the observer of the waits for the runners, in one.
class RunControl : public Module1::WalkProgress, public runner::WaitObserver {
public:
    bool StopRequested() override { return false; }
    // An export without a file named: the file to write (`suggested` offered), asked once its inputs
    // are known to hold a component; "" (the default) when none was chosen.
    virtual std::string ChooseExportFile(RunRequest::Task /*task*/, const std::string& /*suggested*/) { return {}; }
    // A question asked once before a run changes what the user did not name (a clean): yes by default,
    // as on the command line, where the switch is the consent.
    virtual bool Confirm(const std::string& /*question*/) { return true; }
    // Where a register or unregister run keeps its undo record (cleared as the run begins); nullptr
    // (the default) for none.
    virtual undo::RunRecord* UndoRecord() { return nullptr; }
};

// Clears the list, runs the request in the session (per user as the request says) and writes its
// lines and closing line; the single-file errors go to showError (a message box in the window, the
// console in silent mode). With a control, a stop it asks for abandons the component in progress
// ("Failed : ", "Stopped before it finished."), tries nothing more, and closes with "... operation stopped".
RunSummary Execute(const RunRequest& request, registration::Session& session, ResultList& list,
                   const std::function<void(const std::string&)>& showError, RunControl* control = nullptr);

// Silent mode's exit code for a run: 0 at least one component tried and all succeeded (a check: all
// registered here; a test: all work; an export: all captured, or all in the manifest, and the file
// written), 1 any failed (one
// that could not be loaded included; a check: any not registered here; a test: any that does not work
// or is not registered here; an export: the file not written or refused), 2 nothing to do.
int ExitCodeOf(const RunSummary& summary);

}  // namespace velquist
