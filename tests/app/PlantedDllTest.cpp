// DLLs planted beside the programs and in the current directory, under the names of the system DLLs
// the programs or the system DLLs in them load by name, are never loaded: not by the window, a run in
// it, a silent run, an elevated restart's start, a check, a class test or a runner of either bitness,
// while a component still finds its own dependency beside it. The loader is told to prefer a DLL
// found in the search path over its own for those names (as Windows does for every DLL that is not a
// KnownDLL), through Wine's per-program overrides: the test runs alone.
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
#include "tasks/RunRequest.h"
#include "runner/RunnerProtocol.h"
#include "win32/Handles.h"

namespace {

// Every name planted (tests/components builds one canary DLL under each). Not planted: what Windows
// always takes from its KnownDLLs and the programs import at their start (kernel32, advapi32, msvcrt,
// user32, gdi32, ...), which no search reaches.
constexpr const char* kPlanted[] = {"version",  "comctl32", "comdlg32", "shell32", "ole32",   "oleaut32", "uxtheme",
                                    "shcore",   "dwmapi",   "cryptbase", "propsys", "profapi", "userenv",  "winmm",
                                    "msimg32",  "wtsapi32", "secur32",  "sspicli", "shfolder", "netapi32", "mpr",
                                    "dbghelp",  "oleacc",   "textshaping", "winsta", "ntmarta", "bcrypt"};
constexpr const char* kPrograms[] = {"velquist.exe", "velquist64.exe", "planted_control.exe"};
constexpr char kOverrides[] = "Software\\Wine\\AppDefaults\\";

bool UnderWine() {
    HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// Wine's own load, not the programs': Wine's imm32 delay-loads ole32.dll by name on the window's first
// input, from a search that ignores the process's restriction to the system folder. Windows takes
// ole32 from its KnownDLLs. Runners make no windows of their own and get no exception.
bool WineOwnLoad(const std::string& line) {
    return UnderWine() && line.find(runner::kRunnerSwitch) == std::string::npos && line.rfind("ole32.dll ", 0) == 0;
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

// A component of each bitness: where it is and the registry view its classes land in, seen from here.
struct Component {
    std::string path;
    REGSAM view;
};
Component OfBitness(bool wide, const char* name) {
    const bool own = wide == (sizeof(void*) == 8);
    if (own) return {testsupport::ComponentPath(name), 0};
    return {testsupport::OtherComponentPath(name), static_cast<REGSAM>(wide ? KEY_WOW64_64KEY : KEY_WOW64_32KEY)};
}

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

// The seeking component's class names this copy of it.
void ExpectRegistered(const Component& seeker) {
    const std::string server = testsupport::RegisteredServer(VELQUIST_SEEKER_CLSID, seeker.view);
    EXPECT_EQ(_stricmp(server.c_str(), seeker.path.c_str()), 0) << server << " for " << seeker.path;
}

// One silent run of `program` that must exit with 0.
void ExpectSilent(const std::string& program, const std::string& arguments) {
    SCOPED_TRACE(program + " " + arguments);
    const testsupport::ProcessOutcome outcome = testsupport::RunProcess(program, arguments, 60000);
    EXPECT_EQ(outcome.exitCode, std::optional<DWORD>(0)) << outcome.output;
}

// Both programs in one folder with canaries of one bitness beside them and in the current folder; then
// what a user does with them: silent registrations of a 32-bit and a 64-bit component (each needing a
// dependency beside it and the system's version.dll) by both programs, a check, a class test, the
// window opened and closed, an elevated restart's run, and the components unregistered again.
void ExpectNoCanaryLoaded(bool wideCanaries) {
    const bool ownBitness = wideCanaries == (sizeof(void*) == 8);
    const std::string plantedFrom =
        ownBitness ? testsupport::ComponentDir() + "\\planted" : testsupport::OtherComponentPath("planted");
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
        // The plant is sound (the control program is of this test's bitness): an ordinary program beside
        // it loads the planted version.dll.
        ASSERT_TRUE(testsupport::CopyTo(VELQUIST_PLANTED_CONTROL, folder / "planted_control.exe"));
        testsupport::RunProcess(folder / "planted_control.exe", "", 20000);
        const std::vector<std::string> loads = TakeLoads(folder, current);
        ASSERT_FALSE(loads.empty());
        EXPECT_EQ(loads.front().rfind("version.dll ", 0), 0u) << loads.front();
    }

    const std::string narrowExe = folder / "velquist.exe";
    const std::string wideExe = folder / "velquist64.exe";
    const Component seeker32 = OfBitness(false, VELQUIST_SEEKER_DLL);
    const Component seeker64 = OfBitness(true, VELQUIST_SEEKER_DLL);
    const Component creatable = OfBitness(wideCanaries, VELQUIST_CREATABLE_DLL);
    for (const Component* seeker : {&seeker32, &seeker64}) testsupport::ForgetClass(VELQUIST_SEEKER_CLSID, seeker->view);

    ExpectSilent(narrowExe, "/s " + Quoted(seeker32.path));
    ExpectSilent(narrowExe, "/s " + Quoted(seeker64.path));
    for (const Component* seeker : {&seeker32, &seeker64}) ExpectRegistered(*seeker);
    ExpectSilent(wideExe, "/s " + Quoted(seeker32.path));
    ExpectSilent(wideExe, "/s " + Quoted(seeker64.path));
    ExpectSilent(narrowExe, "/s /check " + Quoted(seeker64.path));
    ExpectSilent(wideExe, "/s /check " + Quoted(seeker32.path));
    // The class test of the canaries' bitness (the two copies share a type library, which one view
    // cannot hold for both).
    ExpectSilent(narrowExe, "/s " + Quoted(creatable.path));
    ExpectSilent(wideExe, "/s /test " + Quoted(creatable.path));
    {
        SCOPED_TRACE("the window's start");
        testsupport::StartedProcess started(wideCanaries ? wideExe : narrowExe, "");
        HWND main = testsupport::MainWindowOf(started);
        ASSERT_NE(main, nullptr);
        ::PostMessageA(main, WM_CLOSE, 0, 0);
        EXPECT_TRUE(started.Wait(10000).has_value());
    }
    {
        SCOPED_TRACE("a run in the window, started as an elevated restart starts it");
        const Component& seeker = wideCanaries ? seeker64 : seeker32;
        testsupport::ForgetClass(VELQUIST_SEEKER_CLSID, seeker.view);
        velquist::RunRequest request;
        request.path = seeker.path;
        testsupport::StartedProcess started(wideCanaries ? wideExe : narrowExe, velquist::RelaunchParameters(request, true));
        HWND main = testsupport::MainWindowOf(started);
        ASSERT_NE(main, nullptr);
        for (int i = 0; i < 200 && testsupport::RegisteredServer(VELQUIST_SEEKER_CLSID, seeker.view).empty(); ++i) ::Sleep(50);
        ExpectRegistered(seeker);
        ::PostMessageA(main, WM_CLOSE, 0, 0);
        EXPECT_TRUE(started.Wait(10000).has_value());
    }
    for (const Component* component : {&seeker32, &seeker64, &creatable}) {
        ExpectSilent(narrowExe, "/s /u " + Quoted(component->path));
    }
    for (const Component* seeker : {&seeker32, &seeker64}) {
        EXPECT_EQ(testsupport::RegisteredServer(VELQUIST_SEEKER_CLSID, seeker->view), "");
    }
    EXPECT_EQ(Unexpected(TakeLoads(folder, current)), "");
}

TEST(PlantedDlls, NoProcessLoads32BitCanaries) {
    VELQUIST_ASSERT_OTHER_BITNESS_RUNS();
    ExpectNoCanaryLoaded(false);
}

TEST(PlantedDlls, NoProcessLoads64BitCanaries) {
    VELQUIST_ASSERT_OTHER_BITNESS_RUNS();
    ExpectNoCanaryLoaded(true);
}

}  // namespace
