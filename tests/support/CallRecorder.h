// Sees every message a window procedure of this thread has handled, for as long as it lives.
#pragma once

#include <windows.h>

#include <functional>

#include "win32/Handles.h"

namespace testsupport {

// Installs a WH_CALLWNDPROCRET hook for this thread and hands each message, with what its window
// procedure returned, to `onMessage`; the hook goes with the recorder, however a test ends. One
// recorder per thread at a time.
class CallRecorder {
public:
    using Action = std::function<void(const CWPRETSTRUCT&)>;

    explicit CallRecorder(Action onMessage);
    ~CallRecorder();
    CallRecorder(const CallRecorder&) = delete;
    CallRecorder& operator=(const CallRecorder&) = delete;

    bool Installed() const { return hook_ != nullptr; }

private:
    static LRESULT CALLBACK HookProc(int code, WPARAM wParam, LPARAM lParam);

    Action onMessage_;
    CallRecorder* previous_;
    win32::unique_hhook hook_;
};

}  // namespace testsupport
