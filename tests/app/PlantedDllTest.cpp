// DLLs planted beside the programs and in the current directory, under the names of the system DLLs
// the programs load, are never loaded: not by the window, a run in it, a silent run, an elevated
// restart's start or a runner. The loader is told to prefer a DLL found in the search path over its
// own for those names (as Windows does for every DLL that is not a KnownDLL), through Wine's
// per-program overrides: the test runs alone.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "TestComponents.h"
#include "TestSupport.h"
#include "app/RunRequest.h"
#include "runner/RunnerProtocol.h"
#include "win32/Handles.h"

namespace {

// Every name planted (tests/components builds one canary DLL under each).
constexpr const char* kPlanted[] = {"version", "comctl32", "comdlg32", "shell32", "ole32", "oleaut32", "uxtheme"};
constexpr const char* kPrograms[] = {"velquist.exe", "velquist64.exe", "planted_control.exe"};
constexpr char kOverrides[] = "Software\\Wine\\AppDefaults\\";

bool UnderWine() {
    HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// Loads that are Wine's own, not the programs':
// - Wine's user32 loads uxtheme.dll by name, with the process's search, when a window class is first
//   registered (the runner's COM apartment registers one). A runner leaves its search as it is (a
//   component's dependencies are found through it), so there Wine finds the planted one.
// - Wine's imm32 delay-loads ole32.dll by name on the window's first input, from a search that ignores
//   the process's restriction to the system folder. Windows takes ole32 from its KnownDLLs.
bool WineOwnLoad(const std::string& line) {
    if (!UnderWine()) return false;
    const bool runner = line.find(runner::kRunnerSwitch) != std::string::npos;
    return (runner && line.rfind("uxtheme.dll ", 0) == 0) || line.rfind("ole32.dll ", 0) == 0;
}

// Native first for every planted name, for the programs by name; removed again at the end.
class NativeFirst {
public:
    NativeFirst() {
        for (const char* program : kPrograms) {
            HKEY key = nullptr;
            const std::string path = std::string(kOverrides) + program + "\\DllOverrides";
            EXPECT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
                      ERROR_SUCCESS);
            win32::unique_hkey owned(key);
            for (const char* dll : kPlanted) {
                ::RegSetValueExA(key, dll, 0, REG_SZ, reinterpret_cast<const BYTE*>("native,builtin"), 15);
            }
        }
    }
    ~NativeFirst() {
        for (const char* program : kPrograms) testsupport::DeleteTree(HKEY_CURRENT_USER, std::string(kOverrides) + program);
    }
};

class CurrentDirectory {
public:
    explicit CurrentDirectory(const std::string& folder) {
        ::GetCurrentDirectoryA(MAX_PATH, previous_);
        EXPECT_TRUE(::SetCurrentDirectoryA(folder.c_str()));
    }
    ~CurrentDirectory() { ::SetCurrentDirectoryA(previous_); }

private:
    char previous_[MAX_PATH] = {};
};

void Plant(const std::string& from, const testsupport::TempDir& into) {
    for (const char* dll : kPlanted) {
        const std::string name = std::string(dll) + ".dll";
        ASSERT_TRUE(testsupport::CopyTo(from + "\\" + name, into / name)) << name;
    }
}

// The planted DLLs' log lines ("name command line") from both folders, emptied.
std::vector<std::string> TakeLoads(const testsupport::TempDir& a, const testsupport::TempDir& b) {
    std::vector<std::string> lines;
    for (const testsupport::TempDir* dir : {&a, &b}) {
        std::istringstream log(testsupport::ReadBytes(*dir / "planted.log"));
        for (std::string line; std::getline(log, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            // The name as the loader found it (VERSION.dll), in lower case.
            const std::size_t space = std::min(line.find(' '), line.size());
            std::transform(line.begin(), line.begin() + static_cast<std::ptrdiff_t>(space), line.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            if (!line.empty()) lines.push_back(line);
        }
        ::DeleteFileA((*dir / "planted.log").c_str());
    }
    return lines;
}

// Each load that should not have been, once (a refused DLL may be asked for again and again).
std::string Unexpected(const std::vector<std::string>& loads) {
    std::set<std::string> unexpected;
    for (const std::string& line : loads) {
        if (!WineOwnLoad(line)) unexpected.insert(line);
    }
    std::string listed;
    for (const std::string& line : unexpected) listed += line + "\n";
    return listed;
}

// The program of one bitness with both programs beside it, the DLLs planted of that bitness, and a
// component of that bitness registered in the window and removed again in silent mode.
void ExpectNothingPlantedLoaded(const char* program, const std::string& plantedFrom, const std::string& component,
                                bool ownBitness) {
    // The component's class, in the registry view of its bitness.
    const REGSAM view = ownBitness ? 0 : (sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY);
    testsupport::TempDir folder;
    testsupport::TempDir current;
    for (const char* copy : {"velquist.exe", "velquist64.exe"}) {
        ASSERT_TRUE(testsupport::CopyTo(testsupport::BinDir() + "\\" + copy, folder / copy));
    }
    Plant(plantedFrom, folder);
    Plant(plantedFrom, current);
    const NativeFirst overrides;
    const CurrentDirectory inCurrent(current.Path());

    if (ownBitness) {
        // The plant is sound (the control program is of this test's bitness): an ordinary program beside it loads the planted version.dll.
        ASSERT_TRUE(testsupport::CopyTo(VELQUIST_PLANTED_CONTROL, folder / "planted_control.exe"));
        testsupport::RunProcess(folder / "planted_control.exe", "", 20000);
        const std::vector<std::string> loads = TakeLoads(folder, current);
        ASSERT_FALSE(loads.empty());
        EXPECT_EQ(loads.front().rfind("version.dll ", 0), 0u) << loads.front();
    }

    const std::string exe = folder / program;
    {
        SCOPED_TRACE("the window's start");
        testsupport::StartedProcess started(exe, "");
        HWND main = testsupport::MainWindowOf(started);
        ASSERT_NE(main, nullptr);
        ::PostMessageA(main, WM_CLOSE, 0, 0);
        EXPECT_TRUE(started.Wait(10000).has_value());
    }
    {
        SCOPED_TRACE("a run in the window, started as an elevated restart starts it");
        testsupport::ForgetClass(VELQUIST_COMSERVER_CLSID, view);
        velquist::RunRequest request;
        request.path = component;
        testsupport::StartedProcess started(exe, velquist::RelaunchParameters(request, true));
        HWND main = testsupport::MainWindowOf(started);
        ASSERT_NE(main, nullptr);
        for (int i = 0; i < 200 && testsupport::RegisteredServer(VELQUIST_COMSERVER_CLSID, view).empty(); ++i) ::Sleep(50);
        EXPECT_FALSE(testsupport::RegisteredServer(VELQUIST_COMSERVER_CLSID, view).empty());
        ::PostMessageA(main, WM_CLOSE, 0, 0);
        EXPECT_TRUE(started.Wait(10000).has_value());
    }
    {
        SCOPED_TRACE("a silent run");
        const testsupport::ProcessOutcome outcome = testsupport::RunProcess(exe, "/s /u \"" + component + "\"", 30000);
        EXPECT_EQ(outcome.exitCode, std::optional<DWORD>(0)) << outcome.output;
        EXPECT_TRUE(testsupport::RegisteredServer(VELQUIST_COMSERVER_CLSID, view).empty());
    }
    EXPECT_EQ(Unexpected(TakeLoads(folder, current)), "");
}

TEST(PlantedDlls, ThisBitnessLoadsNone) {
    const bool wide = sizeof(void*) == 8;
    ExpectNothingPlantedLoaded(wide ? "velquist64.exe" : "velquist.exe", testsupport::ComponentDir() + "\\planted",
                               testsupport::ComponentPath("comserver.dll"), true);
}

TEST(PlantedDlls, OtherBitnessLoadsNone) {
    VELQUIST_ASSERT_OTHER_BITNESS_RUNS();
    const bool wide = sizeof(void*) == 8;
    const std::string otherDir = testsupport::OtherComponentPath("planted");
    ExpectNothingPlantedLoaded(wide ? "velquist.exe" : "velquist64.exe", otherDir,
                               testsupport::OtherComponentPath("comserver.dll"), false);
}

}  // namespace
