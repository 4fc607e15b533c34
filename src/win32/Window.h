// The window base: one object per top-level window, which owns its HWND and handles its messages.
#pragma once

#include <windows.h>

namespace win32 {

// Derived classes implement `LRESULT HandleMessage(UINT, WPARAM, LPARAM) noexcept` and
// `static const char* ClassName()`. `this` travels through CreateWindowEx's last argument and is
// kept in GWLP_USERDATA of our own class; nothing throws across the window procedure.
template <typename Derived>
class Window {
public:
    Window() = default;
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    virtual ~Window() {
        if (hwnd_ != nullptr && ::IsWindow(hwnd_)) {
            ::SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
            ::DestroyWindow(hwnd_);
        }
    }

    HWND Handle() const noexcept { return hwnd_; }

protected:
    // Registers the class once per process and creates the window; returns its handle or nullptr.
    HWND CreateTopLevel(DWORD exStyle, const char* caption, DWORD style, int x, int y, int width,
                        int height, HWND owner, HMENU menu, HICON icon, HICON smallIcon,
                        HBRUSH background = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1)) {
        HINSTANCE instance = ::GetModuleHandleA(nullptr);
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof wc;
        if (!::GetClassInfoExA(instance, Derived::ClassName(), &wc)) {
            wc = WNDCLASSEXA{};
            wc.cbSize = sizeof wc;
            wc.lpfnWndProc = &Window::WindowProc;
            wc.hInstance = instance;
            wc.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
            wc.hbrBackground = background;
            wc.lpszClassName = Derived::ClassName();
            wc.hIcon = icon;
            wc.hIconSm = smallIcon;
            ::RegisterClassExA(&wc);
        }
        ::CreateWindowExA(exStyle, Derived::ClassName(), caption, style, x, y, width, height, owner, menu,
                          instance, static_cast<Derived*>(this));
        return hwnd_;
    }

    // Called after WM_NCDESTROY: the window is gone, the object may now be released by its owner.
    virtual void OnDestroyed() noexcept {}

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
        Derived* self = nullptr;
        if (msg == WM_NCCREATE) {
            const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
            self = static_cast<Derived*>(create->lpCreateParams);
            self->hwnd_ = hwnd;
            ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        } else {
            self = reinterpret_cast<Derived*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        }
        if (self == nullptr) return ::DefWindowProcA(hwnd, msg, wParam, lParam);
        const LRESULT result = self->HandleMessage(msg, wParam, lParam);
        if (msg == WM_NCDESTROY) {
            ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
            self->hwnd_ = nullptr;
            self->OnDestroyed();
        }
        return result;
    }

    HWND hwnd_ = nullptr;
};

}  // namespace win32
