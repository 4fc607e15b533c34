// Owner types for Win32 handles: move-only, each knows how to release what it holds.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <memory>
#include <type_traits>

namespace win32 {

struct LibraryDeleter {
    void operator()(HMODULE h) const noexcept { ::FreeLibrary(h); }
};
struct HandleDeleter {
    using pointer = HANDLE;
    void operator()(HANDLE h) const noexcept {
        if (h != nullptr && h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
    }
};
struct FindDeleter {
    using pointer = HANDLE;
    void operator()(HANDLE h) const noexcept {
        if (h != nullptr && h != INVALID_HANDLE_VALUE) ::FindClose(h);
    }
};
struct CoTaskMemDeleter {
    void operator()(void* p) const noexcept { ::CoTaskMemFree(p); }
};
struct ViewDeleter {
    void operator()(const void* p) const noexcept { ::UnmapViewOfFile(p); }
};
struct GdiDeleter {
    void operator()(HGDIOBJ h) const noexcept { ::DeleteObject(h); }
};
struct IconDeleter {
    using pointer = HICON;
    void operator()(HICON h) const noexcept { ::DestroyIcon(h); }
};
struct WindowDeleter {
    using pointer = HWND;
    void operator()(HWND h) const noexcept {
        if (::IsWindow(h)) ::DestroyWindow(h);
    }
};
struct HookDeleter {
    using pointer = HHOOK;
    void operator()(HHOOK h) const noexcept { ::UnhookWindowsHookEx(h); }
};

using unique_hmodule = std::unique_ptr<std::remove_pointer_t<HMODULE>, LibraryDeleter>;
// A kernel handle: nullptr and INVALID_HANDLE_VALUE both mean "none"; test with IsValid.
using unique_handle = std::unique_ptr<void, HandleDeleter>;
using unique_hfind = std::unique_ptr<void, FindDeleter>;
template <typename T = void>
using unique_cotaskmem = std::unique_ptr<T, CoTaskMemDeleter>;
using unique_view = std::unique_ptr<const void, ViewDeleter>;
template <typename T = HGDIOBJ>
using unique_gdi = std::unique_ptr<std::remove_pointer_t<T>, GdiDeleter>;
using unique_hicon = std::unique_ptr<void, IconDeleter>;
using unique_hwnd = std::unique_ptr<void, WindowDeleter>;
using unique_hhook = std::unique_ptr<void, HookDeleter>;

inline bool IsValid(const unique_handle& h) noexcept {
    return h && h.get() != INVALID_HANDLE_VALUE;
}
inline bool IsValid(const unique_hfind& h) noexcept {
    return h && h.get() != INVALID_HANDLE_VALUE;
}

}  // namespace win32
