// One run: single-file checks or the folder walk, the result lines, the closing line.
#include "tasks/Commands.h"

#include <windows.h>

#include "folders/RegisterFile.h"
#include "registration/Details.h"
#include "tasks/InspectRun.h"
#include "tasks/Tasks.h"
#include "win32/Paths.h"

namespace velquist {
namespace {

// Forwards every line and counts the successes and failures for the closing line's summary.
class CountingList : public ResultList {
public:
    explicit CountingList(ResultList& inner) : inner_(inner) {}
    void Clear() override { inner_.Clear(); }
    int Count() const override { return inner_.Count(); }
    void Add(const std::string& key, const ResultLine& line) override {
        if (line.kind == LineKind::Registered || line.kind == LineKind::Unregistered || line.kind == LineKind::Installed ||
            line.kind == LineKind::Uninstalled) {
            ++succeeded;
        }
        if (line.kind == LineKind::Failed) ++failed;
        inner_.Add(key, line);
    }
    unsigned succeeded = 0;
    unsigned failed = 0;

private:
    ResultList& inner_;
};

// The session as the request wants it for the length of the run, then as it was.
class SessionForRun {
public:
    SessionForRun(registration::Session& session, bool perUser, runner::WaitObserver* observer)
        : session_(session), perUser_(session.PerUser()), observer_(session.Observer()) {
        session_.SetPerUser(perUser);
        session_.SetObserver(observer);
    }
    ~SessionForRun() {
        session_.SetPerUser(perUser_);
        session_.SetObserver(observer_);
    }
    SessionForRun(const SessionForRun&) = delete;
    SessionForRun& operator=(const SessionForRun&) = delete;

private:
    registration::Session& session_;
    bool perUser_;
    runner::WaitObserver* observer_;
};

// A change's kind is the request's: register, or unregister; install or uninstall for DllInstall alone.
RunKind KindOfRun(const RunRequest& request) {
    const RunKind kind = TaskOf(request.task).kind;
    if (kind != RunKind::Register) return kind;
    if (request.install.Alone()) return request.registerFlag ? RunKind::Install : RunKind::Uninstall;
    return request.registerFlag ? RunKind::Register : RunKind::Unregister;
}

// Whether the file holds a type library (read in a runner, nothing registered).
bool IsTypeLibrary(registration::Session& session, const std::string& path) {
    runner::TypeLibraryFacts facts;
    return session.ProbeTypeLibrary(path, facts).Succeeded();
}

}  // namespace

// Register or unregister: the single file or the folder's components. A single file that is no
// component ends the run (told through showError, with summary.end saying why).
std::string ChangeRun(TaskRun& task) {
    const RunRequest& request = task.request;
    RunSummary& summary = task.summary;
    RunControl& run = task.control;
    CountingList list(task.list);
    const bool registerFlag = request.registerFlag;
    undo::RunRecord* record = run.UndoRecord();
    if (record != nullptr) record->Clear();
    Module1::ChangeOptions options{request.force ? Module1::Guard::None : Module1::Guard::OtherCopies, record};
    options.install = &request.install;
    options.typeLibraries = request.typeLibraries;
    if (request.mode == RunRequest::Mode::SingleFile) {
        summary.checked = 1;
        const Module1::FileRegistration file = Module1::RegisterFile(task.session, request.path, registerFlag, options);
        summary.stopped = file.stopped;
        summary.accessDenied = file.accessDenied;
        using Verdict = Module1::FileRegistration::Verdict;
        if (file.verdict != Verdict::Called && file.verdict != Verdict::Refused && file.verdict != Verdict::Lacking &&
            !file.typeLibrary && !file.stopped) {
            std::string message = "This file is not an ActiveX component";
            // A component that could not be loaded is told apart from a file that is none.
            summary.end = RunSummary::End::NotComponent;
            if (file.verdict == Module1::FileRegistration::Verdict::Unloadable) {
                message += "\n\n" + modRegister::Detail(request.path, file.probe, registerFlag);
                summary.end = RunSummary::End::Unloadable;
            } else if (!request.typeLibraries && !request.install.on && IsTypeLibrary(task.session, request.path)) {
                message = "This file is a type library, not an ActiveX component. Choose File > Include type "
                          "libraries to register it.";
            }
            task.showError(message);
            return {};
        }
        AddResultLine(list, file.line);
    } else if (win32::IsFolder(request.path)) {
        Module1::RegisterFolder(task.session, request.path, request.subfolders, registerFlag, list, &run, options);
        summary.checked = run.checked;
        summary.stopped = run.stopped;
        summary.accessDenied = run.accessDenied;
    }
    // A missing folder, or a text naming a file, is no folder to walk; the run just closes.
    summary.succeeded = list.succeeded;
    summary.failed = list.failed;
    std::string closing =
        request.install.Alone() ? modRegister::Summary(registerFlag ? "installed" : "uninstalled", list.succeeded, list.failed,
                                     summary.checked, task.Seconds())
              : modRegister::Summary(registerFlag, list.succeeded, list.failed, summary.checked, task.Seconds());
    if (record != nullptr && record->Changed()) {
        closing.append(" ").append(record->WayBack());
        // The record holds what DllRegisterServer's keys were; DllInstall may write anywhere.
        if (request.install.on) {
            closing.append(" Of what DllInstall changed, only the keys its registration writes are recorded.");
        }
    }
    return closing;
}

RunSummary Execute(const RunRequest& request, registration::Session& session, ResultList& results,
                   const std::function<void(const std::string&)>& showError, RunControl* control) {
    RunSummary summary;
    summary.task = request.task;
    RunControl none;
    RunControl& run = control != nullptr ? *control : none;
    const TaskSpec& task = TaskOf(request.task);
    const bool noFile = task.takesPath && request.mode == RunRequest::Mode::SingleFile &&
                        !win32::IsOrdinaryFile(request.path) &&
                        !(request.typeLibraries && !registration::TypeLibraryResourceFile(request.path).empty());
    const auto tellNoFile = [&] {
        showError("No file selected");
        summary.end = RunSummary::End::NoFile;
        return summary;
    };
    // A register run clears the last run's lines first, as it always has; a check or an export keeps
    // them when it has nothing to do.
    if (noFile && !task.changesRegistry) return tellNoFile();
    // An export's file is settled before anything of the last run's goes.
    std::string target;
    if (task.writesFile && !ChooseExportTarget(request, session, showError, run, summary, target)) return summary;

    // The waits for the runners hand input to the control and ask it about stopping. A check or an
    // export loads each component as a machine-wide run does: the per-user setting only says where an
    // export's keys go.
    const SessionForRun settings(session, task.changesRegistry && request.perUser, control);
    results.Clear();
    TaskRun taskRun{request, target, session, results, showError, run, summary, {}};
    ::QueryPerformanceCounter(&taskRun.start);
    if (noFile) return tellNoFile();
    const std::string detail = task.run(taskRun);
    if (summary.end != RunSummary::End::Ran) return summary;
    if (task.writesFile && target.empty()) summary.end = RunSummary::End::NoComponent;
    AddResultLine(results, ClosingLine(KindOfRun(request), summary.stopped, detail));
    return summary;
}

int ExitCodeOf(const RunSummary& summary) { return TaskOf(summary.task).exitCode(summary); }

}  // namespace velquist
