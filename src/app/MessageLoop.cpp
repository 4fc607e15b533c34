// The program's one message loop.
#include "app/MessageLoop.h"

#include "window/velquistform.h"

namespace velquist {

bool TranslateMainWindowMessage(HWND main, HACCEL accelerators, MSG* msg) {
    const bool forMain = main != nullptr && ::IsWindow(main) && (msg->hwnd == main || ::IsChild(main, msg->hwnd));
    if (forMain && accelerators != nullptr && ::TranslateAcceleratorA(main, accelerators, msg)) return true;
    if (const Companions* companions = velquistform::CompanionsOf(main);
        companions != nullptr && companions->TranslateDialogMessage(msg)) {
        return true;
    }
    if (forMain && ::IsDialogMessageA(main, msg)) return true;
    return false;
}

int RunMessageLoop(HWND main, HACCEL accelerators) {
    MSG msg{};
    for (;;) {
        const BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0) return static_cast<int>(msg.wParam);
        if (got == -1) return -1;
        if (TranslateMainWindowMessage(main, accelerators, &msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
}

}  // namespace velquist
