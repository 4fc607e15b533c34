// The main window as a user meets it: frame, controls, layout per DPI, modes, menus, F1, closing.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "DialogWatcher.h"
#include "MainWindowFixture.h"
#include "app/MessageLoop.h"
#include "resource.h"

namespace {

using testsupport::Checked;
using testsupport::ClassNameOf;
using testsupport::WindowText;

using velquist::velquistform;

// The window as designed, written out here independently of the program's own table.
struct Expected {
    const char* name;
    const char* cls;
    const char* caption;
    int left, top, width, height;  // twips
    HWND velquistform::*member;
};

const Expected kExpected[] = {
    {"Option1", "Button", "Register single file", 285, 1935, 1890, 270, &velquistform::Option1},
    {"Text1", "Edit", "", 2760, 1890, 4710, 330, &velquistform::Text1},
    {"Command3", "Button", "...", 7545, 1890, 360, 330, &velquistform::Command3},
    {"Option2", "Button", "Register all files in directory", 285, 2310, 2625, 240, &velquistform::Option2},
    {"Text2", "Edit", "", 2760, 2280, 4710, 330, &velquistform::Text2},
    {"Command4", "Button", "...", 7545, 2280, 360, 330, &velquistform::Command4},
    {"Check1", "Button", "Include sub-directories", 2760, 2625, 2880, 315, &velquistform::Check1},
    {"ListView1", "SysListView32", "", 300, 2985, 7635, 1245, &velquistform::ListView1},
    {"Command5", "Button", "Velquist!", 3480, 4305, 1455, 405, &velquistform::Command5},
    {"Command1", "Button", "Un-Velquist!", 4980, 4305, 1455, 405, &velquistform::Command1},
    {"Command2", "Button", "Close", 6480, 4305, 1455, 405, &velquistform::Command2},
    {"Label2", "Static",
     "This application will register a single ActiveX control (DLL or OCX) or it will allow you to select an "
     "entire directory to register all the files within that directory.  This can be useful in the event of an "
     "application not working/installing correctly.  Please be aware that incorrectly registering a DLL or OCX "
     "file can adversely affect software and may prevent applications from running at all.   See Help for more "
     "information",
     270, 150, 7755, 885, &velquistform::Label2},
    {"Label3", "Static", "By using this program you acknowledge that you are aware of the risks involved. ", 300, 1440,
     7515, 435, &velquistform::Label3},
    {"Label1", "Static",
     "If this program fails to register your ActiveX controls correctly, try running this application as "
     "Administrator.",
     300, 1080, 7695, 435, &velquistform::Label1},
};

RECT RectInParent(HWND control) {
    RECT rect{};
    ::GetWindowRect(control, &rect);
    ::MapWindowPoints(nullptr, ::GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

bool Enabled(HWND control) { return ::IsWindowEnabled(control) != FALSE; }

// Counts the commands the window receives (menu, accelerator), by subclassing it.
struct CommandCounter {
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
        auto* self = reinterpret_cast<CommandCounter*>(data);
        if (msg == WM_COMMAND && lParam == 0) self->commands.push_back(wParam);
        return ::DefSubclassProc(hwnd, msg, wParam, lParam);
    }
    explicit CommandCounter(HWND hwnd) : hwnd_(hwnd) {
        ::SetWindowSubclass(hwnd_, &Proc, 1, reinterpret_cast<DWORD_PTR>(this));
    }
    ~CommandCounter() {
        if (::IsWindow(hwnd_)) ::RemoveWindowSubclass(hwnd_, &Proc, 1);
    }
    int Count(int id, int source) const {
        int n = 0;
        for (WPARAM w : commands) n += (LOWORD(w) == id && HIWORD(w) == source) ? 1 : 0;
        return n;
    }
    HWND hwnd_;
    std::vector<WPARAM> commands;
};

// Shown only where a test needs it: without a window manager, Wine waits two seconds for every shown
// window to be taken off the display.
class MainWindow : public testsupport::MainWindowFixture {
protected:
    void ExpectLayout(int dpi) {
        for (const auto& e : kExpected) {
            SCOPED_TRACE(std::string(e.name) + " at " + std::to_string(dpi) + " DPI");
            const RECT r = RectInParent(form.*e.member);
            EXPECT_NEAR(r.left, e.left * dpi / 1440.0, 1.0);
            EXPECT_NEAR(r.top, e.top * dpi / 1440.0, 1.0);
            EXPECT_NEAR(r.right - r.left, e.width * dpi / 1440.0, 1.0);
            EXPECT_NEAR(r.bottom - r.top, e.height * dpi / 1440.0, 1.0);
        }
        RECT client{};
        ::GetClientRect(form.Handle(), &client);
        EXPECT_NEAR(client.right, 8235 * dpi / 1440.0, 1.0);
        EXPECT_NEAR(client.bottom, 4815 * dpi / 1440.0, 1.0);
        // The result column: 12877 hundredths of a millimetre.
        EXPECT_NEAR(::SendMessageA(form.ListView1, LVM_GETCOLUMNWIDTH, 0, 0), 12877 * dpi / 2540.0, 1.0);
    }
    // Option1 selected: the single-file controls enabled, the directory controls not.
    void ExpectSingleFileMode() {
        EXPECT_TRUE(Checked(form.Option1));
        EXPECT_FALSE(Checked(form.Option2));
        EXPECT_TRUE(Enabled(form.Text1));
        EXPECT_TRUE(Enabled(form.Command3));
        EXPECT_FALSE(Enabled(form.Text2));
        EXPECT_FALSE(Enabled(form.Command4));
        EXPECT_FALSE(Enabled(form.Check1));
    }
    int FontHeight(HWND control) {
        LOGFONTA font{};
        ::GetObjectA(reinterpret_cast<HFONT>(::SendMessageA(control, WM_GETFONT, 0, 0)), sizeof font, &font);
        return std::abs(font.lfHeight);
    }
};

TEST_F(MainWindow, ControlsHaveTheirClassCaptionAndPlaceAt96Dpi) {
    Show();
    ASSERT_EQ(form.Dpi(), 96);
    for (const auto& e : kExpected) {
        SCOPED_TRACE(e.name);
        HWND control = form.*e.member;
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(::GetParent(control), form.Handle());
        EXPECT_EQ(ClassNameOf(control), e.cls);
        if (ClassNameOf(control) != "SysListView32") {
            EXPECT_EQ(WindowText(control), e.caption);
        }
        EXPECT_TRUE(::IsWindowVisible(control));
        // Every control carries the interface font the window chose.
        EXPECT_NE(::SendMessageA(control, WM_GETFONT, 0, 0), 0);
    }
    ExpectLayout(96);
    // Option buttons, check box and push buttons are of the kinds a user expects.
    EXPECT_EQ(::GetWindowLongA(form.Option1, GWL_STYLE) & BS_TYPEMASK, BS_AUTORADIOBUTTON);
    EXPECT_EQ(::GetWindowLongA(form.Option2, GWL_STYLE) & BS_TYPEMASK, BS_AUTORADIOBUTTON);
    EXPECT_EQ(::GetWindowLongA(form.Check1, GWL_STYLE) & BS_TYPEMASK, BS_AUTOCHECKBOX);
    for (HWND button : {form.Command1, form.Command2, form.Command3, form.Command4, form.Command5}) {
        // No default button: Enter in a path box must not start a run.
        EXPECT_EQ(::GetWindowLongA(button, GWL_STYLE) & BS_TYPEMASK, BS_PUSHBUTTON);
    }
    EXPECT_FALSE(::GetWindowLongA(form.Text1, GWL_STYLE) & ES_MULTILINE);
}

TEST_F(MainWindow, DpiChangeLaysEverythingOutAgainInTwips) {
    const int fontAt96 = FontHeight(form.Text1);
    RECT before{};
    ::GetWindowRect(form.Handle(), &before);
    RECT suggested{before.left, before.top, before.left + (before.right - before.left) * 3 / 2,
                   before.top + (before.bottom - before.top) * 3 / 2};
    ::SendMessageA(form.Handle(), WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    EXPECT_EQ(form.Dpi(), 144);
    ExpectLayout(144);
    RECT after{};
    ::GetWindowRect(form.Handle(), &after);
    EXPECT_EQ(after.left, suggested.left);
    EXPECT_EQ(after.top, suggested.top);
    // The new font reached every control and is larger.
    const int fontAt144 = FontHeight(form.Text1);
    EXPECT_GT(fontAt144, fontAt96);
    for (const auto& e : kExpected) {
        // A label keeps the window's font unless its text needs a smaller one to fit its box.
        if (ClassNameOf(form.*e.member) == "Static") {
            EXPECT_LE(FontHeight(form.*e.member), fontAt144) << e.name;
        } else {
            EXPECT_EQ(FontHeight(form.*e.member), fontAt144) << e.name;
        }
    }

    // Asked ahead of a move to a monitor of 192 DPI, the window wants a client area of 8235 x 4815
    // twips there: 1098 x 642 pixels plus its frame and menu bar.
    SIZE wanted{};
    ASSERT_TRUE(::SendMessageA(form.Handle(), WM_GETDPISCALEDSIZE, 192, reinterpret_cast<LPARAM>(&wanted)));
    EXPECT_GE(wanted.cx, 1098);
    EXPECT_LE(wanted.cx, 1098 + 60);
    EXPECT_GE(wanted.cy, 642 + 20);
    EXPECT_LE(wanted.cy, 642 + 160);

    ::SendMessageA(form.Handle(), WM_DPICHANGED, MAKEWPARAM(96, 96), reinterpret_cast<LPARAM>(&before));
    ExpectLayout(96);
    EXPECT_LE(FontHeight(form.Label2), fontAt96);
    EXPECT_EQ(FontHeight(form.Text1), fontAt96);
}

// The height the label's text needs, wrapped in the label's width and drawn in its font.
int TextHeightIn(HWND label) {
    RECT box{};
    ::GetClientRect(label, &box);
    const win32::WindowDc dc(label);
    const HGDIOBJ previous =
        ::SelectObject(dc.get(), reinterpret_cast<HFONT>(::SendMessageA(label, WM_GETFONT, 0, 0)));
    const std::string text = WindowText(label);
    RECT need{0, 0, box.right, 0};
    ::DrawTextA(dc.get(), text.c_str(), -1, &need, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS);
    ::SelectObject(dc.get(), previous);
    return need.bottom;
}

TEST_F(MainWindow, EachLabelShowsItsWholeTextAtEachDpi) {
    for (int dpi : {144, 96}) {
        RECT at{};
        ::GetWindowRect(form.Handle(), &at);
        ::SendMessageA(form.Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&at));
        for (HWND label : {form.Label1, form.Label2, form.Label3}) {
            RECT box{};
            ::GetClientRect(label, &box);
            EXPECT_LE(TextHeightIn(label), box.bottom) << WindowText(label) << " at " << dpi << " DPI";
        }
    }
}

TEST_F(MainWindow, ALabelTooSmallForItsTextGetsASmallerFontThatFits) {
    // The label fitting at work on a box far too small for the window's font, and on one large enough.
    const HFONT windowFont = reinterpret_cast<HFONT>(::SendMessageA(form.Label2, WM_GETFONT, 0, 0));
    const std::string text = WindowText(form.Label2);
    const win32::unique_hwnd owned(::CreateWindowExA(0, "STATIC", text.c_str(), WS_CHILD | SS_LEFT, 0, 0, 400, 70,
                                                     form.Handle(), nullptr, nullptr, nullptr));
    const HWND tight = static_cast<HWND>(owned.get());
    ASSERT_NE(tight, nullptr);
    ::SendMessageA(tight, WM_SETFONT, reinterpret_cast<WPARAM>(windowFont), FALSE);
    ASSERT_GT(TextHeightIn(tight), 70) << "the box must be too small for the test to mean anything";

    const win32::unique_gdi<HFONT> fitting(win32::CreateFittingFont(tight, windowFont, 6));
    ASSERT_TRUE(fitting);
    ::SendMessageA(tight, WM_SETFONT, reinterpret_cast<WPARAM>(fitting.get()), FALSE);
    EXPECT_LE(TextHeightIn(tight), 70);
    EXPECT_LT(FontHeight(tight), FontHeight(form.Label2));
    LOGFONTA wanted{}, got{};
    ::GetObjectA(windowFont, sizeof wanted, &wanted);
    ::GetObjectA(fitting.get(), sizeof got, &got);
    EXPECT_STREQ(got.lfFaceName, wanted.lfFaceName) << "the same face, only smaller";

    // Never below the floor, even where nothing fits.
    ::SetWindowPos(tight, nullptr, 0, 0, 40, 10, SWP_NOMOVE | SWP_NOZORDER);
    const win32::unique_gdi<HFONT> floor(win32::CreateFittingFont(tight, windowFont, 8));
    ASSERT_TRUE(floor);
    ::GetObjectA(floor.get(), sizeof got, &got);
    EXPECT_EQ(std::abs(got.lfHeight), 8);

    // A box that holds the text needs no other font.
    ::SetWindowPos(tight, nullptr, 0, 0, 1000, 400, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_EQ(win32::CreateFittingFont(tight, windowFont, 6), nullptr);
}

TEST_F(MainWindow, FrameIsFixedCentredAndCaptioned) {
    HWND hwnd = form.Handle();
    EXPECT_EQ(WindowText(hwnd), "Velquist");
    const LONG style = ::GetWindowLongA(hwnd, GWL_STYLE);
    EXPECT_TRUE(style & WS_CAPTION);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME);
    EXPECT_TRUE(::GetWindowLongA(hwnd, GWL_EXSTYLE) & WS_EX_APPWINDOW);
    EXPECT_EQ(::GetWindow(hwnd, GW_OWNER), nullptr);
    EXPECT_NE(::SendMessageA(hwnd, WM_GETICON, ICON_BIG, 0), 0);
    EXPECT_NE(::SendMessageA(hwnd, WM_GETICON, ICON_SMALL, 0), 0);

    RECT client{};
    ::GetClientRect(hwnd, &client);
    EXPECT_EQ(client.right, 549);   // 8235 twips
    EXPECT_EQ(client.bottom, 321);  // 4815 twips

    RECT frame{};
    ::GetWindowRect(hwnd, &frame);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    ASSERT_TRUE(::GetMonitorInfoA(::MonitorFromWindow(hwnd, MONITOR_DEFAULTTOPRIMARY), &info));
    EXPECT_NEAR(frame.left + frame.right, info.rcWork.left + info.rcWork.right, 2);
    EXPECT_NEAR(frame.top + frame.bottom, info.rcWork.top + info.rcWork.bottom, 2);
}

TEST_F(MainWindow, StartsInSingleFileModeWithAnEmptyList) {
    ExpectSingleFileMode();
    EXPECT_FALSE(Checked(form.Check1));
    EXPECT_EQ(WindowText(form.Text1), "");
    EXPECT_EQ(WindowText(form.Text2), "");
    EXPECT_EQ(::SendMessageA(form.ListView1, LVM_GETITEMCOUNT, 0, 0), 0);
    EXPECT_EQ(form.Results().Count(), 0);
    for (HWND other : {form.Option2, form.ListView1, form.Command5, form.Command1, form.Command2}) {
        EXPECT_TRUE(Enabled(other));
    }
}

TEST_F(MainWindow, TabOrderIsCreationOrderAndLabelsTakeNoFocus) {
    // Every control enabled, so that the walk meets all of them.
    for (const auto& e : kExpected) ::EnableWindow(form.*e.member, TRUE);
    auto name = [this](HWND hwnd) -> std::string {
        for (const auto& e : kExpected) {
            if (form.*e.member == hwnd) return e.name;
        }
        return "?";
    };
    auto walk = [&](HWND from) {
        std::string names;
        HWND at = from;
        do {
            names += name(at) + " ";
            at = ::GetNextDlgTabItem(form.Handle(), at, FALSE);
        } while (at != nullptr && at != from && names.size() < 400);
        return names;
    };
    // In the option group only the selected option is a stop, in its own place of the order.
    EXPECT_EQ(walk(form.Option1),
              "Option1 Text1 Command3 Text2 Command4 Check1 ListView1 Command5 Command1 Command2 ");
    Click(form.Option2);
    for (const auto& e : kExpected) ::EnableWindow(form.*e.member, TRUE);
    EXPECT_EQ(walk(form.Option2),
              "Option2 Text2 Command4 Check1 ListView1 Command5 Command1 Command2 Text1 Command3 ");
    // The tab stop travels with the selection, as in any option group.
    EXPECT_TRUE(::GetWindowLongA(form.Option2, GWL_STYLE) & WS_TABSTOP);
    EXPECT_FALSE(::GetWindowLongA(form.Option1, GWL_STYLE) & WS_TABSTOP);
    for (HWND control : {form.Text1, form.Text2, form.Command1, form.Command2,
                         form.Command3, form.Command4, form.Command5, form.Check1, form.ListView1}) {
        EXPECT_TRUE(::GetWindowLongA(control, GWL_STYLE) & WS_TABSTOP) << name(control);
    }
    // The labels follow, in their own order, and are not tab stops.
    EXPECT_EQ(::GetWindow(form.Command2, GW_HWNDNEXT), form.Label2);
    EXPECT_EQ(::GetWindow(form.Label2, GW_HWNDNEXT), form.Label3);
    EXPECT_EQ(::GetWindow(form.Label3, GW_HWNDNEXT), form.Label1);
    for (HWND label : {form.Label1, form.Label2, form.Label3}) {
        EXPECT_FALSE(::GetWindowLongA(label, GWL_STYLE) & WS_TABSTOP);
        EXPECT_TRUE(::GetWindowLongA(label, GWL_STYLE) & SS_NOPREFIX);
    }
}

TEST_F(MainWindow, TabMovesTheFocusThroughTheLoop) {
    Show();
    ::SetForegroundWindow(form.Handle());
    ::SetFocus(form.Text1);
    ASSERT_EQ(::GetFocus(), form.Text1);
    MSG tab{form.Text1, WM_KEYDOWN, VK_TAB, 0, 0, {}};
    EXPECT_TRUE(velquist::TranslateMainWindowMessage(form.Handle(), form.Accelerators(), &tab));
    EXPECT_EQ(::GetFocus(), form.Command3);
    // In single-file mode the disabled directory controls are passed over.
    tab.hwnd = form.Option2;
    ::SetFocus(form.Option2);
    EXPECT_TRUE(velquist::TranslateMainWindowMessage(form.Handle(), form.Accelerators(), &tab));
    EXPECT_EQ(::GetFocus(), form.ListView1);
}

TEST_F(MainWindow, OptionsFormOneGroupAndSwitchOnlyEnabledStates) {
    SetText(form.Text1, "C:\\typed path\\x.ocx  ");
    SetText(form.Text2, "D:\\components");

    Click(form.Option2);
    EXPECT_TRUE(Checked(form.Option2));
    EXPECT_FALSE(Checked(form.Option1));
    EXPECT_TRUE(Enabled(form.Text2));
    EXPECT_TRUE(Enabled(form.Command4));
    EXPECT_TRUE(Enabled(form.Check1));
    EXPECT_FALSE(Enabled(form.Text1));
    EXPECT_FALSE(Enabled(form.Command3));

    Click(form.Check1);
    ASSERT_TRUE(Checked(form.Check1));

    Click(form.Option1);
    ExpectSingleFileMode();
    // Texts and the check box keep what the user gave them.
    EXPECT_EQ(WindowText(form.Text1), "C:\\typed path\\x.ocx  ");
    EXPECT_EQ(WindowText(form.Text2), "D:\\components");
    EXPECT_TRUE(Checked(form.Check1));
    // Clicking the selected option again changes nothing.
    Click(form.Option1);
    EXPECT_TRUE(Checked(form.Option1));
    EXPECT_TRUE(Enabled(form.Text1));
}

struct MenuItem {
    std::string text;
    UINT id;
    UINT type;
    UINT state;
    HMENU sub;
};

MenuItem ItemOf(HMENU menu, int pos) {
    char text[64] = {};
    MENUITEMINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STATE | MIIM_STRING | MIIM_SUBMENU;
    info.dwTypeData = text;
    info.cch = static_cast<UINT>(std::size(text));
    ::GetMenuItemInfoA(menu, static_cast<UINT>(pos), TRUE, &info);
    return {text, info.wID, info.fType, info.fState, info.hSubMenu};
}

TEST_F(MainWindow, MenuBarHasFileToolsAndHelp) {
    HMENU bar = ::GetMenu(form.Handle());
    ASSERT_NE(bar, nullptr);
    ASSERT_EQ(::GetMenuItemCount(bar), 3);
    const MenuItem file = ItemOf(bar, 0);
    const MenuItem tools = ItemOf(bar, 1);
    const MenuItem help = ItemOf(bar, 2);
    EXPECT_EQ(file.text, "File");
    EXPECT_EQ(tools.text, "Tools");
    EXPECT_EQ(help.text, "Help");
    ASSERT_NE(file.sub, nullptr);
    ASSERT_NE(tools.sub, nullptr);
    ASSERT_NE(help.sub, nullptr);

    const std::pair<const char*, UINT> fileItems[] = {{"Undo last run\tCtrl+Z", IDM_UNDO},
                                                      {"Save undo file...", IDM_SAVEUNDO},
                                                      {"Save results...\tCtrl+S", IDM_SAVE},
                                                      {"", 0},
                                                      {"Register for current user only", IDM_PERUSER},
                                                      {"Unregister copies registered elsewhere", IDM_FORCE},
                                                      {"Include type libraries", IDM_TYPELIBS},
                                                      {"Restart as administrator", IDM_RESTART},
                                                      {"", 0},
                                                      {"Exit", IDM_EXIT}};
    ASSERT_EQ(::GetMenuItemCount(file.sub), static_cast<int>(std::size(fileItems)));
    for (int i = 0; i < static_cast<int>(std::size(fileItems)); ++i) {
        const MenuItem item = ItemOf(file.sub, i);
        if (fileItems[i].second == 0) {
            EXPECT_TRUE(item.type & MFT_SEPARATOR) << i;
        } else {
            EXPECT_EQ(item.text, fileItems[i].first);
            EXPECT_EQ(item.id, fileItems[i].second);
        }
    }

    const std::pair<const char*, UINT> toolItems[] = {{"Check registration\tCtrl+K", IDM_CHECK},
                                                      {"Test classes\tCtrl+T", IDM_TEST},
                                                      {"Export registration...\tCtrl+E", IDM_EXPORT},
                                                      {"Export removal...", IDM_REMOVAL},
                                                      {"Export manifest...", IDM_MANIFEST},
                                                      {"Find broken registrations\tCtrl+B", IDM_SCAN},
                                                      {"Remove broken registrations...", IDM_CLEAN},
                                                      {"", 0},
                                                      {"Call DllInstall...", IDM_DLLINSTALL}};
    ASSERT_EQ(::GetMenuItemCount(tools.sub), static_cast<int>(std::size(toolItems)));
    for (int i = 0; i < static_cast<int>(std::size(toolItems)); ++i) {
        if (toolItems[i].second == 0) {
            EXPECT_TRUE(ItemOf(tools.sub, i).type & MFT_SEPARATOR) << i;
            continue;
        }
        EXPECT_EQ(ItemOf(tools.sub, i).text, toolItems[i].first);
        EXPECT_EQ(ItemOf(tools.sub, i).id, toolItems[i].second);
    }

    ASSERT_EQ(::GetMenuItemCount(help.sub), 3);
    EXPECT_EQ(ItemOf(help.sub, 0).text, "Contents\tF1");
    EXPECT_EQ(ItemOf(help.sub, 0).id, static_cast<UINT>(IDM_CONTENTS));
    EXPECT_TRUE(ItemOf(help.sub, 1).type & MFT_SEPARATOR);
    EXPECT_EQ(ItemOf(help.sub, 2).text, "About");
    EXPECT_EQ(ItemOf(help.sub, 2).id, static_cast<UINT>(IDM_ABOUT));
    for (HMENU menu : {bar, file.sub, tools.sub, help.sub}) {
        for (int i = 0; i < ::GetMenuItemCount(menu); ++i) {
            const MenuItem item = ItemOf(menu, i);
            if (item.type & MFT_SEPARATOR) continue;  // a separator always reports itself greyed
            EXPECT_EQ(item.state & (MFS_DISABLED | MFS_CHECKED), 0u) << item.text;
        }
    }
}

TEST_F(MainWindow, F1ReachesContentsFromAnyControl) {
    CommandCounter counter(form.Handle());
    ASSERT_NE(form.Accelerators(), nullptr);
    for (HWND target : {form.Handle(), form.Text1, form.ListView1, form.Command5, form.Option1}) {
        MSG f1{target, WM_KEYDOWN, VK_F1, 0x003B0001, 0, {}};
        EXPECT_TRUE(velquist::TranslateMainWindowMessage(form.Handle(), form.Accelerators(), &f1));
    }
    EXPECT_EQ(counter.Count(IDM_CONTENTS, 1), 5);  // 1: from an accelerator

    // Keys meant for other windows are not the main window's shortcuts.
    const win32::unique_hwnd other(
        ::CreateWindowExA(0, WC_STATICA, "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr));
    MSG elsewhere{static_cast<HWND>(other.get()), WM_KEYDOWN, VK_F1, 0x003B0001, 0, {}};
    velquist::TranslateMainWindowMessage(form.Handle(), form.Accelerators(), &elsewhere);
    EXPECT_EQ(counter.Count(IDM_CONTENTS, 1), 5);
}

TEST_F(MainWindow, CloseButtonEndsTheLoopAndDestroysTheWindow) {
    Show();
    CommandCounter counter(form.Handle());
    // The loop handles F1 first, then the click on "Close" ends it.
    ::PostMessageA(form.Text1, WM_KEYDOWN, VK_F1, 0x003B0001);
    ::PostMessageA(form.Command2, BM_CLICK, 0, 0);
    EXPECT_EQ(velquist::RunMessageLoop(form.Handle(), form.Accelerators()), 0);
    EXPECT_EQ(counter.Count(IDM_CONTENTS, 1), 1);
    EXPECT_FALSE(::IsWindow(form.Handle()));
    EXPECT_EQ(form.Handle(), nullptr);
}

TEST_F(MainWindow, FileExitEndsTheLoop) {
    HWND hwnd = form.Handle();
    ::PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDM_EXIT, 0), 0);
    EXPECT_EQ(velquist::RunMessageLoop(hwnd, form.Accelerators()), 0);
    EXPECT_FALSE(::IsWindow(hwnd));
}

TEST_F(MainWindow, TitleBarCloseEndsTheLoop) {
    HWND hwnd = form.Handle();
    ::PostMessageA(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(velquist::RunMessageLoop(hwnd, form.Accelerators()), 0);
    EXPECT_FALSE(::IsWindow(hwnd));
}

TEST_F(MainWindow, CancelledPickersLeaveTheirBoxesAsTheContractSays) {
    // Each picker is closed as a user would close it.
    testsupport::DialogWatcher cancel([](HWND dialog) { ::PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0); });
    // The file picker always writes its answer: cancelled, the box is emptied.
    SetText(form.Text1, "C:\\old.dll");
    Click(form.Command3);
    EXPECT_EQ(WindowText(form.Text1), "");
    // The folder picker writes only a confirmed folder.
    Click(form.Option2);
    SetText(form.Text2, "C:\\kept");
    Click(form.Command4);
    EXPECT_EQ(WindowText(form.Text2), "C:\\kept");
    EXPECT_EQ(cancel.Seen().size(), 2u);
}

}  // namespace
