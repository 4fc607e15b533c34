// Each task described once: its switch, its menu item and shortcut, the file it writes, whether it
// changes the registry, how silent mode reads its end, and the function that runs it.
#pragma once

#include <windows.h>

#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "tasks/Commands.h"

namespace velquist {

// The file types of a dialog that saves a .reg file, each name and pattern ended by a NUL.
inline constexpr char kRegFilterText[] = "Registration files (*.reg)\0*.reg\0All files (*.*)\0*.*\0";
inline constexpr std::string_view kRegFilter{kRegFilterText, sizeof kRegFilterText - 1};

// What a task's run works with. The run writes its lines (the closing line is Execute's) and returns
// the closing line's detail; a run that ends without lines sets summary.end.
struct TaskRun {
    const RunRequest& request;
    const std::string& target;  // a task that writes a file: that file ("" for a folder without components)
    registration::Session& session;
    ResultList& list;
    const std::function<void(const std::string&)>& showError;
    RunControl& control;
    RunSummary& summary;
    LARGE_INTEGER start;  // when the run began, for the time its closing line gives

    double Seconds() const;
};

struct TaskSpec {
    RunRequest::Task task;
    // The command line's switch without its slash: "/check", or "/export:FILE" for a task that writes
    // a file; "" for none (a register run is the default, /u a flag of it).
    std::string_view word;
    int menuId;                 // its Tools menu item's command (0: none, the buttons run it)
    std::string_view menuText;  // the item's text, its shortcut's after a tab ("": a command with no item)
    char key;                   // Ctrl+key runs it from the window (0: none)
    bool fileSwitch;            // its switch takes a file ("/export:FILE"), and the window asks for one
    bool writesFile;            // a .reg file or a manifest of the inputs, settled before the list is touched
    bool changesRegistry;       // calls entry points: the list is cleared first, /user applies to the calls
    bool perUserApplies;        // whether /user (an export's keys for the current user) means anything to it
    bool takesPath;             // works on the inputs' file or folder (else on the machine: no path)
    RunKind kind;               // its closing line's texts (a change: Register, or Unregister with /u)
    // Asking for the file it writes in the window.
    std::string_view saveTitle = {}, saveName = {}, saveFilter = {}, saveExtension = {};
    std::string (*run)(TaskRun& run);
    int (*exitCode)(const RunSummary& summary);  // silent mode's exit code
};

// Every task, in the Tools menu's order after the register run.
std::span<const TaskSpec> Tasks() noexcept;
// The row of a task (every task has one).
const TaskSpec& TaskOf(RunRequest::Task task) noexcept;
// The row whose menu item is `menuId`, or nullptr.
const TaskSpec* TaskOfMenu(int menuId) noexcept;

// The switches of the tasks that have one, as a sentence lists them: "/check, /test and /export"
// (`conjunction` "and" or "or").
std::string TaskSwitches(std::string_view conjunction);

// The tasks that write a file (a .reg file or a manifest) of what they capture.
inline bool WritesFile(RunRequest::Task task) noexcept { return TaskOf(task).writesFile; }

// Silent mode's exit code for the tasks that count components: 0 at least one component tried and
// all succeeded (a check: all registered here; a test: all work; an export: all captured, or all in
// the manifest, and the file written), 1 any failed (one that could not be loaded included; a check:
// any not registered here; a test: any that does not work or is not registered here; an export: the
// file not written or refused), 2 nothing to do.
int CountedExitCode(const RunSummary& summary);

// The run functions of the rows.
std::string ChangeRun(TaskRun& run);      // register or unregister (Commands.cpp)
std::string CheckTaskRun(TaskRun& run);   // the inspections (Tasks.cpp, over InspectRun)
std::string TestTaskRun(TaskRun& run);
std::string ExportTaskRun(TaskRun& run);
std::string ManifestTaskRun(TaskRun& run);
std::string ScanTaskRun(TaskRun& run);      // the machine's broken registrations (ScanRun.cpp)
std::string CleanTaskRun(TaskRun& run);     // and their removal after a backup (CleanRun.cpp)
std::string PutBackTaskRun(TaskRun& run);   // an undo file's changes made (UndoRun.cpp)

// Silent mode's exit code for a scan: 0 nothing broken, 1 something broken (or the scan stopped).
int ScanExitCode(const RunSummary& summary);
// For a clean: 0 everything broken that may be removed was removed and the backup written; 1 something
// could not be removed, or the backup could not be written (nothing was removed then); 2 nothing broken
// to remove (or the clean was declined).
int CleanExitCode(const RunSummary& summary);
// Where a clean's backup goes unless the user says: "Velquist backup YYYY-MM-DD HHMMSS.reg" in the
// user's Documents folder (`suffix` before ".reg").
std::string DefaultBackupPath(const std::string& suffix = {});

}  // namespace velquist
