// The thread's message recorder: one hook per recorder, found by the hook through the thread.
#include "CallRecorder.h"

#include <utility>

namespace testsupport {

namespace {

// A hook procedure gets no context of its own; the recorder alive on this thread is its context.
thread_local CallRecorder* tActiveRecorder = nullptr;

}  // namespace

CallRecorder::CallRecorder(Action onMessage)
    : onMessage_(std::move(onMessage)),
      previous_(std::exchange(tActiveRecorder, this)),
      hook_(::SetWindowsHookExA(WH_CALLWNDPROCRET, &CallRecorder::HookProc, nullptr, ::GetCurrentThreadId())) {}

CallRecorder::~CallRecorder() {
    hook_.reset();
    tActiveRecorder = previous_;
}

LRESULT CALLBACK CallRecorder::HookProc(int code, WPARAM wParam, LPARAM lParam) {
    CallRecorder* self = tActiveRecorder;
    if (code == HC_ACTION && self != nullptr && self->onMessage_) {
        self->onMessage_(*reinterpret_cast<const CWPRETSTRUCT*>(lParam));
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace testsupport
