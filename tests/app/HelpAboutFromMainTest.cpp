// The Help and About windows as the main window opens and closes them: F1 and the Help menu,
// one window of each kind, and the program's end closing both.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "DialogWatcher.h"
#include "MainWindowFixture.h"
#include "app/MessageLoop.h"
#include "resource.h"
#include "windows/HelpAbout.h"

namespace {

using testsupport::WindowText;

BOOL CALLBACK CountHelpWindows(HWND hwnd, LPARAM count) {
    if (WindowText(hwnd) == "Velquist Help") ++*reinterpret_cast<int*>(count);
    return TRUE;
}

struct ClassSearch {
    const char* windowClass;
    HWND found;
};

BOOL CALLBACK FindByClass(HWND hwnd, LPARAM data) {
    auto* search = reinterpret_cast<ClassSearch*>(data);
    if (testsupport::ClassNameOf(hwnd) != search->windowClass) return TRUE;
    search->found = hwnd;
    return FALSE;
}

// The main window's Help and About as a user finds them on the screen: this thread's windows of
// their classes (nullptr when closed).
HWND ThreadWindow(const char* windowClass) {
    ClassSearch search{windowClass, nullptr};
    ::EnumThreadWindows(::GetCurrentThreadId(), &FindByClass, reinterpret_cast<LPARAM>(&search));
    return search.found;
}
HWND HelpWindow() { return ThreadWindow("VelquistHelp"); }
HWND AboutWindow() { return ThreadWindow("VelquistAbout"); }

// Help and About go with the form object.
class HelpAboutFromMain : public testsupport::MainWindowFixture {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(MainWindowFixture::SetUp());
        Show();
    }
    void PressF1(HWND target) {
        ::PostMessageA(target, WM_KEYDOWN, VK_F1, 0x003B0001);
        ::PostMessageA(target, WM_KEYUP, VK_F1, 0xC03B0001);
        Pump();
    }
};

TEST_F(HelpAboutFromMain, F1OpensOneHelpWindowAndBringsTheSameOneBack) {
    ASSERT_EQ(HelpWindow(), nullptr);
    PressF1(form.Text1);
    HWND help = HelpWindow();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(::IsWindowVisible(help));
    EXPECT_EQ(WindowText(help), "Velquist Help");
    EXPECT_EQ(::GetWindow(help, GW_OWNER), nullptr);
    HWND text = ::GetDlgItem(help, velquist::HelpIds::Text1);
    const std::string helpText = WindowText(text);
    ASSERT_FALSE(helpText.empty());

    // A second F1 (here from the main window itself, the focus back there) opens no second window
    // and does not load the text again.
    ::SetForegroundWindow(form.Handle());
    PressF1(form.Handle());
    EXPECT_EQ(HelpWindow(), help);
    EXPECT_EQ(WindowText(text), helpText);

    // The menu item does the same.
    ::PostMessageA(form.Handle(), WM_COMMAND, MAKEWPARAM(IDM_CONTENTS, 0), 0);
    Pump();
    EXPECT_EQ(HelpWindow(), help);
    int helpWindows = 0;
    ::EnumThreadWindows(::GetCurrentThreadId(), &CountHelpWindows, reinterpret_cast<LPARAM>(&helpWindows));
    EXPECT_EQ(helpWindows, 1);
}

TEST_F(HelpAboutFromMain, ClosingHelpLeavesTheMainWindowAsItWas) {
    ::SetWindowTextA(form.Text1, "C:\\typed.dll");
    PressF1(form.Text1);
    HWND help = HelpWindow();
    ASSERT_NE(help, nullptr);
    ::PostMessageA(help, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_FALSE(Pump());  // closing Help does not end the program
    EXPECT_EQ(HelpWindow(), nullptr);
    EXPECT_TRUE(::IsWindow(form.Handle()));
    EXPECT_EQ(WindowText(form.Text1), "C:\\typed.dll");
}

TEST_F(HelpAboutFromMain, TheProgramsLoopGivesAboutItsKeyboard) {
    ::PostMessageA(form.Handle(), WM_COMMAND, MAKEWPARAM(IDM_ABOUT, 0), 0);
    Pump();
    HWND about = AboutWindow();
    ASSERT_NE(about, nullptr);
    HWND ok = ::GetDlgItem(about, velquist::AboutIds::Command1);
    ASSERT_EQ(::GetFocus(), ok);
    // Enter presses the focused button only through the dialog manager.
    ::PostMessageA(ok, WM_KEYDOWN, VK_RETURN, 0x001C0001);
    ::PostMessageA(ok, WM_KEYUP, VK_RETURN, 0xC01C0001);
    EXPECT_FALSE(Pump());
    EXPECT_FALSE(::IsWindow(about));
    EXPECT_TRUE(::IsWindow(form.Handle()));
}

TEST_F(HelpAboutFromMain, ClosingTheMainWindowEndsTheProgramAndBothWindows) {
    ::PostMessageA(form.Handle(), WM_COMMAND, MAKEWPARAM(IDM_ABOUT, 0), 0);
    Pump();
    PressF1(form.Handle());
    HWND about = AboutWindow();
    HWND help = HelpWindow();
    ASSERT_NE(about, nullptr);
    ASSERT_NE(help, nullptr);
    EXPECT_EQ(::GetWindow(about, GW_OWNER), nullptr);

    HWND main = form.Handle();
    ::PostMessageA(main, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(velquist::RunMessageLoop(main, form.Accelerators()), 0);
    EXPECT_FALSE(::IsWindow(main));
    EXPECT_FALSE(::IsWindow(about));
    EXPECT_FALSE(::IsWindow(help));
    EXPECT_EQ(HelpWindow(), nullptr);
    EXPECT_EQ(AboutWindow(), nullptr);
}

}  // namespace
