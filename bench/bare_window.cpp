// The start-up benchmark's yardstick: a bare window with a list view and a button, the same
// common-controls manifest as the program, and nothing else. Closes when asked.
#include <windows.h>
#include <commctrl.h>

namespace {

LRESULT CALLBACK BareProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_DESTROY) {
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcA(hwnd, msg, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = BareProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = "bare_window";
    ::RegisterClassA(&windowClass);
    HWND window = ::CreateWindowExA(0, "bare_window", "Bare", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                    600, 400, nullptr, nullptr, instance, nullptr);
    ::CreateWindowExA(WS_EX_CLIENTEDGE, WC_LISTVIEWA, "", WS_CHILD | WS_VISIBLE | LVS_REPORT, 10, 10, 560, 300, window,
                      nullptr, instance, nullptr);
    ::CreateWindowExA(0, "BUTTON", "Go", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 10, 320, 80, 28, window, nullptr,
                      instance, nullptr);
    ::ShowWindow(window, show == SW_HIDE ? SW_SHOWNORMAL : show);
    ::UpdateWindow(window);
    MSG message;
    while (::GetMessageA(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
    }
    return 0;
}
