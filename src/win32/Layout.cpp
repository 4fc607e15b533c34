// Twips-based layout: creation and placement of the controls of a table, DPI and font helpers.
#include "win32/Layout.h"

#include "win32/WindowText.h"

#include <string>

namespace win32 {
namespace {

const ControlSpec* FindSpec(std::span<const ControlSpec> table, int id) noexcept {
    for (const auto& spec : table) {
        if (spec.id == id) return &spec;
    }
    return nullptr;
}

// The offset of a control's origin in twips: its frames' positions added up.
POINT OriginTwips(std::span<const ControlSpec> table, const ControlSpec& spec) noexcept {
    POINT origin{0, 0};
    int parent = spec.parentId;
    for (int depth = 0; parent != 0 && depth < 8; ++depth) {
        const ControlSpec* frame = FindSpec(table, parent);
        if (frame == nullptr) break;
        origin.x += frame->left;
        origin.y += frame->top;
        parent = frame->parentId;
    }
    return origin;
}

// Edges converted rather than sizes, so that neighbours meet without gaps from rounding.
RECT ControlRect(std::span<const ControlSpec> table, const ControlSpec& spec, int dpi) noexcept {
    const POINT origin = OriginTwips(table, spec);
    return RECT{TwipsToPixels(origin.x + spec.left, dpi), TwipsToPixels(origin.y + spec.top, dpi),
                TwipsToPixels(origin.x + spec.left + spec.width, dpi),
                TwipsToPixels(origin.y + spec.top + spec.height, dpi)};
}

}  // namespace

int WindowDpi(HWND hwnd) noexcept {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
    if (getDpiForWindow != nullptr && hwnd != nullptr) {
        const UINT dpi = getDpiForWindow(hwnd);
        if (dpi != 0) return static_cast<int>(dpi);
    }
    const WindowDc screen(nullptr);
    const int dpi = screen ? ::GetDeviceCaps(screen.get(), LOGPIXELSX) : 0;
    return dpi > 0 ? dpi : 96;
}

int SystemDpi() noexcept {
    using GetDpiForSystemFn = UINT(WINAPI*)();
    static const auto getDpiForSystem = reinterpret_cast<GetDpiForSystemFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("user32.dll"), "GetDpiForSystem")));
    const UINT dpi = getDpiForSystem != nullptr ? getDpiForSystem() : 0;
    return dpi != 0 ? static_cast<int>(dpi) : WindowDpi(nullptr);
}

void CreateControls(HWND parent, std::span<const ControlSpec> table, HINSTANCE instance, int dpi) {
    for (const auto& spec : table) {
        const RECT at = ControlRect(table, spec, dpi);
        ::CreateWindowExA(spec.exStyle, spec.cls, spec.caption, WS_CHILD | WS_VISIBLE | spec.style, at.left, at.top,
                          at.right - at.left, at.bottom - at.top, parent,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(spec.id)), instance, nullptr);
    }
}

void PlaceControls(HWND parent, std::span<const ControlSpec> table, int dpi) {
    for (const auto& spec : table) {
        HWND control = ::GetDlgItem(parent, spec.id);
        if (control == nullptr) continue;
        const RECT want = ControlRect(table, spec, dpi);
        RECT now{};
        ::GetWindowRect(control, &now);
        ::MapWindowPoints(HWND_DESKTOP, ::GetParent(control), reinterpret_cast<POINT*>(&now), 2);
        if (::EqualRect(&now, &want)) continue;
        ::SetWindowPos(control, nullptr, want.left, want.top, want.right - want.left, want.bottom - want.top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

SIZE WindowSizeForClient(int clientWidthTwips, int clientHeightTwips, DWORD style, DWORD exStyle,
                         bool hasMenu, int dpi) noexcept {
    RECT rect{0, 0, TwipsToPixels(clientWidthTwips, dpi), TwipsToPixels(clientHeightTwips, dpi)};
    using AdjustForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    static const auto adjustForDpi = reinterpret_cast<AdjustForDpiFn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("user32.dll"), "AdjustWindowRectExForDpi")));
    if (adjustForDpi == nullptr || !adjustForDpi(&rect, style, hasMenu, exStyle, static_cast<UINT>(dpi))) {
        ::AdjustWindowRectEx(&rect, style, hasMenu, exStyle);
    }
    return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

POINT CenteredOnScreen(HWND hwnd, SIZE size) noexcept {
    HMONITOR monitor = ::MonitorFromWindow(hwnd, MONITOR_DEFAULTTOPRIMARY);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    RECT area{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    if (monitor != nullptr && ::GetMonitorInfoA(monitor, &info)) area = info.rcWork;
    return POINT{area.left + (area.right - area.left - size.cx) / 2,
                 area.top + (area.bottom - area.top - size.cy) / 2};
}

unique_gdi<HFONT> CreateInterfaceFont(int dpi) noexcept {
    NONCLIENTMETRICSA metrics{};
    metrics.cbSize = sizeof metrics;
    using ForDpiFn = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);
    static const auto forDpi = reinterpret_cast<ForDpiFn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("user32.dll"), "SystemParametersInfoForDpi")));
    // The W form fills the same layout for the ForDpi call; only the face name differs in width.
    NONCLIENTMETRICSW wide{};
    wide.cbSize = sizeof wide;
    if (forDpi != nullptr && forDpi(SPI_GETNONCLIENTMETRICS, sizeof wide, &wide, 0, static_cast<UINT>(dpi))) {
        return unique_gdi<HFONT>(::CreateFontIndirectW(&wide.lfMessageFont));
    }
    if (::SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        LOGFONTA font = metrics.lfMessageFont;
        const int systemDpi = WindowDpi(nullptr);
        font.lfHeight = ::MulDiv(font.lfHeight, dpi, systemDpi);
        return unique_gdi<HFONT>(::CreateFontIndirectA(&font));
    }
    // A stock object: deleting it does nothing.
    return unique_gdi<HFONT>(static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT)));
}

namespace {
struct FontChange {
    HFONT font;
    BOOL redraw;
};

BOOL CALLBACK SetFontOnChild(HWND child, LPARAM change) {
    const auto* font = reinterpret_cast<const FontChange*>(change);
    ::SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(font->font), font->redraw);
    return TRUE;
}
}  // namespace

void ApplyFont(HWND parent, HFONT font) noexcept {
    // A window not yet shown paints everything at its first paint anyway.
    FontChange change{font, ::IsWindowVisible(parent)};
    ::EnumChildWindows(parent, &SetFontOnChild, reinterpret_cast<LPARAM>(&change));
}

namespace {

// Whether the label's text, wrapped as a left-aligned static control wraps it, fits its client area.
bool TextFits(HDC dc, HFONT font, const std::string& text, const RECT& box, UINT format) noexcept {
    const HGDIOBJ previous = ::SelectObject(dc, font);
    RECT need{0, 0, box.right - box.left, 0};
    ::DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &need, format | DT_CALCRECT);
    ::SelectObject(dc, previous);
    return need.bottom - need.top <= box.bottom - box.top && need.right - need.left <= box.right - box.left;
}

}  // namespace

unique_gdi<HFONT> CreateFittingFont(HWND label, HFONT font, int minHeight) noexcept {
    try {
        const std::string text = WindowText(label);
        if (font == nullptr || text.empty()) return {};
        RECT box{};
        ::GetClientRect(label, &box);
        UINT format = DT_WORDBREAK | DT_EXPANDTABS;
        if (::GetWindowLongA(label, GWL_STYLE) & SS_NOPREFIX) format |= DT_NOPREFIX;

        // Measured in a memory DC: the same fonts and metrics as the label's own, without asking the
        // window system for the label's DC.
        const unique_hdc memory(::CreateCompatibleDC(nullptr));
        if (!memory) return {};
        HDC dc = memory.get();
        unique_gdi<HFONT> fitting;
        LOGFONTA logFont{};
        if (!TextFits(dc, font, text, box, format) && ::GetObjectA(font, sizeof logFont, &logFont) == sizeof logFont) {
            // Character height (negative) or cell height (positive): shrink its size either way.
            const LONG sign = logFont.lfHeight < 0 ? -1 : 1;
            LONG height = logFont.lfHeight * sign;
            logFont.lfWidth = 0;
            while (height > minHeight) {
                --height;
                logFont.lfHeight = height * sign;
                unique_gdi<HFONT> smaller(::CreateFontIndirectA(&logFont));
                if (!smaller) break;
                fitting = std::move(smaller);
                if (TextFits(dc, static_cast<HFONT>(fitting.get()), text, box, format)) break;
            }
        }
        return fitting;
    } catch (...) {
        return {};
    }
}

}  // namespace win32
