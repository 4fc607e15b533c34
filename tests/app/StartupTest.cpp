// The program as a process: its set-up, its start, and its end when the window closes.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <optional>
#include <string>

#include "DialogWatcher.h"
#include "TestSupport.h"
#include "app/Startup.h"
#include "window/velquistform.h"
#include "resource.h"
#include "win32/Handles.h"

namespace {

TEST(Startup, ProgramShowsItsWindowAndEndsWhenItCloses) {
    struct Way {
        const char* name;
        UINT msg;
        WPARAM wParam;
    };
    for (const Way way : {Way{"title bar", WM_SYSCOMMAND, SC_CLOSE}, Way{"File > Exit", WM_COMMAND, IDM_EXIT}}) {
        SCOPED_TRACE(way.name);
        testsupport::StartedProcess process(VELQUIST_EXE, "");
        HWND main = testsupport::MainWindowOf(process);
        ASSERT_NE(main, nullptr);
        char caption[32] = {};
        ::GetWindowTextA(main, caption, static_cast<int>(std::size(caption)));
        EXPECT_STREQ(caption, "Velquist");
        ::PostMessageA(main, way.msg, way.wParam, 0);
        const std::optional<DWORD> exitCode = process.Wait(10000);
        ASSERT_TRUE(exitCode.has_value());
        EXPECT_EQ(*exitCode, 0u);
    }
}

// /run: the window opens with the inputs filled in and runs at once, as a click would; without it,
// nothing runs. A path with blanks and a trailing switch are read by the system's rules.
TEST(Startup, RunOnTheCommandLineFillsTheWindowAndRuns) {
    testsupport::TempDir dir;
    ASSERT_TRUE(testsupport::MakeDirs(dir / "with blank"));
    ASSERT_TRUE(testsupport::CopyTo(VELQUIST_PROBE_DLL, dir / "with blank\\plain.dll"));
    for (const bool run : {false, true}) {
        SCOPED_TRACE(run ? "/run" : "no /run");
        std::string arguments = "\"";
        arguments += dir / "with blank";
        arguments += run ? "\" /R -run" : "\" /R";
        testsupport::StartedProcess process(VELQUIST_EXE, arguments);
        HWND main = testsupport::MainWindowOf(process);
        ASSERT_NE(main, nullptr);
        HWND list = ::GetDlgItem(main, velquist::kIdListView1);
        LRESULT rows = 0;
        for (int i = 0; i < 100 && rows == 0; ++i, ::Sleep(50)) rows = ::SendMessageA(list, LVM_GETITEMCOUNT, 0, 0);
        EXPECT_EQ(rows, run ? 1 : 0);  // the closing line alone: the folder holds no component
        EXPECT_EQ(::SendMessageA(::GetDlgItem(main, velquist::kIdOption2), BM_GETCHECK, 0, 0), BST_CHECKED);
        EXPECT_EQ(::SendMessageA(::GetDlgItem(main, velquist::kIdCheck1), BM_GETCHECK, 0, 0), BST_CHECKED);
        char text[MAX_PATH * 4] = {};
        ::SendMessageA(::GetDlgItem(main, velquist::kIdText2), WM_GETTEXT, std::size(text), reinterpret_cast<LPARAM>(text));
        EXPECT_EQ(text, dir / "with blank");
        ::PostMessageA(main, WM_CLOSE, 0, 0);
        EXPECT_TRUE(process.Wait(10000).has_value());
    }
}

}  // namespace
