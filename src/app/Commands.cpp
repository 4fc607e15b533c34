// The register and un-register runs: single-file checks, the folder walk, the result lines.
#include "app/Commands.h"

#include <functional>
#include <string>

#include "app/velquistform.h"
#include "folders/Module1.h"
#include "registration/Details.h"
#include "registration/modRegister.h"
#include "win32/WindowText.h"

namespace velquist {

namespace {

constexpr char kMessageTitle[] = "Velquist!";

void ShowError(HWND owner, const std::string& text) {
    ::MessageBoxA(owner, text.c_str(), kMessageTitle, MB_OK | MB_ICONERROR);
}

// Forwards every line to the window's list and then paints whatever of the window is invalid, so
// that a long run shows its progress even where another window uncovered it. Painting takes no input.
class PaintingList : public ResultList {
public:
    PaintingList(ResultList& inner, HWND window) : inner_(inner), window_(window) {}
    void Clear() override {
        inner_.Clear();
        Paint();
    }
    int Count() const override { return inner_.Count(); }
    void Add(const std::string& key, const ResultLine& line) override {
        inner_.Add(key, line);
        Paint();
    }

private:
    void Paint() {
        if (window_ != nullptr) ::RedrawWindow(window_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    }
    ResultList& inner_;
    HWND window_;
};

// Forwards every line and counts the successes and failures for the closing line's summary; a
// component's detail says when it was for the current user only.
class CountingList : public ResultList {
public:
    CountingList(ResultList& inner, bool perUser) : inner_(inner), perUser_(perUser) {}
    void Clear() override { inner_.Clear(); }
    int Count() const override { return inner_.Count(); }
    void Add(const std::string& key, const ResultLine& line) override {
        if (line.icon == kIconSuccess) ++succeeded;
        if (line.icon == kIconFailure) ++failed;
        if (!perUser_ || line.icon == kIconProgram) {
            inner_.Add(key, line);
            return;
        }
        ResultLine forUser = line;
        forUser.detail += (forUser.detail.empty() ? "" : " ") + std::string("For the current user only.");
        inner_.Add(key, forUser);
    }
    unsigned succeeded = 0;
    unsigned failed = 0;

private:
    ResultList& inner_;
    bool perUser_;
};

double SecondsSince(const LARGE_INTEGER& start) {
    LARGE_INTEGER now{}, frequency{};
    ::QueryPerformanceCounter(&now);
    ::QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart > 0 ? static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart)
                                  : 0.0;
}

// The hourglass for the length of a run; input given meanwhile is dropped when the run ends, so that
// a click on a button while the window was busy cannot start a second run that clears the results.
class BusyScope {
public:
    // The window itself keeps its place on the screen: WinMain turned off the "Not Responding" ghost.
    BusyScope() {
        previous_ = ::SetCursor(::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT)));
    }
    ~BusyScope() {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
        }
        while (::PeekMessageA(&msg, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
        }
        while (::PeekMessageA(&msg, nullptr, WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK, PM_REMOVE)) {
        }
        if (previous_ == nullptr) previous_ = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
        ::SetCursor(previous_);
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    HCURSOR previous_ = nullptr;
};

}  // namespace

bool IsOrdinaryFile(const std::string& path) {
    // GetFileAttributesA names one file exactly; a wildcard is no file name and finds nothing.
    if (path.empty() || path.find_first_of("*?") != std::string::npos) return false;
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) == 0;
}

bool IsFolder(const std::string& path) {
    if (path.empty() || path.find_first_of("*?") != std::string::npos) return false;
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

RunSummary Execute(const RunRequest& request, ResultList& results,
                   const std::function<void(const std::string&)>& showError, RunControl* control) {
    RunSummary summary;
    RunControl none;
    RunControl& run = control != nullptr ? *control : none;
    // The waits for the runners hand input to the control and ask it about stopping.
    struct Observing {
        modRegister::WaitObserver* previous = modRegister::CurrentWaitObserver();
        explicit Observing(modRegister::WaitObserver* observer) { modRegister::SetWaitObserver(observer); }
        ~Observing() { modRegister::SetWaitObserver(previous); }
    } observing(control);
    // For the current user only, or machine-wide: the runners map the classes root for the run.
    struct PerUser {
        explicit PerUser(bool perUser) { modRegister::UsePerUserRegistration(perUser); }
        ~PerUser() { modRegister::UsePerUserRegistration(false); }
    } perUser(request.perUser);
    CountingList list(results, request.perUser);
    list.Clear();
    LARGE_INTEGER start{};
    ::QueryPerformanceCounter(&start);
    const bool registerFlag = request.registerFlag;

    if (request.singleFile) {
        if (!IsOrdinaryFile(request.path)) {
            showError("No file selected");
            summary.end = RunSummary::End::NoFile;
            return summary;
        }
        const std::string& path = request.path;
        summary.checked = 1;
        const modRegister::Result probe = modRegister::ProbeComponent(path);
        if (probe.outcome == modRegister::Outcome::Stopped) {
            AddResultLine(list, FailedLine(path, modRegister::Detail(path, probe, registerFlag)));
            summary.stopped = true;
        } else if (!probe.Succeeded()) {
            std::string message = "This file is not an ActiveX component";
            // A component that could not be loaded is told apart from a file that is none.
            summary.end = RunSummary::End::NotComponent;
            if (modRegister::IsUnloadableComponent(probe)) {
                message += "\n\n" + modRegister::Detail(path, probe, registerFlag);
                summary.end = RunSummary::End::Unloadable;
            }
            showError(message);
            return summary;
        } else {
            const modRegister::Result call = modRegister::CallServerEntry(path, registerFlag);
            const std::string detail = modRegister::Detail(path, call, registerFlag);
            AddResultLine(list, call.Succeeded() ? SuccessLine(registerFlag, path, detail) : FailedLine(path, detail));
            summary.stopped = call.outcome == modRegister::Outcome::Stopped;
            summary.accessDenied = modRegister::IsAccessDenied(call);
        }
    } else if (IsFolder(request.path)) {
        Module1::RegisterFolder(request.path, request.subfolders, registerFlag, list, &run);
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

RunSummary RunCommand(const RunInputs& inputs, ResultList& results, bool registerFlag, RunControl* control) {
    BusyScope busy;
    PaintingList list(results, inputs.owner);
    RunRequest request;
    request.singleFile = ::SendMessageA(inputs.option1, BM_GETCHECK, 0, 0) == BST_CHECKED;
    request.path = win32::WindowText(request.singleFile ? inputs.text1 : inputs.text2);
    request.subfolders = ::SendMessageA(inputs.check1, BM_GETCHECK, 0, 0) != BST_UNCHECKED;
    request.registerFlag = registerFlag;
    request.perUser = inputs.perUser;
    return Execute(request, list, [&inputs](const std::string& message) { ShowError(inputs.owner, message); },
                   control);
}

RunSummary RunCommand(velquistform& form, bool registerFlag, RunControl* control) {
    return RunCommand(RunInputs{form.Handle(), form.Option1, form.Text1, form.Text2, form.Check1, form.PerUser()},
                      form.Results(), registerFlag, control);
}

}  // namespace velquist
