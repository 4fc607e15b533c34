// The program as a process: its set-up, its start, and its end when the window closes.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "TestSupport.h"
#include "app/Startup.h"
#include "app/velquistform.h"
#include "resource.h"

namespace {

TEST(Startup, CurrentDirectoryIsNoLongerSearchedForDlls) {
    testsupport::TempDir dir;
    ASSERT_TRUE(testsupport::CopyTo(VELQUIST_PROBE_DLL, dir / "velquist_planted.dll"));
    char previous[MAX_PATH] = {};
    ::GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_TRUE(::SetCurrentDirectoryA(dir.Path().c_str()));

    velquist::PrepareProcess();
    HMODULE planted = ::LoadLibraryA("velquist_planted.dll");
    EXPECT_EQ(planted, nullptr);
    if (planted != nullptr) ::FreeLibrary(planted);

    // Without the set-up the planted DLL is found: the probe is sound.
    ::SetDllDirectoryA(nullptr);
    planted = ::LoadLibraryA("velquist_planted.dll");
    EXPECT_NE(planted, nullptr);
    if (planted != nullptr) ::FreeLibrary(planted);
    velquist::PrepareProcess();

    // System DLLs still load by name.
    HMODULE system = ::LoadLibraryA("version.dll");
    EXPECT_NE(system, nullptr);
    if (system != nullptr) ::FreeLibrary(system);

    ::SetCurrentDirectoryA(previous);
}

struct Process {
    PROCESS_INFORMATION info{};
    ~Process() {
        if (info.hProcess != nullptr) {
            if (::WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT) ::TerminateProcess(info.hProcess, 99);
            ::CloseHandle(info.hProcess);
            ::CloseHandle(info.hThread);
        }
    }
};

struct FindData {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK FindMainWindow(HWND hwnd, LPARAM lParam) {
    auto* data = reinterpret_cast<FindData*>(lParam);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    char cls[64] = {};
    ::GetClassNameA(hwnd, cls, static_cast<int>(std::size(cls)));
    if (pid == data->pid && std::string(cls) == "velquistform" && ::IsWindowVisible(hwnd)) {
        data->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

// Starts the program and waits for its main window to be shown.
HWND StartProgram(Process& process, const std::string& arguments = {}) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    std::string commandLine = std::string("\"") + VELQUIST_EXE + "\" " + arguments;
    if (!::CreateProcessA(VELQUIST_EXE, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process.info)) {
        return nullptr;
    }
    for (int i = 0; i < 300; ++i) {
        FindData data{process.info.dwProcessId, nullptr};
        ::EnumWindows(&FindMainWindow, reinterpret_cast<LPARAM>(&data));
        if (data.found != nullptr) return data.found;
        ::Sleep(50);
    }
    return nullptr;
}

TEST(Startup, ProgramShowsItsWindowAndEndsWhenItCloses) {
    struct Way {
        const char* name;
        UINT msg;
        WPARAM wParam;
    };
    for (const Way way : {Way{"title bar", WM_SYSCOMMAND, SC_CLOSE}, Way{"File > Exit", WM_COMMAND, IDM_EXIT}}) {
        SCOPED_TRACE(way.name);
        Process process;
        HWND main = StartProgram(process);
        ASSERT_NE(main, nullptr);
        char caption[32] = {};
        ::GetWindowTextA(main, caption, static_cast<int>(std::size(caption)));
        EXPECT_STREQ(caption, "Velquist");
        ::PostMessageA(main, way.msg, way.wParam, 0);
        ASSERT_EQ(::WaitForSingleObject(process.info.hProcess, 10000), WAIT_OBJECT_0);
        DWORD exitCode = 1;
        ::GetExitCodeProcess(process.info.hProcess, &exitCode);
        EXPECT_EQ(exitCode, 0u);
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
        Process process;
        std::string arguments = "\"";
        arguments += dir / "with blank";
        arguments += run ? "\" /R -run" : "\" /R";
        HWND main = StartProgram(process, arguments);
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
        EXPECT_EQ(::WaitForSingleObject(process.info.hProcess, 10000), WAIT_OBJECT_0);
    }
}

}  // namespace
