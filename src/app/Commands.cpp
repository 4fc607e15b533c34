// One run: single-file checks or the folder walk, the result lines, the closing line.
#include "app/Commands.h"

#include <windows.h>

#include <cstdio>

#include "app/InspectRun.h"
#include "folders/RegisterFile.h"
#include "registration/Details.h"
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
        if (line.kind == LineKind::Registered || line.kind == LineKind::Unregistered) ++succeeded;
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

double SecondsSince(const LARGE_INTEGER& start) {
    LARGE_INTEGER now{}, frequency{};
    ::QueryPerformanceCounter(&now);
    ::QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart > 0 ? static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart)
                                  : 0.0;
}

}  // namespace

namespace {

RunKind KindOfRun(const RunRequest& request) {
    switch (request.task) {
        case RunRequest::Task::Change: return request.registerFlag ? RunKind::Register : RunKind::Unregister;
        case RunRequest::Task::Check: return RunKind::Check;
        case RunRequest::Task::Test: return RunKind::Test;
        case RunRequest::Task::Export:
        case RunRequest::Task::Removal:
        case RunRequest::Task::Manifest: return RunKind::Export;
    }
    return RunKind::Register;
}

// Register or unregister: the single file or the folder's components; false when a single file ends
// the run (told through showError).
bool ChangeRun(const RunRequest& request, registration::Session& session, CountingList& list,
               const std::function<void(const std::string&)>& showError, RunControl& run, RunSummary& summary) {
    const bool registerFlag = request.registerFlag;
    if (request.mode == RunRequest::Mode::SingleFile) {
        summary.checked = 1;
        const Module1::FileRegistration file = Module1::RegisterFile(session, request.path, registerFlag);
        summary.stopped = file.stopped;
        summary.accessDenied = file.accessDenied;
        if (file.verdict != Module1::FileRegistration::Verdict::Called && !file.stopped) {
            std::string message = "This file is not an ActiveX component";
            // A component that could not be loaded is told apart from a file that is none.
            summary.end = RunSummary::End::NotComponent;
            if (file.verdict == Module1::FileRegistration::Verdict::Unloadable) {
                message += "\n\n" + modRegister::Detail(request.path, file.probe, registerFlag);
                summary.end = RunSummary::End::Unloadable;
            }
            showError(message);
            return false;
        }
        AddResultLine(list, file.line);
    } else if (win32::IsFolder(request.path)) {
        Module1::RegisterFolder(session, request.path, request.subfolders, registerFlag, list, &run);
        summary.checked = run.checked;
        summary.stopped = run.stopped;
        summary.accessDenied = run.accessDenied;
    }
    // A missing folder, or a text naming a file, is no folder to walk; the run just closes.
    summary.succeeded = list.succeeded;
    summary.failed = list.failed;
    return true;
}

std::string Seconds(double seconds) {
    char time[32];
    std::snprintf(time, sizeof time, "%.1f", seconds);
    return time;
}

}  // namespace

RunSummary Execute(const RunRequest& request, registration::Session& session, ResultList& results,
                   const std::function<void(const std::string&)>& showError, RunControl* control) {
    RunSummary summary;
    summary.task = request.task;
    RunControl none;
    RunControl& run = control != nullptr ? *control : none;
    const bool change = request.task == RunRequest::Task::Change;
    const bool noFile = request.mode == RunRequest::Mode::SingleFile && !win32::IsOrdinaryFile(request.path);
    const auto tellNoFile = [&] {
        showError("No file selected");
        summary.end = RunSummary::End::NoFile;
        return summary;
    };
    // A register run clears the last run's lines first, as it always has; a check or an export keeps
    // them when it has nothing to do.
    if (noFile && !change) return tellNoFile();
    // An export's file is settled before anything of the last run's goes.
    std::string target;
    const bool exporting = WritesFile(request.task);
    if (exporting && !ChooseExportTarget(request, session, showError, run, summary, target)) return summary;

    // The waits for the runners hand input to the control and ask it about stopping. A check or an
    // export loads each component as a machine-wide run does: the per-user setting only says where an
    // export's keys go.
    const SessionForRun settings(session, change && request.perUser, control);
    CountingList list(results);
    list.Clear();
    LARGE_INTEGER start{};
    ::QueryPerformanceCounter(&start);

    std::string detail;
    if (change) {
        if (noFile) return tellNoFile();
        if (!ChangeRun(request, session, list, showError, run, summary)) return summary;
        detail = modRegister::Summary(request.registerFlag, list.succeeded, list.failed, summary.checked,
                                      SecondsSince(start));
    } else {
        const InspectionEnd end = RunInspection(request, target, session, list, showError, run, summary);
        if (summary.end != RunSummary::End::Ran) return summary;
        summary.checked = run.checked;
        summary.stopped = run.stopped;
        if (exporting && target.empty()) summary.end = RunSummary::End::NoComponent;
        detail = end.counts + ", " + modRegister::Grouped(summary.checked) + (summary.checked == 1 ? " file" : " files") +
                 " checked in " + Seconds(SecondsSince(start)) + " s." + (end.note.empty() ? "" : " " + end.note);
    }
    AddResultLine(list, ClosingLine(KindOfRun(request), summary.stopped, detail));
    return summary;
}

int ExitCodeOf(const RunSummary& summary) {
    switch (summary.end) {
        case RunSummary::End::NoFile:
        case RunSummary::End::NotComponent:
        case RunSummary::End::NoComponent:
        case RunSummary::End::Cancelled: return kExitNothingToDo;
        case RunSummary::End::Unloadable:
        case RunSummary::End::Refused: return kExitFailed;
        case RunSummary::End::Ran: break;
    }
    if (summary.failed > 0 || summary.unsettled > 0 || summary.stopped) return kExitFailed;
    if (WritesFile(summary.task) && summary.succeeded > 0 && !summary.written) return kExitFailed;
    return summary.succeeded > 0 ? kExitSucceeded : kExitNothingToDo;
}

}  // namespace velquist
