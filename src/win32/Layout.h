// Twips-based layout: control tables in twips, placed in pixels for the window's DPI.
#pragma once

#include <windows.h>
#include <span>

#include "win32/Handles.h"

namespace win32 {

constexpr int kTwipsPerInch = 1440;

// pixels = twips * dpi / 1440, rounded to the nearest pixel (15 twips make a pixel at 96 DPI).
constexpr int TwipsToPixels(int twips, int dpi) noexcept {
    const long long scaled = static_cast<long long>(twips) * dpi;
    const long long half = kTwipsPerInch / 2;
    return static_cast<int>(scaled >= 0 ? (scaled + half) / kTwipsPerInch
                                        : -((-scaled + half) / kTwipsPerInch));
}

// One row of a window's control table, as a designer would write it.
struct ControlSpec {
    int id;               // control identifier (also the child-window ID)
    const char* name;     // designer name, e.g. "Text1"
    const char* cls;      // window class, e.g. WC_BUTTONA
    const char* caption;  // initial text
    int left, top, width, height;  // twips, from the client area's (or the parent frame's) top left
    DWORD style;          // WS_CHILD and WS_VISIBLE are added
    DWORD exStyle = 0;
    int parentId = 0;     // 0: the window itself; otherwise the id of an enclosing control
};

// The DPI of a window (or of the system where the per-window call is not offered).
int WindowDpi(HWND hwnd) noexcept;

// The DPI of the system: of the primary monitor, before a window exists to ask.
int SystemDpi() noexcept;

// Creates the table's controls as children of parent, in table order (which is the tab order), at
// their places for dpi.
void CreateControls(HWND parent, std::span<const ControlSpec> table, HINSTANCE instance, int dpi);

// Moves and sizes every control of the table for dpi (those already in place are left alone).
// Controls inside a frame are measured from the frame's top left corner, as the designer measures them.
void PlaceControls(HWND parent, std::span<const ControlSpec> table, int dpi);

// Client size in twips to the window size in pixels for the given styles, menu and dpi.
SIZE WindowSizeForClient(int clientWidthTwips, int clientHeightTwips, DWORD style, DWORD exStyle,
                         bool hasMenu, int dpi) noexcept;

// The rectangle of a window of the given size centred on the work area of the monitor nearest to
// hwnd (or the primary monitor).
POINT CenteredOnScreen(HWND hwnd, SIZE size) noexcept;

// The system's message (interface) font for dpi.
unique_gdi<HFONT> CreateInterfaceFont(int dpi) noexcept;

// Sends font to every child of parent (redrawn only where parent is shown).
void ApplyFont(HWND parent, HFONT font) noexcept;

// For a static text control whose wrapped text does not fit its box in `font`: the same face made
// smaller, a pixel at a time, until the text fits or the height reaches minHeight pixels; empty
// when the text fits in `font` as it is. (A label's box is fixed by the layout; a
// wider interface font than the one it was designed for would otherwise cut its last lines off.)
unique_gdi<HFONT> CreateFittingFont(HWND label, HFONT font, int minHeight) noexcept;

}  // namespace win32
