// Waiting for a runner's pipe, its process and a deadline, without holding up sent messages or painting.
#include "runner/RunnerWait.h"

namespace runner {
namespace {

// Handles what may not wait for the runner: messages sent to this thread's windows (a component's
// broadcast waits for every top-level window to answer) and painting. Input stays queued.
void HandleSentAndPaint() {
    MSG msg;
    ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    for (int i = 0; i < 64 && ::PeekMessageA(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE | PM_QS_PAINT); ++i) {
        ::DispatchMessageA(&msg);
    }
}

}  // namespace

Wait WaitForIo(HANDLE pipe, HANDLE process, OVERLAPPED& overlapped, bool& pending, ULONGLONG deadline,
               WaitObserver* observer, DWORD& transferred) {
    const HANDLE handles[] = {overlapped.hEvent, process};
    for (;;) {
        if (::GetOverlappedResult(pipe, &overlapped, &transferred, FALSE)) {
            pending = false;
            return Wait::Done;
        }
        const DWORD error = ::GetLastError();
        if (error != ERROR_IO_INCOMPLETE && error != ERROR_IO_PENDING) {
            pending = false;  // failed: the runner's end of the pipe is gone
            return Wait::Died;
        }
        if (observer != nullptr && observer->StopRequested()) return Wait::Stopped;
        const ULONGLONG now = ::GetTickCount64();
        if (now >= deadline) return Wait::TimedOut;
        // An observer is asked about stopping every kStopPollMs (a console's Ctrl+C comes on another
        // thread) and gets the input that arrives meanwhile.
        DWORD wait = static_cast<DWORD>(deadline - now);
        DWORD wake = QS_SENDMESSAGE | QS_PAINT;
        if (observer != nullptr) {
            wait = wait < kStopPollMs ? wait : kStopPollMs;
            wake |= QS_INPUT | QS_POSTMESSAGE;
        }
        const DWORD woke = ::MsgWaitForMultipleObjectsEx(2, handles, wait, wake, 0);
        if (woke == WAIT_OBJECT_0) continue;
        if (woke == WAIT_OBJECT_0 + 1) {
            // The runner ended; what it wrote before it did may still be read.
            if (::GetOverlappedResult(pipe, &overlapped, &transferred, FALSE)) {
                pending = false;
                return Wait::Done;
            }
            return Wait::Died;
        }
        if (woke == WAIT_OBJECT_0 + 2) {
            HandleSentAndPaint();
            if (observer != nullptr) observer->OnInput();
            continue;
        }
        if (woke == WAIT_FAILED) return Wait::TimedOut;
    }
}

Wait WaitForEvent(HANDLE event, WaitObserver* observer) {
    const DWORD wake = QS_SENDMESSAGE | QS_PAINT | (observer != nullptr ? QS_INPUT | QS_POSTMESSAGE : 0);
    for (;;) {
        if (observer != nullptr && observer->StopRequested()) return Wait::Stopped;
        const DWORD woke = ::MsgWaitForMultipleObjectsEx(1, &event, observer != nullptr ? kStopPollMs : INFINITE, wake, 0);
        if (woke == WAIT_OBJECT_0) return Wait::Done;
        if (woke == WAIT_OBJECT_0 + 1) {
            HandleSentAndPaint();
            if (observer != nullptr) observer->OnInput();
        } else if (woke == WAIT_FAILED) {
            ::Sleep(1);  // a handle the system will not wait on: poll rather than spin
            if (::WaitForSingleObject(event, 0) == WAIT_OBJECT_0) return Wait::Done;
        }
    }
}

}  // namespace runner
