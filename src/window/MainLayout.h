// The main window's layout: its control table in twips, and the fonts and placement for a DPI.
#pragma once

#include <windows.h>

#include <array>
#include <span>

#include "win32/Handles.h"
#include "win32/Layout.h"

namespace velquist {

// Child-window identifiers of the main window's controls (tab order is creation order).
enum ControlId : int {
    kIdOption1 = 1001,
    kIdText1,
    kIdCommand3,
    kIdOption2,
    kIdText2,
    kIdCommand4,
    kIdCheck1,
    kIdListView1,
    kIdCommand5,
    kIdCommand1,
    kIdCommand2,
    kIdLabel2,
    kIdLabel3,
    kIdLabel1,
};

// Client area of the window, in twips.
constexpr int kClientWidthTwips = 8235;
constexpr int kClientHeightTwips = 4815;
// The result list's one column: 12877 HIMETRIC (hundredths of a millimetre).
constexpr int kResultColumnHimetric = 12877;

// The control table of the main window, in tab order.
std::span<const win32::ControlSpec> MainWindowControls() noexcept;

// Pixels for a length in HIMETRIC units at dpi.
int HimetricToPixels(int himetric, int dpi) noexcept;

// The frame: no WS_CLIPCHILDREN, so that the window erases under its labels, which paint without a
// background of their own (see WM_CTLCOLORSTATIC).
constexpr DWORD kFrameStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kFrameExStyle = WS_EX_APPWINDOW;

// The fonts of the main window at its DPI, and the placing of its controls.
class MainLayout {
public:
    // Places every control, sets the font and the column width for dpi, and sizes the window so
    // that its client area is the designed size in twips; the window's top left goes to origin.
    void Apply(HWND window, int dpi, POINT origin);
    // The window's size for its designed client area at dpi (a move to a monitor of another DPI).
    static SIZE WindowSize(int dpi) noexcept;
    // WM_CTLCOLORSTATIC: for one of the labels, the colours that paint it without a background (their
    // boxes overlap where a wrapped line runs into the next label, and neither may hide the other's
    // text); nullptr for any other control.
    static HBRUSH LabelColours(HDC dc, HWND control) noexcept;

private:
    // Gives each label whose text does not fit its box in font_ a smaller font of the same face.
    void FitLabels(HWND window, int dpi);

    win32::unique_gdi<HFONT> font_;
    // Smaller fonts for the labels whose text would not fit their boxes in font_ (else null).
    std::array<win32::unique_gdi<HFONT>, 3> labelFonts_;
};

}  // namespace velquist
