// The register and un-register runs started by the main window's two action buttons.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "app/CommandLine.h"
#include "folders/Module1.h"
#include "registration/modRegister.h"
#include "results/ResultList.h"

namespace velquist {

class velquistform;
class RunControl;

// One run: clears the list, checks the single-file input or walks the directory, writes the lines
// and the closing line. registerFlag true registers, false unregisters.
struct RunSummary;
RunSummary RunCommand(velquistform& form, bool registerFlag, RunControl* control = nullptr);

// The controls a run reads, read afresh at each use, and the window that owns its message boxes.
struct RunInputs {
    HWND owner = nullptr;
    HWND option1 = nullptr;  // selected: single-file mode
    HWND text1 = nullptr;    // the single file
    HWND text2 = nullptr;    // the directory
    HWND check1 = nullptr;   // include sub-directories
    bool perUser = false;    // for the current user only
};

// The run itself, on the given controls and list; control as for Execute.
RunSummary RunCommand(const RunInputs& inputs, ResultList& list, bool registerFlag, RunControl* control = nullptr);

// What a run is asked to do, however it was asked (the window's controls, the command line).
struct RunRequest {
    bool singleFile = true;  // else directory mode
    std::string path;        // the file, or the folder
    bool subfolders = false;
    bool registerFlag = true;
    bool perUser = false;    // for the current user only
};

// How a run ended.
struct RunSummary {
    enum class End {
        Ran,           // lines and a closing line were written
        NoFile,        // single file: the path names no ordinary file
        NotComponent,  // single file: no ActiveX component
        Unloadable,    // single file: a component that could not be loaded
    };
    End end = End::Ran;
    unsigned succeeded = 0;
    unsigned failed = 0;
    unsigned long long checked = 0;  // files looked at
    bool stopped = false;
    bool accessDenied = false;       // some component failed for want of rights
};

// What a run tells as it goes (files checked) and how it learns that it is to stop: the walk's
// progress and the observer of the waits for the runners, in one.
class RunControl : public Module1::WalkProgress, public modRegister::WaitObserver {
public:
    bool StopRequested() override { return false; }
};

// Clears the list, runs the request and writes its lines and closing line; the single-file errors go
// to showError (a message box in the window, the console in silent mode). With a control, a stop it
// asks for abandons the component in progress ("Failed : ", "Stopped before it finished."), tries
// nothing more, and closes with "... operation stopped".
RunSummary Execute(const RunRequest& request, ResultList& list,
                   const std::function<void(const std::string&)>& showError, RunControl* control = nullptr);

// Silent mode's exit code for a run: 0 at least one component tried and all succeeded, 1 any failed
// (one that could not be loaded included), 2 nothing to do.
int ExitCodeOf(const RunSummary& summary);

// The existence lookups: an ordinary file (not a folder, hidden or system file), and a folder.
// Neither matches wildcards: the text must name the file or folder itself.
bool IsOrdinaryFile(const std::string& path);
bool IsFolder(const std::string& path);

}  // namespace velquist
