// The main window's run: its state, its input, its progress.
#include "window/RunState.h"

#include "pickers/CommonDialogAPI.h"

#include <shobjidl.h>

#include <utility>

#include "registration/Details.h"
#include "tasks/Tasks.h"
#include "win32/Handles.h"

namespace velquist {
namespace {

// The task bar button's progress, where the shell has one.
class TaskbarProgress final : public ProgressDisplay {
public:
    void Walking(HWND window) override { Set(window, TBPF_INDETERMINATE); }
    void Idle(HWND window) override { Set(window, TBPF_NOPROGRESS); }

private:
    static void Set(HWND window, TBPFLAG state) {
        win32::com_ptr<ITaskbarList3> taskbar;
        if (FAILED(::CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                      taskbar.put_void()))) {
            return;
        }
        if (SUCCEEDED(taskbar->HrInit())) taskbar->SetProgressState(window, state);
    }
};

// How often a run shows its progress: every caption change and every paint is a round trip to the
// display server, which would cost more than the run itself; at most ten times a second, and at the
// end, is as much as anyone can read. The list is drawn only then; a wait for a component asks
// about stopping at least as often (kStopPollMs), and shows what is due then, so a new line shows
// within that time however long the next component takes.
constexpr ULONGLONG kShowEveryMs = 100;
static_assert(runner::kStopPollMs <= kShowEveryMs);

// The hourglass for the length of a run; input given meanwhile is dropped when the run ends, so that
// a click on a button while the window was busy cannot start a second run that clears the results.
class BusyScope {
public:
    // The window itself keeps its place on the screen: WinMain turned off the "Not Responding" ghost.
    BusyScope() : previous_(::SetCursor(::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT)))) {}
    ~BusyScope() {
        MSG msg;
        for (const auto& [first, last] : {std::pair<UINT, UINT>{WM_KEYFIRST, WM_KEYLAST}, {WM_MOUSEFIRST, WM_MOUSELAST},
                                          {WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK}}) {
            while (::PeekMessageA(&msg, nullptr, first, last, PM_REMOVE)) {
            }
        }
        ::SetCursor(previous_ != nullptr ? previous_ : ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW)));
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    HCURSOR previous_;
};

}  // namespace

// One run of the window: its lines, forwarded to the window's list; its progress in the caption and
// on the task bar, both shown at a pace (kShowEveryMs) and once more at the end; its stop, its input.
class RunState::WindowRun final : public RunControl, public ResultList {
public:
    WindowRun(RunState& state, bool walking, ListViewResultList& list) : state_(state), walking_(walking), list_(list) {
        if (walking_) state_.Display().Walking(state_.window_);
    }
    ~WindowRun() override {
        Show();
        if (!walking_) return;
        ::SetWindowTextA(state_.window_, "Velquist");
        state_.Display().Idle(state_.window_);
    }
    WindowRun(const WindowRun&) = delete;
    WindowRun& operator=(const WindowRun&) = delete;

    // The last run's lines go at once: a run starts on an empty list.
    void Clear() override {
        list_.Clear();
        Paint();
    }
    int Count() const override { return list_.Count(); }
    void Add(const std::string& key, const ResultLine& line) override {
        list_.Append(key, line);
        unpainted_ = true;
        ShowIfDue();
    }

    void FileChecked() override { ShowIfDue(); }
    bool StopRequested() override {
        ShowIfDue();
        return state_.state_ == State::Stopping || state_.state_ == State::Closing;
    }
    void OnInput() override { state_.HandleInput(); }
    undo::RunRecord* UndoRecord() override { return state_.undo_; }
    bool Confirm(const std::string& question) override {
        return ::MessageBoxA(state_.window_, question.c_str(), "Velquist!", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
    }
    std::string ChooseExportFile(RunRequest::Task task, const std::string& suggested) override {
        const TaskSpec& spec = TaskOf(task);
        return pickers::ShowSaveFileDialog(state_.window_, suggested.empty() ? std::string(spec.saveName) : suggested,
                                           std::string(spec.saveFilter), std::string(spec.saveTitle),
                                           std::string(spec.saveExtension));
    }

private:
    void ShowIfDue() {
        if (shownAt_ == 0 || ::GetTickCount64() - shownAt_ >= kShowEveryMs) Show();
    }
    // The count in the caption and the lines added since the last showing.
    void Show() {
        shownAt_ = ::GetTickCount64();
        if (walking_ && checked != captionCount_) {
            captionCount_ = checked;
            const std::string caption = "Velquist - " + modRegister::Grouped(checked) + " files checked";
            ::SetWindowTextA(state_.window_, caption.c_str());
        }
        if (unpainted_) Paint();
    }
    // The list drawn as it now stands, and the rest of the window where it is invalid, so that a long
    // run shows its progress even where another window uncovered it. Painting takes no input.
    void Paint() {
        unpainted_ = false;
        list_.ShowNewest();
        ::RedrawWindow(state_.window_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    }

    RunState& state_;
    bool walking_;
    ListViewResultList& list_;
    ULONGLONG shownAt_ = 0;               // when the progress was last shown; 0 before the first time
    unsigned long long captionCount_ = 0; // the count the caption shows
    bool unpainted_ = false;              // lines added since the last paint
};

ProgressDisplay& RunState::Display() {
    static TaskbarProgress taskbar;  // stateless
    return progress_ != nullptr ? *progress_ : taskbar;
}

bool RunState::Run(const RunRequest& request, registration::Session& session, ListViewResultList& list,
                   const std::function<void(const std::string&)>& showError, RunSummary& summary) {
    if (Busy()) return false;
    state_ = State::Running;
    closePending_ = false;
    try {
        WindowRun run(*this, request.mode == RunRequest::Mode::Directory, list);
        BusyScope busy;
        summary = Execute(request, session, run, showError, &run);
    } catch (...) {
        state_ = State::Idle;
        throw;
    }
    closePending_ = state_ == State::Closing;
    state_ = State::Idle;
    return true;
}

bool RunState::DeferClose() noexcept {
    if (!Busy()) return false;
    state_ = State::Closing;
    return true;
}

void RunState::HandleInput() {
    MSG msg;
    // Close requests posted to the window (the task bar's Close, another program's WM_CLOSE).
    while (::PeekMessageA(&msg, window_, WM_CLOSE, WM_CLOSE, PM_REMOVE)) ::DispatchMessageA(&msg);
    while (::PeekMessageA(&msg, window_, WM_SYSCOMMAND, WM_SYSCOMMAND, PM_REMOVE)) {
        if ((msg.wParam & 0xFFF0) == SC_CLOSE) ::DispatchMessageA(&msg);
    }
    // Keys and clicks, whether typed or posted.
    const std::pair<UINT, UINT> ranges[] = {{WM_KEYFIRST, WM_KEYLAST}, {WM_MOUSEFIRST, WM_MOUSELAST},
                                            {WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK}};
    for (const auto& [first, last] : ranges) {
        while (::PeekMessageA(&msg, nullptr, first, last, PM_REMOVE)) {
            if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) {
                if (state_ == State::Running) state_ = State::Stopping;
                continue;
            }
            const bool onClose = msg.hwnd == closeButton_ && msg.message >= WM_MOUSEFIRST && msg.message <= WM_MOUSELAST;
            const bool closeBox = msg.hwnd == window_ && msg.wParam == HTCLOSE &&
                                  (msg.message == WM_NCLBUTTONDOWN || msg.message == WM_NCLBUTTONUP);
            const bool altF4 = msg.message == WM_SYSKEYDOWN && msg.wParam == VK_F4;
            if (onClose || closeBox || altF4) {
                ::TranslateMessage(&msg);
                ::DispatchMessageA(&msg);
            }
        }
    }
}

}  // namespace velquist
