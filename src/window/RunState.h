// The main window's run: one state instead of flags, the input a run takes, its caption count and its
// progress on the task bar.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "tasks/Commands.h"
#include "window/ListViewResultList.h"
#include "tasks/RunRequest.h"
#include "registration/Session.h"
#include "results/ResultList.h"

namespace velquist {

// Where a run shows its progress besides the caption: the task bar button. Tests put their own.
class ProgressDisplay {
public:
    virtual ~ProgressDisplay() = default;
    virtual void Walking(HWND window) = 0;  // a folder walk began: progress without a measure
    virtual void Idle(HWND window) = 0;     // the run ended
};

class RunState {
public:
    enum class State {
        Idle,      // no run
        Running,   // a run is in progress
        Stopping,  // Esc: the run in progress is to stop
        Closing,   // a close request: the run stops, and the window closes once it has unwound
    };

    // window: the main window; closeButton: its Close button, which is heard during a run.
    RunState(HWND window, HWND closeButton) noexcept : window_(window), closeButton_(closeButton) {}

    State Current() const noexcept { return state_; }
    bool Busy() const noexcept { return state_ != State::Idle; }

    // Runs the request into list, once at a time: false when a run is already in progress (a sent
    // message re-entered). While it waits for a component, messages sent to the window are handled and
    // input is filtered (see HandleInput); the hourglass shows, and a walk counts its files in the
    // caption. Input given meanwhile is dropped at the end.
    bool Run(const RunRequest& request, registration::Session& session, ListViewResultList& list,
             const std::function<void(const std::string&)>& showError, RunSummary& summary);

    // A close request: true when it must wait for the run to unwind (the run is told to stop).
    bool DeferClose() noexcept;
    // After Run: true once if a close request came during it.
    bool ClosePending() const noexcept { return closePending_; }

    // nullptr: the task bar.
    void SetProgressDisplay(ProgressDisplay* display) noexcept { progress_ = display; }
    // Where register and unregister runs keep their undo record; nullptr for none.
    void SetUndoRecord(undo::RunRecord* record) noexcept { undo_ = record; }

private:
    class WindowRun;
    // Input that arrives during a run: Esc stops it; Close, the title bar's close box and Alt+F4 ask
    // for the window to close (which stops it); everything else is dropped.
    void HandleInput();
    ProgressDisplay& Display();

    HWND window_;
    HWND closeButton_;
    State state_ = State::Idle;
    bool closePending_ = false;
    ProgressDisplay* progress_ = nullptr;
    undo::RunRecord* undo_ = nullptr;
};

}  // namespace velquist
