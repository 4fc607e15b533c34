// The shared pieces of the Help and About windows: the task bar, the program's icons, DPI metrics.
#include "windows/FixedForm.h"

#include <shobjidl.h>

namespace velquist::forms {
namespace {

// COM for the length of one call, balanced; a thread that already has COM keeps it as it was.
class ComScope {
public:
    ComScope() noexcept
        : hr_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
    ~ComScope() {
        if (SUCCEEDED(hr_)) ::CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    HRESULT hr_;
};

}  // namespace

bool RemoveFromTaskbar(HWND hwnd) noexcept {
    ComScope com;
    ITaskbarList* taskbar = nullptr;
    if (FAILED(::CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList,
                                  reinterpret_cast<void**>(&taskbar))) ||
        taskbar == nullptr) {
        return false;
    }
    const bool removed = SUCCEEDED(taskbar->HrInit()) && SUCCEEDED(taskbar->DeleteTab(hwnd));
    taskbar->Release();
    return removed;
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
