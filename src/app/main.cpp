// Velquist's start-up: a minimal window until the main window lands.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int show) {
    ::SetDllDirectoryA("");
    HWND hwnd = ::CreateWindowExA(0, "STATIC", "Velquist", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 400,
                                  300, nullptr, nullptr, nullptr, nullptr);
    ::ShowWindow(hwnd, show);
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    return 0;
}
