// What the Help and About windows share: a fixed dialog frame, centred, ownerless, off the task bar.
#pragma once

#include <windows.h>

#include <memory>
#include <span>

#include "win32/Handles.h"
#include "win32/Layout.h"
#include "win32/Window.h"

namespace velquist::forms {

// A fixed dialog frame with a close button only: the user cannot resize, minimise or maximise it.
// No WS_CLIPCHILDREN: the About box's group box paints only its edge, the window the rest.
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME;

// Takes the window's button off the task bar. A window without an owner and without the
// tool-window look (which would shrink its caption and drop its icon) gets one otherwise, so the
// shell's task bar list is asked to remove it. True if the shell accepted.
bool RemoveFromTaskbar(HWND hwnd) noexcept;

// An icon of the program's resources at the given size (the caller owns it).
win32::unique_hicon LoadProgramIcon(int id, int width, int height) noexcept;

// A system metric for dpi (the system's own value where the per-DPI call is not offered).
int MetricForDpi(int index, int dpi) noexcept;

// What the owner of a Help or About window needs of it, whichever it is.
class Companion {
public:
    virtual ~Companion() = default;
    // The window; nullptr once it has been closed.
    virtual HWND Handle() const noexcept = 0;
    // Shows the window and makes it the active one.
    virtual void Present() noexcept = 0;
};

// The two windows, each loaded and hidden; nullptr if it could not be created.
std::unique_ptr<Companion> LoadHelp();
std::unique_ptr<Companion> LoadAbout();

// The base of the two windows. Derived implements HandleMessage (handing unhandled messages to
// HandleCommon) and `void ApplyDpi(int dpi)`, which places its controls and sets their fonts.
template <typename Derived>
class FixedForm : public win32::Window<Derived>, public Companion {
public:
    HWND Handle() const noexcept final { return win32::Window<Derived>::Handle(); }

    // Shows the window and makes it the active one; it keeps off the task bar.
    void Present() noexcept final {
        HWND hwnd = this->Handle();
        ::ShowWindow(hwnd, ::IsIconic(hwnd) ? SW_RESTORE : SW_SHOW);
        ::SetForegroundWindow(hwnd);
        RemoveFromTaskbar(hwnd);
    }

protected:
    // Creates the window hidden, with its controls, sized for its DPI and centred on the screen (owned
    // by `owner` for a modal one).
    bool CreateForm(const char* caption, std::span<const win32::ControlSpec> table, int clientWidthTwips,
                    int clientHeightTwips, int iconId, int initialFocusId, HWND owner = nullptr) {
        table_ = table;
        clientWidthTwips_ = clientWidthTwips;
        clientHeightTwips_ = clientHeightTwips;
        iconId_ = iconId;
        initialFocusId_ = initialFocusId;
        HWND hwnd = this->CreateTopLevel(kExStyle, caption, kStyle, 0, 0, 0, 0, owner, nullptr, nullptr,
                                         nullptr);
        if (hwnd == nullptr) return false;
        const int dpi = win32::WindowDpi(hwnd);
        win32::CreateControls(hwnd, table, ::GetModuleHandleA(nullptr), dpi);
        Rescale(dpi);
        const SIZE size = win32::WindowSizeForClient(clientWidthTwips, clientHeightTwips, kStyle, kExStyle,
                                                     false, dpi);
        const POINT at = win32::CenteredOnScreen(hwnd, size);
        ::SetWindowPos(hwnd, nullptr, at.x, at.y, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
        return true;
    }

    HWND Control(int id) const noexcept { return ::GetDlgItem(this->Handle(), id); }

    // The messages both windows treat alike; true if handled, with its result.
    bool HandleCommon(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) noexcept {
        HWND hwnd = this->Handle();
        switch (msg) {
        case WM_ACTIVATE:
            // A plain window does not keep its focused control across activations; a dialog does.
            if (LOWORD(wParam) == WA_INACTIVE) {
                HWND focus = ::GetFocus();
                if (focus != nullptr && ::IsChild(hwnd, focus)) focus_ = focus;
            } else if (!::IsIconic(hwnd)) {
                HWND target = (focus_ != nullptr && ::IsChild(hwnd, focus_)) ? focus_ : Control(initialFocusId_);
                if (target != nullptr) ::SetFocus(target);
            }
            result = 0;
            return true;
        case WM_DPICHANGED: {
            const int dpi = HIWORD(wParam);
            const auto* suggested = reinterpret_cast<const RECT*>(lParam);
            // Keep the client area exact in twips rather than scaling the whole frame.
            const SIZE size = win32::WindowSizeForClient(clientWidthTwips_, clientHeightTwips_, kStyle,
                                                         kExStyle, false, dpi);
            ::SetWindowPos(hwnd, nullptr, suggested->left, suggested->top, size.cx, size.cy,
                           SWP_NOZORDER | SWP_NOACTIVATE);
            Rescale(dpi);
            ::InvalidateRect(hwnd, nullptr, TRUE);
            result = 0;
            return true;
        }
        default:
            result = ::DefWindowProcA(hwnd, msg, wParam, lParam);
            return false;
        }
    }

    std::span<const win32::ControlSpec> Table() const noexcept { return table_; }
    // The system's interface font at the window's current DPI.
    HFONT InterfaceFont() const noexcept { return interfaceFont_.get(); }

private:
    void Rescale(int dpi) {
        HWND hwnd = this->Handle();
        win32::unique_gdi<HFONT> font(win32::CreateInterfaceFont(dpi));
        win32::ApplyFont(hwnd, font.get());
        interfaceFont_ = std::move(font);
        win32::PlaceControls(hwnd, table_, dpi);
        static_cast<Derived*>(this)->ApplyDpi(dpi);
        win32::unique_hicon big = LoadProgramIcon(iconId_, MetricForDpi(SM_CXICON, dpi), MetricForDpi(SM_CYICON, dpi));
        win32::unique_hicon small =
            LoadProgramIcon(iconId_, MetricForDpi(SM_CXSMICON, dpi), MetricForDpi(SM_CYSMICON, dpi));
        ::SendMessageA(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big.get()));
        ::SendMessageA(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small.get()));
        bigIcon_ = std::move(big);
        smallIcon_ = std::move(small);
    }

    std::span<const win32::ControlSpec> table_;
    int clientWidthTwips_ = 0;
    int clientHeightTwips_ = 0;
    int iconId_ = 0;
    int initialFocusId_ = 0;
    HWND focus_ = nullptr;
    win32::unique_gdi<HFONT> interfaceFont_;
    win32::unique_hicon bigIcon_;
    win32::unique_hicon smallIcon_;
};

}  // namespace velquist::forms
