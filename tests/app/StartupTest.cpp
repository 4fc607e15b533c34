// The program as a process: its set-up, its start, and its end when the window closes.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "TestSupport.h"
#include "app/Startup.h"
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
HWND StartProgram(Process& process) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    std::string commandLine = std::string("\"") + VELQUIST_EXE + "\"";
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

}  // namespace
