// The shared pieces of the Help and About windows: the task bar, the program's icons, DPI metrics.
#include "windows/FixedForm.h"

#include <shobjidl.h>

namespace velquist::forms {

bool RemoveFromTaskbar(HWND hwnd) noexcept {
    // COM for the length of the call; a thread that already has COM keeps it as it was.
    const win32::ComScope com(COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    win32::com_ptr<ITaskbarList> taskbar;
    if (FAILED(::CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList,
                                  taskbar.put_void())) ||
        !taskbar) {
        return false;
    }
    return SUCCEEDED(taskbar->HrInit()) && SUCCEEDED(taskbar->DeleteTab(hwnd));
}

win32::unique_hicon LoadProgramIcon(int id, int width, int height) noexcept {
    return win32::unique_hicon(static_cast<HICON>(
        ::LoadImageA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), IMAGE_ICON, width, height, 0)));
}

int MetricForDpi(int index, int dpi) noexcept {
    using ForDpiFn = int(WINAPI*)(int, UINT);
    static const auto forDpi = reinterpret_cast<ForDpiFn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("user32.dll"), "GetSystemMetricsForDpi")));
    if (forDpi != nullptr) return forDpi(index, static_cast<UINT>(dpi));
    return ::MulDiv(::GetSystemMetrics(index), dpi, win32::WindowDpi(nullptr));
}

}  // namespace velquist::forms
