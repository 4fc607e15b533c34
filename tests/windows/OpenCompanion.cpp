// For tools/screenshot-windows: opens Help (F1), About or the DllInstall dialog (their menu items) in
// the running program, as a user would, and prints where the window stands on the screen as
// WIDTHxHEIGHT+LEFT+TOP.
//   open_companion.exe help|about|install
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "resource.h"

namespace {

constexpr int kTries = 200;  // 20 seconds in steps of 100 ms

HWND WaitForWindow(const char* windowClass) {
    for (int i = 0; i < kTries; ++i) {
        HWND window = ::FindWindowA(windowClass, nullptr);
        if (window != nullptr && ::IsWindowVisible(window)) return window;
        ::Sleep(100);
    }
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    const char* which = argc > 1 ? argv[1] : "help";
    const bool about = std::strcmp(which, "about") == 0;
    const bool install = std::strcmp(which, "install") == 0;
    HWND main = WaitForWindow("velquistform");
    if (main == nullptr) {
        std::fprintf(stderr, "open_companion: the program's window did not appear\n");
        return 1;
    }
    if (about || install) {
        ::PostMessageA(main, WM_COMMAND, MAKEWPARAM(about ? IDM_ABOUT : IDM_DLLINSTALL, 0), 0);
    } else {
        // The key itself, through the program's own loop and its accelerators.
        ::PostMessageA(main, WM_KEYDOWN, VK_F1, 0x003B0001);
        ::PostMessageA(main, WM_KEYUP, VK_F1, 0xC03B0001);
    }
    HWND window = WaitForWindow(about ? "VelquistAbout" : install ? "VelquistInstall" : "VelquistHelp");
    if (window == nullptr) {
        std::fprintf(stderr, "open_companion: the %s window did not appear\n", which);
        return 1;
    }
    RECT rect{};
    ::GetWindowRect(window, &rect);
    std::printf("%ldx%ld+%ld+%ld\n", rect.right - rect.left, rect.bottom - rect.top, rect.left, rect.top);
    return 0;
}
