// The main window's control table and its layout per DPI.
#include "window/MainLayout.h"

#include <commctrl.h>

namespace velquist {
namespace {

constexpr DWORD kOption = BS_AUTORADIOBUTTON | WS_TABSTOP;
constexpr DWORD kTextBox = ES_LEFT | ES_AUTOHSCROLL | WS_TABSTOP;
constexpr DWORD kButton = BS_PUSHBUTTON | WS_TABSTOP;
constexpr DWORD kLabel = SS_LEFT | SS_NOPREFIX;
constexpr DWORD kList = LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SHAREIMAGELISTS |
                        LVS_NOCOLUMNHEADER | WS_TABSTOP;

constexpr char kLabel2Text[] =
    "This application will register a single ActiveX control (DLL or OCX) or it will allow you to select an "
    "entire directory to register all the files within that directory.  This can be useful in the event of an "
    "application not working/installing correctly.  Please be aware that incorrectly registering a DLL or OCX "
    "file can adversely affect software and may prevent applications from running at all.   See Help for more "
    "information";
constexpr char kLabel1Text[] =
    "If this program fails to register your ActiveX controls correctly, try running this application as "
    "Administrator.";
constexpr char kLabel3Text[] = "By using this program you acknowledge that you are aware of the risks involved. ";

// Creation order is tab order. WS_GROUP on Option1 opens the option group and on Text2 closes it,
// so the two option buttons exclude each other. Single-file mode is the initial state.
constexpr std::array<win32::ControlSpec, 14> kControls{{
    // id            name         class            caption                              left  top   width height style
    {kIdOption1, "Option1", WC_BUTTONA, "Register single file", 285, 1935, 1890, 270, kOption | WS_GROUP},
    {kIdText1, "Text1", WC_EDITA, "", 2760, 1890, 4710, 330, kTextBox, WS_EX_CLIENTEDGE},
    {kIdCommand3, "Command3", WC_BUTTONA, "...", 7545, 1890, 360, 330, kButton},
    {kIdOption2, "Option2", WC_BUTTONA, "Register all files in directory", 285, 2310, 2625, 240, kOption},
    {kIdText2, "Text2", WC_EDITA, "", 2760, 2280, 4710, 330, kTextBox | WS_GROUP | WS_DISABLED, WS_EX_CLIENTEDGE},
    {kIdCommand4, "Command4", WC_BUTTONA, "...", 7545, 2280, 360, 330, kButton | WS_DISABLED},
    {kIdCheck1, "Check1", WC_BUTTONA, "Include sub-directories", 2760, 2625, 2880, 315,
     BS_AUTOCHECKBOX | WS_TABSTOP | WS_DISABLED},
    {kIdListView1, "ListView1", WC_LISTVIEWA, "", 300, 2985, 7635, 1245, kList, WS_EX_CLIENTEDGE},
    {kIdCommand5, "Command5", WC_BUTTONA, "Velquist!", 3480, 4305, 1455, 405, kButton},
    {kIdCommand1, "Command1", WC_BUTTONA, "Un-Velquist!", 4980, 4305, 1455, 405, kButton},
    {kIdCommand2, "Command2", WC_BUTTONA, "Close", 6480, 4305, 1455, 405, kButton},
    {kIdLabel2, "Label2", WC_STATICA, kLabel2Text, 270, 150, 7755, 885, kLabel},
    {kIdLabel3, "Label3", WC_STATICA, kLabel3Text, 300, 1440, 7515, 435, kLabel},
    {kIdLabel1, "Label1", WC_STATICA, kLabel1Text, 300, 1080, 7695, 435, kLabel},
}};

// The interface font for dpi, its height scaled from 96 DPI and rounded down, so that text that
// fits the twips layout at 96 DPI does not need an extra line at another DPI.
win32::unique_gdi<HFONT> CreateLayoutFont(int dpi) noexcept {
    const win32::unique_gdi<HFONT> base = win32::CreateInterfaceFont(96);
    LOGFONTA logFont{};
    if (!base || ::GetObjectA(base.get(), sizeof logFont, &logFont) != sizeof logFont) {
        return win32::CreateInterfaceFont(dpi);
    }
    logFont.lfHeight = static_cast<LONG>(static_cast<long long>(logFont.lfHeight) * dpi / 96);
    logFont.lfWidth = static_cast<LONG>(static_cast<long long>(logFont.lfWidth) * dpi / 96);
    return win32::unique_gdi<HFONT>(::CreateFontIndirectA(&logFont));
}

}  // namespace

std::span<const win32::ControlSpec> MainWindowControls() noexcept { return kControls; }

int HimetricToPixels(int himetric, int dpi) noexcept { return ::MulDiv(himetric, dpi, 2540); }

SIZE MainLayout::WindowSize(int dpi) noexcept {
    return win32::WindowSizeForClient(kClientWidthTwips, kClientHeightTwips, kFrameStyle, kFrameExStyle, true, dpi);
}

HBRUSH MainLayout::LabelColours(HDC dc, HWND control) noexcept {
    const int id = ::GetDlgCtrlID(control);
    if (id != kIdLabel1 && id != kIdLabel2 && id != kIdLabel3) return nullptr;
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, ::GetSysColor(COLOR_BTNTEXT));
    return static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH));
}

void MainLayout::Apply(HWND window, int dpi, POINT origin) {
    win32::unique_gdi<HFONT> font = CreateLayoutFont(dpi);
    win32::ApplyFont(window, static_cast<HFONT>(font.get()));
    font_ = std::move(font);  // the old font is released only after no control uses it
    win32::PlaceControls(window, kControls, dpi);
    FitLabels(window, dpi);
    ::SendMessageA(::GetDlgItem(window, kIdListView1), LVM_SETCOLUMNWIDTH, 0, HimetricToPixels(kResultColumnHimetric, dpi));

    const int wantWidth = win32::TwipsToPixels(kClientWidthTwips, dpi);
    const int wantHeight = win32::TwipsToPixels(kClientHeightTwips, dpi);
    const SIZE size = WindowSize(dpi);
    RECT frame{};
    ::GetWindowRect(window, &frame);
    if (frame.left != origin.x || frame.top != origin.y || frame.right - frame.left != size.cx ||
        frame.bottom - frame.top != size.cy) {
        ::SetWindowPos(window, nullptr, origin.x, origin.y, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    // The frame and menu bar actually drawn may differ from the computed ones (a menu bar that
    // wraps, metrics of another DPI): correct by what the client area really came out as.
    RECT client{};
    ::GetClientRect(window, &client);
    const int dx = wantWidth - (client.right - client.left);
    const int dy = wantHeight - (client.bottom - client.top);
    if (dx != 0 || dy != 0) {
        ::SetWindowPos(window, nullptr, 0, 0, size.cx + dx, size.cy + dy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void MainLayout::FitLabels(HWND window, int dpi) {
    // The labels' boxes hold their texts in the font the layout was drawn for; the system's font may
    // be wider (Tahoma, Segoe UI). Rather than cut the last line off, such a label gets a smaller font.
    const HWND labels[] = {::GetDlgItem(window, kIdLabel1), ::GetDlgItem(window, kIdLabel2),
                           ::GetDlgItem(window, kIdLabel3)};
    const int minHeight = ::MulDiv(9, dpi, 96);
    for (size_t i = 0; i < labelFonts_.size(); ++i) {
        win32::unique_gdi<HFONT> fitting = win32::CreateFittingFont(labels[i], static_cast<HFONT>(font_.get()), minHeight);
        if (fitting) ::SendMessageA(labels[i], WM_SETFONT, reinterpret_cast<WPARAM>(fitting.get()), TRUE);
        labelFonts_[i] = std::move(fitting);  // the label no longer uses the font released here
    }
}

}  // namespace velquist
