// Owner types for Win32 handles: move-only, each knows how to release what it holds.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <ole2.h>
#include <memory>
#include <type_traits>
#include <utility>

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

struct RegKeyDeleter {
    using pointer = HKEY;
    void operator()(HKEY h) const noexcept { ::RegCloseKey(h); }
};
struct LocalDeleter {
    void operator()(void* p) const noexcept { ::LocalFree(p); }
};
struct GlobalDeleter {
    using pointer = HGLOBAL;
    void operator()(HGLOBAL h) const noexcept { ::GlobalFree(h); }
};
struct ImageListDeleter {
    using pointer = HIMAGELIST;
    void operator()(HIMAGELIST h) const noexcept { ::ImageList_Destroy(h); }
};
struct MenuDeleter {
    using pointer = HMENU;
    void operator()(HMENU h) const noexcept { ::DestroyMenu(h); }
};
struct AcceleratorDeleter {
    using pointer = HACCEL;
    void operator()(HACCEL h) const noexcept { ::DestroyAcceleratorTable(h); }
};
struct DcDeleter {
    using pointer = HDC;
    void operator()(HDC h) const noexcept { ::DeleteDC(h); }
};
struct BstrDeleter {
    using pointer = BSTR;
    void operator()(BSTR s) const noexcept { ::SysFreeString(s); }
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
using unique_hkey = std::unique_ptr<std::remove_pointer_t<HKEY>, RegKeyDeleter>;
// Memory from LocalAlloc and the functions that allocate with it (FormatMessage, CommandLineToArgvW).
template <typename T = void>
using unique_hlocal = std::unique_ptr<T, LocalDeleter>;
using unique_hglobal = std::unique_ptr<void, GlobalDeleter>;
using unique_himagelist = std::unique_ptr<std::remove_pointer_t<HIMAGELIST>, ImageListDeleter>;
using unique_hmenu = std::unique_ptr<std::remove_pointer_t<HMENU>, MenuDeleter>;
using unique_haccel = std::unique_ptr<std::remove_pointer_t<HACCEL>, AcceleratorDeleter>;
// A memory DC from CreateCompatibleDC.
using unique_hdc = std::unique_ptr<std::remove_pointer_t<HDC>, DcDeleter>;
// A string from SysAllocString and the automation calls that hand one out (ITypeLib::GetDocumentation).
using unique_bstr = std::unique_ptr<OLECHAR, BstrDeleter>;

// A DC from GetDC, given back to its window.
class WindowDc {
public:
    explicit WindowDc(HWND window) noexcept : window_(window), dc_(::GetDC(window)) {}
    ~WindowDc() {
        if (dc_ != nullptr) ::ReleaseDC(window_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const noexcept { return dc_; }
    explicit operator bool() const noexcept { return dc_ != nullptr; }

private:
    HWND window_;
    HDC dc_;
};

// A COM interface pointer that holds one reference.
template <typename T>
class com_ptr {
public:
    com_ptr() noexcept = default;
    ~com_ptr() { reset(); }
    com_ptr(com_ptr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    com_ptr& operator=(com_ptr&& other) noexcept {
        if (this != &other) {
            reset();
            p_ = std::exchange(other.p_, nullptr);
        }
        return *this;
    }
    com_ptr(const com_ptr&) = delete;
    com_ptr& operator=(const com_ptr&) = delete;

    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    // For a function that hands out a reference (CoCreateInstance, QueryInterface): releases what is held.
    void** put_void() noexcept {
        reset();
        return reinterpret_cast<void**>(&p_);
    }
    void reset() noexcept {
        if (p_ != nullptr) std::exchange(p_, nullptr)->Release();
    }

private:
    T* p_ = nullptr;
};

// Attributes a type library or a type description lends out (GetLibAttr, GetTypeAttr), given back to
// it (ReleaseTLibAttr, ReleaseTypeAttr); the lender outlives this.
template <typename Lender, typename Attr, HRESULT (STDMETHODCALLTYPE Lender::*Lend)(Attr**),
          void (STDMETHODCALLTYPE Lender::*GiveBack)(Attr*)>
class LentAttr {
public:
    explicit LentAttr(Lender* lender) noexcept : lender_(lender) {}
    ~LentAttr() {
        if (attr_ != nullptr) (lender_->*GiveBack)(attr_);
    }
    LentAttr(const LentAttr&) = delete;
    LentAttr& operator=(const LentAttr&) = delete;
    HRESULT Get() noexcept { return attr_ != nullptr ? S_OK : (lender_->*Lend)(&attr_); }
    const Attr* operator->() const noexcept { return attr_; }

private:
    Lender* lender_;
    Attr* attr_ = nullptr;
};
using LibAttr = LentAttr<ITypeLib, TLIBATTR, &ITypeLib::GetLibAttr, &ITypeLib::ReleaseTLibAttr>;
using TypeAttr = LentAttr<ITypeInfo, TYPEATTR, &ITypeInfo::GetTypeAttr, &ITypeInfo::ReleaseTypeAttr>;

// COM on this thread for the object's life, in the apartment asked for; undone only if it was done.
class ComScope {
public:
    explicit ComScope(DWORD model) noexcept : hr_(::CoInitializeEx(nullptr, model)) {}
    ~ComScope() {
        if (SUCCEEDED(hr_)) ::CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    HRESULT Result() const noexcept { return hr_; }

private:
    HRESULT hr_;
};

// OLE on this thread for the object's life (a single-threaded apartment, as containers enter it).
class OleScope {
public:
    OleScope() noexcept : hr_(::OleInitialize(nullptr)) {}
    ~OleScope() {
        if (SUCCEEDED(hr_)) ::OleUninitialize();
    }
    OleScope(const OleScope&) = delete;
    OleScope& operator=(const OleScope&) = delete;
    HRESULT Result() const noexcept { return hr_; }

private:
    HRESULT hr_;
};

// Enters the calling thread's single-threaded apartment the first time something on it needs COM (the
// shell's dialogs, a start through the shell) and keeps it until the process ends, so that the window
// shows without loading COM first.
inline void EnterApartment() noexcept {
    thread_local const bool entered =
        SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
    (void)entered;
}
inline bool IsValid(const unique_handle& h) noexcept {
    return h && h.get() != INVALID_HANDLE_VALUE;
}
inline bool IsValid(const unique_hfind& h) noexcept {
    return h && h.get() != INVALID_HANDLE_VALUE;
}

}  // namespace win32
