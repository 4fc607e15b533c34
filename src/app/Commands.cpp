// One run: single-file checks or the folder walk, the result lines, the closing line.
#include "app/Commands.h"

#include <windows.h>

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

RunSummary Execute(const RunRequest& request, registration::Session& session, ResultList& results,
                   const std::function<void(const std::string&)>& showError, RunControl* control) {
    RunSummary summary;
    RunControl none;
    RunControl& run = control != nullptr ? *control : none;
    // The waits for the runners hand input to the control and ask it about stopping.
    const SessionForRun settings(session, request.perUser, control);
    CountingList list(results);
    list.Clear();
    LARGE_INTEGER start{};
    ::QueryPerformanceCounter(&start);
    const bool registerFlag = request.registerFlag;

    if (request.mode == RunRequest::Mode::SingleFile) {
        if (!win32::IsOrdinaryFile(request.path)) {
            showError("No file selected");
            summary.end = RunSummary::End::NoFile;
            return summary;
        }
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
            return summary;
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
    AddResultLine(list, ClosingLine(registerFlag, summary.stopped,
                                    modRegister::Summary(registerFlag, list.succeeded, list.failed, summary.checked,
                                                         SecondsSince(start))));
    return summary;
}

int ExitCodeOf(const RunSummary& summary) {
    switch (summary.end) {
        case RunSummary::End::NoFile:
        case RunSummary::End::NotComponent: return kExitNothingToDo;
        case RunSummary::End::Unloadable: return kExitFailed;
        case RunSummary::End::Ran: break;
    }
    if (summary.failed > 0 || summary.stopped) return kExitFailed;
    return summary.succeeded > 0 ? kExitSucceeded : kExitNothingToDo;
}

}  // namespace velquist
