// The probe and the registration call on the test components, under the real loader and registry.
#include <gtest/gtest.h>

#include <windows.h>
#include <olectl.h>

#include <cstdio>
#include <string>

#include <tlhelp32.h>

#include "TestComponents.h"
#include "TestSupport.h"
#include "pe/LoadDiagnosis.h"
#include "runner/RunnerProtocol.h"
#include "registration/modRegister.h"
#include "win32/Handles.h"

using modRegister::Outcome;
using testsupport::ComponentPath;
using testsupport::KeyExists;
using testsupport::StringValue;

namespace {

constexpr DWORD kShortLimitMs = 1500;

bool ProcessRunning(const char* exeName) {
    win32::unique_handle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!win32::IsValid(snapshot)) return false;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32First(snapshot.get(), &entry); more; more = ::Process32Next(snapshot.get(), &entry)) {
        if (_stricmp(entry.szExeFile, exeName) == 0) return true;
    }
    return false;
}

#if defined(_M_X64) || defined(__x86_64__)
constexpr REGSAM kOtherView = KEY_WOW64_32KEY;
std::uint16_t OwnMachine() { return peexports::kMachineAmd64; }
std::uint16_t OtherMachine() { return peexports::kMachineI386; }
#else
constexpr REGSAM kOtherView = KEY_WOW64_64KEY;
std::uint16_t OwnMachine() { return peexports::kMachineI386; }
std::uint16_t OtherMachine() { return peexports::kMachineAmd64; }
#endif

// True once the process has ended (or never was), waiting a few seconds for it.
bool ProcessGone(DWORD pid) {
    HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (process == nullptr) return true;
    const bool gone = ::WaitForSingleObject(process, 5000) == WAIT_OBJECT_0;
    ::CloseHandle(process);
    return gone;
}

// Whether Wine started its debugger for a crash of some process of ours.
bool DebuggerStarted() { return ::FindWindowA(nullptr, "Program Error") != nullptr || ProcessRunning("winedbg.exe"); }

// The process's open kernel handles, counted by asking about each possible value (Wine's
// GetProcessHandleCount answers 0).
int OpenHandleCount() {
    int count = 0;
    for (ULONG_PTR value = 4; value < 0x10000; value += 4) {
        DWORD flags = 0;
        if (::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++count;
    }
    return count;
}

std::string ClassKey(const char* clsid) { return std::string("CLSID\\") + clsid; }

bool Loaded(const std::string& path) {
    const auto cut = path.find_last_of('\\');
    return ::GetModuleHandleA(path.c_str()) != nullptr ||
           ::GetModuleHandleA(path.substr(cut + 1).c_str()) != nullptr;
}

// Restores the current folder on scope exit.
class CurrentDirectory {
public:
    explicit CurrentDirectory(const std::string& path) {
        char old[MAX_PATH * 4] = {};
        ::GetCurrentDirectoryA(sizeof old, old);
        old_ = old;
        ::SetCurrentDirectoryA(path.c_str());
    }
    ~CurrentDirectory() { ::SetCurrentDirectoryA(old_.c_str()); }

private:
    std::string old_;
};

class ModRegisterTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::ForgetClass(VELQUIST_COMSERVER_CLSID);
        testsupport::ForgetClass(VELQUIST_COMSERVER2_CLSID);
        testsupport::DeleteTree(HKEY_CLASSES_ROOT, ClassKey(VELQUIST_COMSERVER_CLSID), kOtherView);
    }
};

TEST_F(ModRegisterTest, ComServerWritesAndRemovesItsClassKeysAndLeavesNothingLoaded) {
    const std::string path = ComponentPath(VELQUIST_COMSERVER_DLL);
    const std::string key = ClassKey(VELQUIST_COMSERVER_CLSID);
    EXPECT_TRUE(modRegister::IsDLLActiveX(testsupport::Runners(), path));
    EXPECT_FALSE(Loaded(path));

    // The component registers only in a single-threaded apartment, so this also proves the runner's COM set-up.
    const auto registered = modRegister::CallServerEntry(testsupport::Runners(), path, true);
    EXPECT_EQ(registered.outcome, Outcome::Success) << modRegister::Describe(registered);
    EXPECT_FALSE(Loaded(path));
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, key), VELQUIST_COMSERVER_NAME);
    EXPECT_EQ(_stricmp(StringValue(HKEY_CLASSES_ROOT, key + "\\InprocServer32").c_str(), path.c_str()), 0)
        << StringValue(HKEY_CLASSES_ROOT, key + "\\InprocServer32");
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, key + "\\InprocServer32", "ThreadingModel"), "Apartment");
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ClassKey(VELQUIST_COMSERVER2_CLSID)));

    // Twice in a row is fine, and the second component writes its own class.
    EXPECT_TRUE(modRegister::RunServerEntry(testsupport::Runners(), path, true));
    EXPECT_TRUE(modRegister::RunServerEntry(testsupport::Runners(), ComponentPath(VELQUIST_COMSERVER2_DLL), true));
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, ClassKey(VELQUIST_COMSERVER2_CLSID)), VELQUIST_COMSERVER2_NAME);

    EXPECT_TRUE(modRegister::RunServerEntry(testsupport::Runners(), path, false));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, key));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, ClassKey(VELQUIST_COMSERVER2_CLSID)));
    EXPECT_TRUE(modRegister::RunServerEntry(testsupport::Runners(), ComponentPath(VELQUIST_COMSERVER2_DLL), false));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ClassKey(VELQUIST_COMSERVER2_CLSID)));
    EXPECT_FALSE(Loaded(path));
    EXPECT_FALSE(Loaded(ComponentPath(VELQUIST_COMSERVER2_DLL)));

    // Thread, file and mapping handles are all closed again.
    EXPECT_TRUE(modRegister::RunServerEntry(testsupport::Runners(), path, true));  // first-use set-up of COM and the like
    EXPECT_TRUE(modRegister::RunServerEntry(testsupport::Runners(), path, false));
    const int before = OpenHandleCount();
    EXPECT_GT(before, 0);
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(modRegister::IsDLLActiveX(testsupport::Runners(), path));
        EXPECT_TRUE(modRegister::RunServerEntry(testsupport::Runners(), path, true));
        EXPECT_TRUE(modRegister::RunServerEntry(testsupport::Runners(), path, false));
    }
    EXPECT_EQ(OpenHandleCount(), before);
}

TEST_F(ModRegisterTest, EachFaultOfAComponentGivesFalseWithItsReason) {
    const std::string failing = ComponentPath(VELQUIST_FAILING_DLL);
    EXPECT_TRUE(modRegister::IsDLLActiveX(testsupport::Runners(), failing));
    auto result = modRegister::CallServerEntry(testsupport::Runners(), failing, true);
    EXPECT_EQ(result.outcome, Outcome::EntryFailed);
    EXPECT_EQ(result.code, static_cast<DWORD>(SELFREG_E_CLASS));
    EXPECT_FALSE(modRegister::RunServerEntry(testsupport::Runners(), failing, false));
    EXPECT_FALSE(Loaded(failing));

    const auto denied = modRegister::CallServerEntry(testsupport::Runners(), ComponentPath(VELQUIST_ACCESSDENIED_DLL), false);
    EXPECT_EQ(denied.outcome, Outcome::EntryFailed);
    EXPECT_EQ(denied.code, static_cast<DWORD>(E_ACCESSDENIED));

    const std::string noUnregister = ComponentPath(VELQUIST_NOUNREGISTER_DLL);
    EXPECT_TRUE(modRegister::IsDLLActiveX(testsupport::Runners(), noUnregister));
    EXPECT_TRUE(modRegister::RunServerEntry(testsupport::Runners(), noUnregister, true));
    EXPECT_EQ(modRegister::CallServerEntry(testsupport::Runners(), noUnregister, false).outcome, Outcome::EntryMissing);
    EXPECT_FALSE(Loaded(noUnregister));

    const std::string initFails = ComponentPath(VELQUIST_INITFAILS_DLL);
    EXPECT_EQ(modRegister::ProbeComponent(testsupport::Runners(), initFails).outcome, Outcome::LoadFailed);
    EXPECT_FALSE(modRegister::RunServerEntry(testsupport::Runners(), initFails, true));

    const auto noEntry = modRegister::ProbeComponent(testsupport::Runners(), ComponentPath(VELQUIST_NOENTRY_DLL));
    EXPECT_EQ(noEntry.outcome, Outcome::NotComponent);
    EXPECT_EQ(noEntry.headers, peexports::ExportCheck::NameAbsent);
    EXPECT_FALSE(Loaded(ComponentPath(VELQUIST_NOENTRY_DLL)));  // ruled out without loading

    const auto missingDep = modRegister::ProbeComponent(testsupport::Runners(), ComponentPath(VELQUIST_MISSINGDEP_DLL));
    EXPECT_EQ(missingDep.outcome, Outcome::LoadFailed);
    EXPECT_EQ(missingDep.code, static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_FALSE(modRegister::RunServerEntry(testsupport::Runners(), ComponentPath(VELQUIST_MISSINGDEP_DLL), true));

    const auto missingFile = modRegister::ProbeComponent(testsupport::Runners(), ComponentPath("no-such-file.dll"));
    EXPECT_EQ(missingFile.outcome, Outcome::LoadFailed);
    EXPECT_EQ(missingFile.code, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(modRegister::IsDLLActiveX(testsupport::Runners(), ""));
    EXPECT_FALSE(modRegister::RunServerEntry(testsupport::Runners(), "", true));
}

TEST_F(ModRegisterTest, FilesThatAreNotLibrariesAreRuledOutByTheirBytes) {
    testsupport::TempDir dir;
    const std::string component = testsupport::ReadBytes(ComponentPath(VELQUIST_COMSERVER_DLL));
    ASSERT_GT(component.size(), 4096u);
    ASSERT_TRUE(testsupport::WriteBytes(dir / "readme.txt", "This is not a library.\r\n"));
    ASSERT_TRUE(testsupport::WriteBytes(dir / "empty.dll", ""));
    ASSERT_TRUE(testsupport::WriteBytes(dir / "headerOnly.dll", component.substr(0, 64)));
    ASSERT_TRUE(testsupport::WriteBytes(dir / "half.dll", component.substr(0, component.size() / 2)));
    for (const char* name : {"readme.txt", "empty.dll", "headerOnly.dll", "half.dll"}) {
        const auto result = modRegister::ProbeComponent(testsupport::Runners(), dir / name);
        EXPECT_EQ(result.outcome, Outcome::NotComponent) << name << ": " << modRegister::Describe(result);
        EXPECT_FALSE(modRegister::RunServerEntry(testsupport::Runners(), dir / name, true)) << name;
    }
    // The program itself is no DLL.
    char self[MAX_PATH * 4] = {};
    ::GetModuleFileNameA(nullptr, self, sizeof self);
    EXPECT_EQ(modRegister::ProbeComponent(testsupport::Runners(), self).headers, peexports::ExportCheck::NotDll);

    // A component under another extension is still one.
    ASSERT_TRUE(testsupport::CopyTo(ComponentPath(VELQUIST_COMSERVER_DLL), dir / "comserver.bin"));
    EXPECT_TRUE(modRegister::IsDLLActiveX(testsupport::Runners(), dir / "comserver.bin"));
    EXPECT_TRUE(modRegister::RunServerEntry(testsupport::Runners(), dir / "comserver.bin", true));
    EXPECT_EQ(_stricmp(StringValue(HKEY_CLASSES_ROOT, ClassKey(VELQUIST_COMSERVER_CLSID) + "\\InprocServer32").c_str(),
                       (dir / "comserver.bin").c_str()),
              0);
    EXPECT_TRUE(modRegister::RunServerEntry(testsupport::Runners(), dir / "comserver.bin", false));
}

// A file is asked of a runner as a type library only when its first bytes are a type library's or a
// program file's: runners that cannot start show which files went that far.
TEST_F(ModRegisterTest, OnlyFilesMarkedAsTypeLibrariesOrProgramsGoToARunnerAsTypeLibraries) {
    testsupport::TempDir dir;
    registration::Session nowhere(registration::RunnerPrograms::InFolder(dir / "no runners"));
    const struct {
        const char* name;
        std::string bytes;
        Outcome outcome;
    } cases[] = {
        {"readme.tlb", "This is not a type library.\r\n", Outcome::EntryFailed},
        {"msft.tlb", "MSFT\x02\x00\x01\x00", Outcome::RunnerUnavailable},
        {"sltg.tlb", "SLTG\x01\x00", Outcome::RunnerUnavailable},
        {"program.dll", testsupport::ReadBytes(ComponentPath(VELQUIST_NOENTRY_DLL)), Outcome::RunnerUnavailable},
        {"cut.dll", "MZ", Outcome::EntryFailed},  // no program file either
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(testsupport::WriteBytes(dir / c.name, c.bytes));
        runner::TypeLibraryFacts facts;
        const auto result = nowhere.ProbeTypeLibrary(dir / c.name, facts);
        EXPECT_EQ(result.outcome, c.outcome) << c.name << ": " << modRegister::Describe(result);
        EXPECT_TRUE(result.typeLibrary) << c.name;
    }
}

TEST_F(ModRegisterTest, AFileWithoutExtensionIsLoadedItselfNotItsDllSibling) {
    testsupport::TempDir dir;
    // "component" fails its registration; "component.dll" beside it would succeed.
    ASSERT_TRUE(testsupport::CopyTo(ComponentPath(VELQUIST_FAILING_DLL), dir / "component"));
    ASSERT_TRUE(testsupport::CopyTo(ComponentPath(VELQUIST_COMSERVER2_DLL), dir / "component.dll"));
    EXPECT_TRUE(modRegister::IsDLLActiveX(testsupport::Runners(), dir / "component"));
    const auto result = modRegister::CallServerEntry(testsupport::Runners(), dir / "component", true);
    EXPECT_EQ(result.outcome, Outcome::EntryFailed) << modRegister::Describe(result);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ClassKey(VELQUIST_COMSERVER2_CLSID)));

    // And the other way round: the extensionless file is the good one.
    ASSERT_TRUE(testsupport::CopyTo(ComponentPath(VELQUIST_COMSERVER_DLL), dir / "other"));
    ASSERT_TRUE(testsupport::CopyTo(ComponentPath(VELQUIST_FAILING_DLL), dir / "other.dll"));
    EXPECT_TRUE(modRegister::RunServerEntry(testsupport::Runners(), dir / "other", true));
    EXPECT_TRUE(modRegister::RunServerEntry(testsupport::Runners(), dir / "other", false));
}

TEST_F(ModRegisterTest, DependenciesAreFoundBesideTheComponentAndNeverInTheCurrentFolder) {
    const std::string deps = testsupport::ComponentDir() + "\\" VELQUIST_DEPS_FOLDER "\\";
    testsupport::TempDir elsewhere;
    {
        CurrentDirectory cwd(elsewhere.Path());
        EXPECT_TRUE(modRegister::IsDLLActiveX(testsupport::Runners(), deps + VELQUIST_WITHDEP_DLL));
        EXPECT_TRUE(modRegister::RunServerEntry(testsupport::Runners(), deps + VELQUIST_WITHDEP_DLL, true));
        EXPECT_TRUE(modRegister::RunServerEntry(testsupport::Runners(), deps + VELQUIST_WITHDEP_DLL, false));
        // A relative path works too, against the current folder.
        ASSERT_TRUE(testsupport::CopyTo(deps + VELQUIST_WITHDEP_DLL, elsewhere / VELQUIST_WITHDEP_DLL));
        ASSERT_TRUE(testsupport::CopyTo(deps + VELQUIST_DEPHELPER_DLL, elsewhere / VELQUIST_DEPHELPER_DLL));
        EXPECT_TRUE(modRegister::RunServerEntry(testsupport::Runners(), VELQUIST_WITHDEP_DLL, true));
    }
    EXPECT_FALSE(Loaded(deps + VELQUIST_WITHDEP_DLL));
    EXPECT_FALSE(Loaded(deps + VELQUIST_DEPHELPER_DLL));

    // The dependency only in the current folder: not found.
    testsupport::TempDir lonely;
    ASSERT_TRUE(testsupport::CopyTo(deps + VELQUIST_WITHDEP_DLL, lonely / VELQUIST_WITHDEP_DLL));
    CurrentDirectory cwd(elsewhere.Path());
    const auto result = modRegister::ProbeComponent(testsupport::Runners(), lonely / VELQUIST_WITHDEP_DLL);
    EXPECT_EQ(result.outcome, Outcome::LoadFailed) << modRegister::Describe(result);
    EXPECT_EQ(result.missingLibrary, VELQUIST_DEPHELPER_DLL);  // the explanation does not look there either
    EXPECT_FALSE(modRegister::RunServerEntry(testsupport::Runners(), lonely / VELQUIST_WITHDEP_DLL, true));
}

TEST_F(ModRegisterTest, NonAsciiPathsWork) {
    ASSERT_EQ(::GetACP(), 65001u);
    testsupport::TempDir dir;
    const std::string folder = dir / "\xC3\x9Cn\xC3\xAF" "code \xE2\x9C\x93";
    ASSERT_TRUE(testsupport::MakeDirs(folder));
    const std::string path = folder + "\\k\xC3\xB6mponent.dll";
    ASSERT_TRUE(testsupport::CopyTo(ComponentPath(VELQUIST_COMSERVER_DLL), path));
    EXPECT_TRUE(modRegister::IsDLLActiveX(testsupport::Runners(), path));
    EXPECT_TRUE(modRegister::RunServerEntry(testsupport::Runners(), path, true));
    EXPECT_EQ(_stricmp(StringValue(HKEY_CLASSES_ROOT, ClassKey(VELQUIST_COMSERVER_CLSID) + "\\InprocServer32").c_str(),
                       path.c_str()),
              0);
    EXPECT_TRUE(modRegister::RunServerEntry(testsupport::Runners(), path, false));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ClassKey(VELQUIST_COMSERVER_CLSID)));
    EXPECT_FALSE(Loaded(path));
}

TEST_F(ModRegisterTest, AnEntryPointThatOverrunsIsEndedAfterTheLimit) {
    const std::string path = ComponentPath(VELQUIST_BLOCKING_DLL);
    EXPECT_TRUE(modRegister::IsDLLActiveX(testsupport::Runners(), path));
    const DWORD runner = testsupport::Runners().RunnerProcessId(OwnMachine());
    ASSERT_NE(runner, 0u);
    const ULONGLONG start = ::GetTickCount64();
    const auto result = modRegister::CallServerEntry(testsupport::Runners(), path, true, kShortLimitMs);
    const ULONGLONG elapsed = ::GetTickCount64() - start;
    EXPECT_EQ(result.outcome, Outcome::TimedOut);
    EXPECT_GE(elapsed, kShortLimitMs - 50);
    EXPECT_LT(elapsed, kShortLimitMs + 1500);  // one limit: a request that overran is not tried again
    EXPECT_EQ(testsupport::Runners().RunnerProcessId(OwnMachine()), 0u);  // that runner was ended
    EXPECT_TRUE(ProcessGone(runner));
    EXPECT_FALSE(modRegister::RunServerEntry(testsupport::Runners(), path, false, kShortLimitMs));

    // A DllMain that never returns: the probe's load has the same limit.
    const auto hung = modRegister::ProbeComponent(testsupport::Runners(), ComponentPath(VELQUIST_HANGINIT_DLL), kShortLimitMs);
    EXPECT_EQ(hung.outcome, Outcome::TimedOut);

    // Later calls work.
    EXPECT_TRUE(modRegister::RunServerEntry(testsupport::Runners(), ComponentPath(VELQUIST_COMSERVER_DLL), true));
    EXPECT_TRUE(modRegister::RunServerEntry(testsupport::Runners(), ComponentPath(VELQUIST_COMSERVER_DLL), false));
}

// Each way a component can end its runner costs only its own request, is noticed at once, and shows
// no dialog; the next component registers in a fresh runner.
TEST_F(ModRegisterTest, AComponentThatEndsItsRunnerCostsOnlyItsOwnRequest) {
    struct Case {
        const char* dll;
        bool registerFlag;
        Outcome outcome;
        DWORD code;  // 0: any
    };
    const Case cases[] = {
        {VELQUIST_CRASHING_DLL, true, Outcome::Crashed, static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION)},
        {VELQUIST_CRASHING_DLL, false, Outcome::Crashed, static_cast<DWORD>(VELQUIST_CRASHING_UNREGISTER_CODE)},
        {VELQUIST_STACKOVERFLOW_DLL, true, Outcome::Crashed, static_cast<DWORD>(EXCEPTION_STACK_OVERFLOW)},
        {VELQUIST_EXITPROCESS_DLL, true, Outcome::ProcessEnded, 3},
        {VELQUIST_CPPTHROW_DLL, true, Outcome::ProcessEnded, 0},
    };
    for (const Case& c : cases) {
        const ULONGLONG start = ::GetTickCount64();
        const auto result = modRegister::CallServerEntry(testsupport::Runners(), ComponentPath(c.dll), c.registerFlag);
        EXPECT_LT(::GetTickCount64() - start, 5000u) << c.dll;  // noticed at once, not at the limit
        EXPECT_EQ(result.outcome, c.outcome) << c.dll << ": " << modRegister::Describe(result);
        if (c.code != 0) {
            EXPECT_EQ(result.code, c.code) << c.dll;
        }
        EXPECT_TRUE(modRegister::RunServerEntry(testsupport::Runners(), ComponentPath(VELQUIST_COMSERVER_DLL), true)) << "after " << c.dll;
    }
    EXPECT_TRUE(modRegister::RunServerEntry(testsupport::Runners(), ComponentPath(VELQUIST_COMSERVER_DLL), false));
    EXPECT_FALSE(DebuggerStarted());
}

// A thread the component left running faults after its success was reported: the component counts as
// registered, and the next one still registers (its request is tried again in a fresh runner).
TEST_F(ModRegisterTest, AStrayThreadOfOneComponentDoesNotFailTheNext) {
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(modRegister::RunServerEntry(testsupport::Runners(), ComponentPath(VELQUIST_STRAYTHREAD_DLL), true));
        ::Sleep(i * 200);  // the fault lands before, during and after the next request
        EXPECT_TRUE(modRegister::RunServerEntry(testsupport::Runners(), ComponentPath(VELQUIST_COMSERVER_DLL), true)) << i;
    }
    EXPECT_TRUE(modRegister::RunServerEntry(testsupport::Runners(), ComponentPath(VELQUIST_COMSERVER_DLL), false));
    EXPECT_FALSE(DebuggerStarted());
}

// The waiting thread answers messages sent to its windows, so a component's broadcast is not held up.
TEST_F(ModRegisterTest, ABroadcastFromTheEntryPointIsAnsweredWhileWaiting) {
    win32::unique_hwnd window(::CreateWindowExA(0, "STATIC", "Velquist broadcast target", WS_OVERLAPPED, 0, 0, 50, 50,
                                                nullptr, nullptr, nullptr, nullptr));
    ASSERT_TRUE(window);
    const ULONGLONG start = ::GetTickCount64();
    EXPECT_TRUE(modRegister::RunServerEntry(testsupport::Runners(), ComponentPath(VELQUIST_BROADCAST_DLL), true));
    EXPECT_LT(::GetTickCount64() - start, 3000u);
}

// A load that fails for an unmet import says which, for the probe and the call alike, from the runner of
// the component's bitness (only there do the dependencies of the other bitness count as found).
TEST_F(ModRegisterTest, AFailedLoadNamesTheImportBehindIt) {
    const std::string deep = VELQUIST_MISSINGDEEP_FOLDER "\\" VELQUIST_MISSINGDEEP_DLL;
    const struct {
        std::string path;
        DWORD code;
        const char* library;
        const char* neededBy;
    } cases[] = {
        {ComponentPath(VELQUIST_MISSINGDEP_DLL), ERROR_MOD_NOT_FOUND, VELQUIST_MISSINGDEP_GHOST_DLL,
         VELQUIST_MISSINGDEP_DLL},
        {ComponentPath(deep), ERROR_MOD_NOT_FOUND, VELQUIST_MISSINGDEEP_GHOST_DLL, VELQUIST_MISSINGDEEP_HELPER_DLL},
        {testsupport::OtherComponentPath(deep), ERROR_MOD_NOT_FOUND, VELQUIST_MISSINGDEEP_GHOST_DLL,
         VELQUIST_MISSINGDEEP_HELPER_DLL},
        {ComponentPath(VELQUIST_INITFAILS_DLL), ERROR_DLL_INIT_FAILED, "", ""},  // no import to blame
    };
    for (const auto& c : cases) {
        for (const bool probe : {true, false}) {
            const auto result =
                probe ? modRegister::ProbeComponent(testsupport::Runners(), c.path) : modRegister::CallServerEntry(testsupport::Runners(), c.path, true);
            const std::string what = c.path + (probe ? " (probe)" : " (call)");
            EXPECT_EQ(result.outcome, Outcome::LoadFailed) << what << ": " << modRegister::Describe(result);
            EXPECT_EQ(result.code, c.code) << what;
            EXPECT_EQ(result.missingLibrary, c.library) << what;
            EXPECT_EQ(result.missingFunction, "") << what;
            EXPECT_EQ(result.neededBy, c.neededBy) << what;
        }
    }
}

// The walk behind those answers, run here (this process has the components' bitness) on a function
// that a present library lacks: Wine loads such a component with a stub in its place, so its runner
// never sees the ERROR_PROC_NOT_FOUND that Windows gives.
TEST(LoadDiagnosis, NamesTheFirstUnmetImportOfTheKindTheErrorNames) {
    const std::string component = ComponentPath(VELQUIST_MISSINGFUNCTION_DLL);
    testsupport::TempDir alone;  // the component without its helper
    ASSERT_TRUE(testsupport::CopyTo(component, alone / VELQUIST_MISSINGFUNCTION_DLL));
    // A helper of that name that exports neither function and itself needs a library found nowhere.
    testsupport::TempDir both;
    ASSERT_TRUE(testsupport::CopyTo(component, both / VELQUIST_MISSINGFUNCTION_DLL));
    ASSERT_TRUE(testsupport::CopyTo(ComponentPath(VELQUIST_MISSINGDEEP_FOLDER "\\" VELQUIST_MISSINGDEEP_HELPER_DLL),
                                    both / VELQUIST_MISSINGFUNCTION_HELPER_DLL));
    // A helper of the other bitness beside the component satisfies nothing.
    testsupport::TempDir mixed;
    const std::string deps = VELQUIST_DEPS_FOLDER "\\";
    ASSERT_TRUE(testsupport::CopyTo(ComponentPath(deps + VELQUIST_WITHDEP_DLL), mixed / VELQUIST_WITHDEP_DLL));
    ASSERT_TRUE(testsupport::CopyTo(testsupport::OtherComponentPath(deps + VELQUIST_DEPHELPER_DLL),
                                    mixed / VELQUIST_DEPHELPER_DLL));
    const struct {
        std::string path;
        DWORD error;
        runner::LoadDetail expected;
    } cases[] = {
        {component, ERROR_PROC_NOT_FOUND,
         {VELQUIST_MISSINGFUNCTION_HELPER_DLL, VELQUIST_MISSINGFUNCTION_NAME, VELQUIST_MISSINGFUNCTION_DLL}},
        {alone / VELQUIST_MISSINGFUNCTION_DLL, ERROR_PROC_NOT_FOUND,
         {VELQUIST_MISSINGFUNCTION_HELPER_DLL, "", VELQUIST_MISSINGFUNCTION_DLL}},
        {both / VELQUIST_MISSINGFUNCTION_DLL, ERROR_PROC_NOT_FOUND,
         {VELQUIST_MISSINGFUNCTION_HELPER_DLL, "PresentFunction", VELQUIST_MISSINGFUNCTION_DLL}},
        {both / VELQUIST_MISSINGFUNCTION_DLL, ERROR_MOD_NOT_FOUND,
         {VELQUIST_MISSINGDEEP_GHOST_DLL, "", VELQUIST_MISSINGFUNCTION_HELPER_DLL}},
        {mixed / VELQUIST_WITHDEP_DLL, ERROR_MOD_NOT_FOUND, {VELQUIST_DEPHELPER_DLL, "", VELQUIST_WITHDEP_DLL}},
        {ComponentPath(deps + VELQUIST_WITHDEP_DLL), ERROR_MOD_NOT_FOUND, {}},  // nothing unmet
    };
    for (const auto& c : cases) {
        const runner::LoadDetail found = runner::FindUnmetImport(c.path, c.error);
        EXPECT_EQ(found.library, c.expected.library) << c.path << " " << c.error;
        EXPECT_EQ(found.function, c.expected.function) << c.path << " " << c.error;
        EXPECT_EQ(found.neededBy, c.expected.neededBy) << c.path << " " << c.error;
    }
}

// The detail after a reply: what the runner encodes arrives whole; bytes of any other shape arrive as nothing.
TEST(RunnerProtocol, OnlyAWellFormedDetailIsTaken) {
    const runner::LoadDetail detail{"msvcr71.dll", "#12", "k\xC3\xB6mponent.dll"};
    const runner::LoadDetail back = runner::DecodeDetail(runner::EncodeDetail(detail));
    EXPECT_EQ(back.library, detail.library);
    EXPECT_EQ(back.function, detail.function);
    EXPECT_EQ(back.neededBy, detail.neededBy);
    using namespace std::string_literals;
    for (const std::string& garbled : {"a.dll"s, "a.dll\0f\0"s, "a.dll\0\0b.dll\0extra"s, "\0\0b.dll\0"s}) {
        EXPECT_TRUE(runner::DecodeDetail(garbled).Empty()) << garbled;
    }
    EXPECT_EQ(runner::EncodeDetail({std::string(runner::kMaxDetailBytes, 'x'), "", ""}), "");
}

// Each program serves the other bitness through the other's runner; the keys land in that bitness's view.
TEST_F(ModRegisterTest, AComponentOfTheOtherBitnessIsRegisteredInItsOwnView) {
    VELQUIST_ASSERT_OTHER_BITNESS_RUNS();
    const std::string path = testsupport::OtherComponentPath(VELQUIST_COMSERVER_DLL);
    const auto probe = modRegister::ProbeComponent(testsupport::Runners(), path);
    ASSERT_EQ(probe.outcome, Outcome::Success) << modRegister::Describe(probe);
    EXPECT_EQ(probe.machine, OtherMachine());
    EXPECT_NE(testsupport::Runners().RunnerProcessId(OtherMachine()), 0u);
    EXPECT_TRUE(modRegister::RunServerEntry(testsupport::Runners(), path, true));
    const std::string server = ClassKey(VELQUIST_COMSERVER_CLSID) + "\\InprocServer32";
    EXPECT_EQ(_stricmp(StringValue(HKEY_CLASSES_ROOT, server, nullptr, kOtherView).c_str(), path.c_str()), 0);
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, server), testsupport::kNoKey);  // not in this bitness's view
    EXPECT_TRUE(modRegister::RunServerEntry(testsupport::Runners(), path, false));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ClassKey(VELQUIST_COMSERVER_CLSID), kOtherView));
    EXPECT_EQ(modRegister::CallServerEntry(testsupport::Runners(), testsupport::OtherComponentPath(VELQUIST_FAILING_DLL), true).code,
              static_cast<DWORD>(SELFREG_E_CLASS));
}

// The runners end with the program, however it ends: here it is killed outright.
TEST(ModRegisterDeathTest, NoRunnerOutlivesAKilledProgram) {
    // The child is this program started again, up to here: the file is the one the parent named.
    char file[MAX_PATH * 4] = {};
    if (::GetEnvironmentVariableA("VELQUIST_TEST_PIDS", file, sizeof file) == 0) {
        char temp[MAX_PATH + 1] = {};
        ::GetTempPathA(MAX_PATH, temp);
        const std::string name = std::string(temp) + "velquist-pids-" + std::to_string(::GetCurrentProcessId());
        ::SetEnvironmentVariableA("VELQUIST_TEST_PIDS", name.c_str());
        std::snprintf(file, sizeof file, "%s", name.c_str());
    }
    const std::string pids = file;
    ::DeleteFileA(pids.c_str());
    EXPECT_EXIT(
        {
            modRegister::IsDLLActiveX(testsupport::Runners(), ComponentPath(VELQUIST_COMSERVER_DLL));
            modRegister::IsDLLActiveX(testsupport::Runners(), testsupport::OtherComponentPath(VELQUIST_COMSERVER_DLL));
            const std::string text = std::to_string(testsupport::Runners().RunnerProcessId(OwnMachine())) + " " +
                                     std::to_string(testsupport::Runners().RunnerProcessId(OtherMachine()));
            testsupport::WriteBytes(file, text);
            ::TerminateProcess(::GetCurrentProcess(), 7);
        },
        ::testing::ExitedWithCode(7), "");
    const std::string text = testsupport::ReadBytes(pids);
    ::DeleteFileA(pids.c_str());
    const auto space = text.find(' ');
    ASSERT_NE(space, std::string::npos) << text;
    for (const std::string& pid : {text.substr(0, space), text.substr(space + 1)}) {
        ASSERT_NE(std::stoul(pid), 0u) << text;
        EXPECT_TRUE(ProcessGone(static_cast<DWORD>(std::stoul(pid)))) << pid;
    }
}

}  // namespace
