// The About window: the program's picture, name, version line, rights notice and home-page link.
#include <windows.h>
#include <windowsx.h>
#include <commctrl.h>
#include <shellapi.h>

#include <memory>
#include <string>

#include "resource.h"
#include "windows/FixedForm.h"
#include "windows/HelpAbout.h"
#include "win32/FileVersion.h"
#include "win32/Paths.h"
#include "win32/WindowText.h"

namespace velquist {
namespace {

constexpr int kClientWidth = 4110;
constexpr int kClientHeight = 2280;
constexpr COLORREF kLinkColour = RGB(0, 0, 255);

// The mouse buttons as Label4_MouseDown receives them.
constexpr int kLeftButton = 1;
constexpr int kRightButton = 2;
constexpr int kMiddleButton = 4;

// In tab order; everything but the frame is measured from the frame's top left corner. Only the
// button takes the focus, and it is an ordinary push button: neither default nor cancel. Each control
// clips its siblings so that overlapping labels (Label1 reaches into Label5) do not paint over each other.
constexpr win32::ControlSpec kControls[] = {
    {AboutIds::Frame1, "Frame1", "BUTTON", "", 120, 30, 3855, 2115, BS_GROUPBOX | WS_GROUP | WS_CLIPSIBLINGS},
    {AboutIds::Command1, "Command1", "BUTTON", "OK", 2490, 1590, 1230, 375,
     BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP | WS_CLIPSIBLINGS, 0, AboutIds::Frame1},
    {AboutIds::Label5, "Label5", "STATIC", "v1.01", 2475, 480, 510, 210, SS_LEFT | SS_NOPREFIX | WS_CLIPSIBLINGS, 0,
     AboutIds::Frame1},
    {AboutIds::Label4, "Label4", "STATIC", "https://velquist.example", 930, 1185, 2010, 270,
     SS_LEFT | SS_NOPREFIX | WS_CLIPSIBLINGS | SS_NOTIFY, 0, AboutIds::Frame1},
    {AboutIds::Label3, "Label3", "STATIC", "Copyright (C) 2026 Velquist", 930, 870, 2490, 255,
     SS_LEFT | SS_NOPREFIX | WS_CLIPSIBLINGS, 0, AboutIds::Frame1},
    {AboutIds::Label1, "Label1", "STATIC", "Velquist", 945, 405, 1590, 330, SS_LEFT | SS_NOPREFIX | WS_CLIPSIBLINGS, 0,
     AboutIds::Frame1},
    {AboutIds::Image1, "Image1", "STATIC", "", 360, 390, 360, 330, SS_OWNERDRAW | WS_CLIPSIBLINGS, 0, AboutIds::Frame1},
};

// The show state the link passes to the shell for whatever opens the address.
constexpr int kLinkShowState = SW_SHOWNORMAL;

// A font at a size given in hundredths of a point, for dpi.
HFONT CreatePointFont(const char* face, int centipoints, int dpi, int weight, bool underline) noexcept {
    return ::CreateFontA(-::MulDiv(centipoints, dpi, 7200), 0, 0, 0, weight, FALSE, underline ? TRUE : FALSE,
                         FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                         DEFAULT_PITCH | FF_SWISS, face);
}

class AboutForm : public forms::FixedForm<AboutForm> {
public:
    static const char* ClassName() { return "VelquistAbout"; }

    bool Load() {
        if (!CreateForm("Velquist", kControls, kClientWidth, kClientHeight, IDI_PROGRAM_SHADOW,
                        AboutIds::Command1)) {
            return false;
        }
        // The frame stands behind what it holds, as a container does.
        ::SetWindowPos(Control(AboutIds::Frame1), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        ::SetWindowSubclass(Control(AboutIds::Label4), &AboutForm::Label4Proc, 0, reinterpret_cast<DWORD_PTR>(this));
        Form_Load();
        return true;
    }

    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
        switch (msg) {
        case WM_COMMAND:
            if (LOWORD(wParam) == AboutIds::Command1 && HIWORD(wParam) == BN_CLICKED) {
                Command1_Click();
                return 0;
            }
            // Enter through the dialog manager arrives as IDOK: it presses the button that has the
            // focus. There is no cancel button, so IDCANCEL (Escape) does nothing.
            if (LOWORD(wParam) == IDOK && ::GetFocus() == Control(AboutIds::Command1)) {
                Command1_Click();
            }
            return 0;
        case WM_CTLCOLORSTATIC:
            if (reinterpret_cast<HWND>(lParam) == Control(AboutIds::Label4)) {
                HDC dc = reinterpret_cast<HDC>(wParam);
                ::SetTextColor(dc, kLinkColour);
                ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
                return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
            }
            break;
        case WM_DRAWITEM: {
            const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (item->CtlID == static_cast<UINT>(AboutIds::Image1)) {
                DrawImage1(*item);
                return TRUE;
            }
            break;
        }
        default:
            break;
        }
        LRESULT result = 0;
        HandleCommon(msg, wParam, lParam, result);
        return result;
    }

private:
    friend class forms::FixedForm<AboutForm>;
    friend class win32::Window<AboutForm>;

    // Fonts and the picture at the window's DPI; the controls are already placed.
    void ApplyDpi(int dpi) noexcept {
        win32::unique_gdi<HFONT> nameFont(CreatePointFont("Tahoma", 1200, dpi, FW_BOLD, false));
        win32::unique_gdi<HFONT> linkFont(CreatePointFont("MS Sans Serif", 825, dpi, FW_NORMAL, true));
        ::SendMessageA(Control(AboutIds::Label1), WM_SETFONT,
                       reinterpret_cast<WPARAM>(nameFont ? nameFont.get() : InterfaceFont()), TRUE);
        ::SendMessageA(Control(AboutIds::Label4), WM_SETFONT,
                       reinterpret_cast<WPARAM>(linkFont ? linkFont.get() : InterfaceFont()), TRUE);
        nameFont_ = std::move(nameFont);
        linkFont_ = std::move(linkFont);
        RECT box{};
        ::GetClientRect(Control(AboutIds::Image1), &box);
        picture_ = forms::LoadProgramIcon(IDI_PROGRAM, box.right - box.left, box.bottom - box.top);
        ::InvalidateRect(Control(AboutIds::Image1), nullptr, TRUE);
    }

    void DrawImage1(const DRAWITEMSTRUCT& item) noexcept {
        ::FillRect(item.hDC, &item.rcItem, ::GetSysColorBrush(COLOR_BTNFACE));
        if (picture_) {
            ::DrawIconEx(item.hDC, item.rcItem.left, item.rcItem.top, static_cast<HICON>(picture_.get()),
                         item.rcItem.right - item.rcItem.left, item.rcItem.bottom - item.rcItem.top, 0, nullptr,
                         DI_NORMAL);
        }
    }

    // The version line replaces the designer's "v1.01"; without a version record it stays.
    void Form_Load() {
        const std::string version = ProgramVersionLine();
        if (!version.empty()) ::SetWindowTextA(Control(AboutIds::Label5), version.c_str());
    }

    void Command1_Click() noexcept {
        // Unloads the form: nothing of it may be touched after this.
        ::DestroyWindow(Handle());
    }

    // A press opens the link at once; only the left button does anything.
    void Label4_MouseDown(int button, int /*shift*/, int /*x*/, int /*y*/) {
        if (button != kLeftButton) return;
        const std::string address = win32::WindowText(Control(AboutIds::Label4));
        const std::string folder = win32::ProgramFolder();
        // Whether the shell could open it is not the window's concern.
        ::ShellExecuteA(Handle(), "open", address.c_str(), nullptr, folder.c_str(), kLinkShowState);
    }

    static int ShiftState(WPARAM keys) noexcept {
        return ((keys & MK_SHIFT) ? 1 : 0) | ((keys & MK_CONTROL) ? 2 : 0) | ((::GetKeyState(VK_MENU) < 0) ? 4 : 0);
    }

    // The label's own messages: every press, double-clicks included, is a MouseDown.
    static LRESULT CALLBACK Label4Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                       DWORD_PTR data) {
        auto* self = reinterpret_cast<AboutForm*>(data);
        int button = 0;
        switch (msg) {
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            button = kLeftButton;
            break;
        case WM_RBUTTONDOWN:
        case WM_RBUTTONDBLCLK:
            button = kRightButton;
            break;
        case WM_MBUTTONDOWN:
        case WM_MBUTTONDBLCLK:
            button = kMiddleButton;
            break;
        case WM_NCDESTROY:
            ::RemoveWindowSubclass(hwnd, &AboutForm::Label4Proc, id);
            break;
        default:
            break;
        }
        if (button != 0) {
            self->Label4_MouseDown(button, ShiftState(wParam), GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
            return 0;
        }
        return ::DefSubclassProc(hwnd, msg, wParam, lParam);
    }

    win32::unique_gdi<HFONT> nameFont_;
    win32::unique_gdi<HFONT> linkFont_;
    win32::unique_hicon picture_;
};

}  // namespace

std::unique_ptr<forms::Companion> forms::LoadAbout() {
    auto form = std::make_unique<AboutForm>();
    if (!form->Load()) return nullptr;
    return form;
}

std::string FormatVersionLine(unsigned major, unsigned minor) {
    std::string line = "v";
    line += std::to_string(major);
    line += '.';
    line += std::to_string(minor);
    return line;
}

std::string ProgramVersionLine() {
    const auto info = win32::FixedFileInfo(win32::ModulePath());
    if (!info) return {};
    return FormatVersionLine(HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS));
}

}  // namespace velquist
