// The probe and the registration call on the test components, under the real loader and registry.
#include <gtest/gtest.h>

#include <windows.h>
#include <olectl.h>

#include <string>

#include "TestComponents.h"
#include "TestSupport.h"
#include "registration/modRegister.h"

using modRegister::Outcome;
using testsupport::ComponentPath;

namespace {

constexpr DWORD kShortLimitMs = 1500;

std::string ReadString(const std::string& subKey, const char* valueName) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return "<no key>";
    char value[4 * MAX_PATH] = {};
    DWORD size = sizeof value - 1;
    DWORD type = 0;
    const LONG status = ::RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    ::RegCloseKey(key);
    return status == ERROR_SUCCESS && type == REG_SZ ? std::string(value) : "<no value>";
}

bool KeyExists(const std::string& subKey) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    ::RegCloseKey(key);
    return true;
}

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
        ::RegDeleteTreeA(HKEY_CLASSES_ROOT, ClassKey(VELQUIST_COMSERVER_CLSID).c_str());
        ::RegDeleteTreeA(HKEY_CLASSES_ROOT, ClassKey(VELQUIST_COMSERVER2_CLSID).c_str());
    }
};

TEST_F(ModRegisterTest, ComServerWritesAndRemovesItsClassKeysAndLeavesNothingLoaded) {
    const std::string path = ComponentPath(VELQUIST_COMSERVER_DLL);
    const std::string key = ClassKey(VELQUIST_COMSERVER_CLSID);
    EXPECT_TRUE(modRegister::IsDLLActiveX(path));
    EXPECT_FALSE(Loaded(path));

    // The component registers only in a single-threaded apartment, so this also proves the worker's COM set-up.
    const auto registered = modRegister::CallServerEntry(path, true);
    EXPECT_EQ(registered.outcome, Outcome::Success) << modRegister::Describe(registered);
    EXPECT_FALSE(Loaded(path));
    EXPECT_EQ(ReadString(key, nullptr), VELQUIST_COMSERVER_NAME);
    EXPECT_EQ(_stricmp(ReadString(key + "\\InprocServer32", nullptr).c_str(), path.c_str()), 0)
        << ReadString(key + "\\InprocServer32", nullptr);
    EXPECT_EQ(ReadString(key + "\\InprocServer32", "ThreadingModel"), "Apartment");
    EXPECT_FALSE(KeyExists(ClassKey(VELQUIST_COMSERVER2_CLSID)));

    // Twice in a row is fine, and the second component writes its own class.
    EXPECT_TRUE(modRegister::RunServerEntry(path, true));
    EXPECT_TRUE(modRegister::RunServerEntry(ComponentPath(VELQUIST_COMSERVER2_DLL), true));
    EXPECT_EQ(ReadString(ClassKey(VELQUIST_COMSERVER2_CLSID), nullptr), VELQUIST_COMSERVER2_NAME);

    EXPECT_TRUE(modRegister::RunServerEntry(path, false));
    EXPECT_FALSE(KeyExists(key));
    EXPECT_TRUE(KeyExists(ClassKey(VELQUIST_COMSERVER2_CLSID)));
    EXPECT_TRUE(modRegister::RunServerEntry(ComponentPath(VELQUIST_COMSERVER2_DLL), false));
    EXPECT_FALSE(KeyExists(ClassKey(VELQUIST_COMSERVER2_CLSID)));
    EXPECT_FALSE(Loaded(path));
    EXPECT_FALSE(Loaded(ComponentPath(VELQUIST_COMSERVER2_DLL)));

    // Thread, file and mapping handles are all closed again.
    EXPECT_TRUE(modRegister::RunServerEntry(path, true));  // first-use set-up of COM and the like
    EXPECT_TRUE(modRegister::RunServerEntry(path, false));
    const int before = OpenHandleCount();
    EXPECT_GT(before, 0);
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(modRegister::IsDLLActiveX(path));
        EXPECT_TRUE(modRegister::RunServerEntry(path, true));
        EXPECT_TRUE(modRegister::RunServerEntry(path, false));
    }
    EXPECT_EQ(OpenHandleCount(), before);
}

TEST_F(ModRegisterTest, EachFaultOfAComponentGivesFalseWithItsReason) {
    const std::string failing = ComponentPath(VELQUIST_FAILING_DLL);
    EXPECT_TRUE(modRegister::IsDLLActiveX(failing));
    auto result = modRegister::CallServerEntry(failing, true);
    EXPECT_EQ(result.outcome, Outcome::EntryFailed);
    EXPECT_EQ(result.code, static_cast<DWORD>(SELFREG_E_CLASS));
    EXPECT_FALSE(modRegister::RunServerEntry(failing, false));
    EXPECT_FALSE(Loaded(failing));

    const std::string noUnregister = ComponentPath(VELQUIST_NOUNREGISTER_DLL);
    EXPECT_TRUE(modRegister::IsDLLActiveX(noUnregister));
    EXPECT_TRUE(modRegister::RunServerEntry(noUnregister, true));
    EXPECT_EQ(modRegister::CallServerEntry(noUnregister, false).outcome, Outcome::EntryMissing);
    EXPECT_FALSE(Loaded(noUnregister));

    const std::string initFails = ComponentPath(VELQUIST_INITFAILS_DLL);
    EXPECT_EQ(modRegister::ProbeComponent(initFails).outcome, Outcome::LoadFailed);
    EXPECT_FALSE(modRegister::RunServerEntry(initFails, true));

    const auto noEntry = modRegister::ProbeComponent(ComponentPath(VELQUIST_NOENTRY_DLL));
    EXPECT_EQ(noEntry.outcome, Outcome::NotComponent);
    EXPECT_EQ(noEntry.headers, peexports::ExportCheck::NameAbsent);
    EXPECT_FALSE(Loaded(ComponentPath(VELQUIST_NOENTRY_DLL)));  // ruled out without loading

    const auto missingDep = modRegister::ProbeComponent(ComponentPath(VELQUIST_MISSINGDEP_DLL));
    EXPECT_EQ(missingDep.outcome, Outcome::LoadFailed);
    EXPECT_EQ(missingDep.code, static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_FALSE(modRegister::RunServerEntry(ComponentPath(VELQUIST_MISSINGDEP_DLL), true));

    const auto missingFile = modRegister::ProbeComponent(ComponentPath("no-such-file.dll"));
    EXPECT_EQ(missingFile.outcome, Outcome::LoadFailed);
    EXPECT_EQ(missingFile.code, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(modRegister::IsDLLActiveX(""));
    EXPECT_FALSE(modRegister::RunServerEntry("", true));
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
        const auto result = modRegister::ProbeComponent(dir / name);
        EXPECT_EQ(result.outcome, Outcome::NotComponent) << name << ": " << modRegister::Describe(result);
        EXPECT_FALSE(modRegister::RunServerEntry(dir / name, true)) << name;
    }
    // The program itself is no DLL.
    char self[MAX_PATH * 4] = {};
    ::GetModuleFileNameA(nullptr, self, sizeof self);
    EXPECT_EQ(modRegister::ProbeComponent(self).headers, peexports::ExportCheck::NotDll);

    // A component under another extension is still one.
    ASSERT_TRUE(testsupport::CopyTo(ComponentPath(VELQUIST_COMSERVER_DLL), dir / "comserver.bin"));
    EXPECT_TRUE(modRegister::IsDLLActiveX(dir / "comserver.bin"));
    EXPECT_TRUE(modRegister::RunServerEntry(dir / "comserver.bin", true));
    EXPECT_EQ(_stricmp(ReadString(ClassKey(VELQUIST_COMSERVER_CLSID) + "\\InprocServer32", nullptr).c_str(),
                       (dir / "comserver.bin").c_str()),
              0);
    EXPECT_TRUE(modRegister::RunServerEntry(dir / "comserver.bin", false));
}

TEST_F(ModRegisterTest, AFileWithoutExtensionIsLoadedItselfNotItsDllSibling) {
    testsupport::TempDir dir;
    // "component" fails its registration; "component.dll" beside it would succeed.
    ASSERT_TRUE(testsupport::CopyTo(ComponentPath(VELQUIST_FAILING_DLL), dir / "component"));
    ASSERT_TRUE(testsupport::CopyTo(ComponentPath(VELQUIST_COMSERVER2_DLL), dir / "component.dll"));
    EXPECT_TRUE(modRegister::IsDLLActiveX(dir / "component"));
    const auto result = modRegister::CallServerEntry(dir / "component", true);
    EXPECT_EQ(result.outcome, Outcome::EntryFailed) << modRegister::Describe(result);
    EXPECT_FALSE(KeyExists(ClassKey(VELQUIST_COMSERVER2_CLSID)));

    // And the other way round: the extensionless file is the good one.
    ASSERT_TRUE(testsupport::CopyTo(ComponentPath(VELQUIST_COMSERVER_DLL), dir / "other"));
    ASSERT_TRUE(testsupport::CopyTo(ComponentPath(VELQUIST_FAILING_DLL), dir / "other.dll"));
    EXPECT_TRUE(modRegister::RunServerEntry(dir / "other", true));
    EXPECT_TRUE(modRegister::RunServerEntry(dir / "other", false));
}

TEST_F(ModRegisterTest, DependenciesAreFoundBesideTheComponentAndNeverInTheCurrentFolder) {
    const std::string deps = testsupport::ComponentDir() + "\\" VELQUIST_DEPS_FOLDER "\\";
    testsupport::TempDir elsewhere;
    {
        CurrentDirectory cwd(elsewhere.Path());
        EXPECT_TRUE(modRegister::IsDLLActiveX(deps + VELQUIST_WITHDEP_DLL));
        EXPECT_TRUE(modRegister::RunServerEntry(deps + VELQUIST_WITHDEP_DLL, true));
        EXPECT_TRUE(modRegister::RunServerEntry(deps + VELQUIST_WITHDEP_DLL, false));
        // A relative path works too, against the current folder.
        ASSERT_TRUE(testsupport::CopyTo(deps + VELQUIST_WITHDEP_DLL, elsewhere / VELQUIST_WITHDEP_DLL));
        ASSERT_TRUE(testsupport::CopyTo(deps + VELQUIST_DEPHELPER_DLL, elsewhere / VELQUIST_DEPHELPER_DLL));
        EXPECT_TRUE(modRegister::RunServerEntry(VELQUIST_WITHDEP_DLL, true));
    }
    EXPECT_FALSE(Loaded(deps + VELQUIST_WITHDEP_DLL));
    EXPECT_FALSE(Loaded(deps + VELQUIST_DEPHELPER_DLL));

    // The dependency only in the current folder: not found.
    testsupport::TempDir lonely;
    ASSERT_TRUE(testsupport::CopyTo(deps + VELQUIST_WITHDEP_DLL, lonely / VELQUIST_WITHDEP_DLL));
    CurrentDirectory cwd(elsewhere.Path());
    const auto result = modRegister::ProbeComponent(lonely / VELQUIST_WITHDEP_DLL);
    EXPECT_EQ(result.outcome, Outcome::LoadFailed) << modRegister::Describe(result);
    EXPECT_FALSE(modRegister::RunServerEntry(lonely / VELQUIST_WITHDEP_DLL, true));
}

TEST_F(ModRegisterTest, NonAsciiPathsWork) {
    ASSERT_EQ(::GetACP(), 65001u);
    testsupport::TempDir dir;
    const std::string folder = dir / "\xC3\x9Cn\xC3\xAF" "code \xE2\x9C\x93";
    ASSERT_TRUE(testsupport::MakeDirs(folder));
    const std::string path = folder + "\\k\xC3\xB6mponent.dll";
    ASSERT_TRUE(testsupport::CopyTo(ComponentPath(VELQUIST_COMSERVER_DLL), path));
    EXPECT_TRUE(modRegister::IsDLLActiveX(path));
    EXPECT_TRUE(modRegister::RunServerEntry(path, true));
    EXPECT_EQ(_stricmp(ReadString(ClassKey(VELQUIST_COMSERVER_CLSID) + "\\InprocServer32", nullptr).c_str(),
                       path.c_str()),
              0);
    EXPECT_TRUE(modRegister::RunServerEntry(path, false));
    EXPECT_FALSE(KeyExists(ClassKey(VELQUIST_COMSERVER_CLSID)));
    EXPECT_FALSE(Loaded(path));
}

TEST_F(ModRegisterTest, AnEntryPointThatOverrunsIsEndedAfterTheLimit) {
    const std::string path = ComponentPath(VELQUIST_BLOCKING_DLL);
    EXPECT_TRUE(modRegister::IsDLLActiveX(path));
    const ULONGLONG start = ::GetTickCount64();
    const auto result = modRegister::CallServerEntry(path, true, kShortLimitMs);
    const ULONGLONG elapsed = ::GetTickCount64() - start;
    EXPECT_EQ(result.outcome, Outcome::TimedOut);
    EXPECT_GE(elapsed, kShortLimitMs - 50);
    EXPECT_LT(elapsed, kShortLimitMs + 1500);
    EXPECT_FALSE(modRegister::RunServerEntry(path, false, kShortLimitMs));

    // Later calls work.
    EXPECT_TRUE(modRegister::RunServerEntry(ComponentPath(VELQUIST_COMSERVER_DLL), true));
    EXPECT_TRUE(modRegister::RunServerEntry(ComponentPath(VELQUIST_COMSERVER_DLL), false));
}

TEST_F(ModRegisterTest, AComponentThreadStillRunningAfterTheTimeOutKeepsItsCode) {
    const std::string path = ComponentPath(VELQUIST_BLOCKINGTHREAD_DLL);
    const auto result = modRegister::CallServerEntry(path, true, kShortLimitMs);
    EXPECT_EQ(result.outcome, Outcome::TimedOut);

    // The component's own thread runs on in its code, which must therefore still be there.
    const HMODULE module = ::GetModuleHandleA(path.c_str());
    ASSERT_NE(module, nullptr);
    using SpinCountFunction = LONG(WINAPI*)();
    const auto spinCount =
        reinterpret_cast<SpinCountFunction>(reinterpret_cast<void*>(::GetProcAddress(module, "SpinCount")));
    ASSERT_NE(spinCount, nullptr);
    const LONG before = spinCount();
    ::Sleep(300);
    EXPECT_GT(spinCount(), before);

    // Probing it again (load and release) does not unload it from under that thread.
    EXPECT_TRUE(modRegister::IsDLLActiveX(path));
    ::Sleep(100);
    EXPECT_NE(::GetModuleHandleA(path.c_str()), nullptr);
    EXPECT_GT(spinCount(), before);
    EXPECT_TRUE(modRegister::RunServerEntry(ComponentPath(VELQUIST_COMSERVER_DLL), true));
    EXPECT_TRUE(modRegister::RunServerEntry(ComponentPath(VELQUIST_COMSERVER_DLL), false));
}

TEST_F(ModRegisterTest, ACrashInTheEntryPointEndsOnlyTheWorker) {
    const std::string path = ComponentPath(VELQUIST_CRASHING_DLL);
    EXPECT_TRUE(modRegister::IsDLLActiveX(path));
    const ULONGLONG start = ::GetTickCount64();
    const auto result = modRegister::CallServerEntry(path, true);
    EXPECT_LT(::GetTickCount64() - start, 5000u);  // noticed at once, not at the limit
    EXPECT_EQ(result.outcome, Outcome::Crashed);
    EXPECT_EQ(result.code, static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
    const auto raised = modRegister::CallServerEntry(path, false);  // any exception nobody handles
    EXPECT_EQ(raised.outcome, Outcome::Crashed);
    EXPECT_EQ(raised.code, static_cast<DWORD>(VELQUIST_CRASHING_UNREGISTER_CODE));
    EXPECT_FALSE(modRegister::RunServerEntry(path, true));  // and again

    EXPECT_TRUE(modRegister::RunServerEntry(ComponentPath(VELQUIST_COMSERVER_DLL), true));
    EXPECT_TRUE(modRegister::RunServerEntry(ComponentPath(VELQUIST_COMSERVER_DLL), false));
    EXPECT_TRUE(modRegister::RunServerEntry(ComponentPath(VELQUIST_FAILING_DLL), true) == false);
}

}  // namespace

namespace {

// Runs in a child process (a death test): the component leaves the loader locked for good, and ending
// such a process normally would wait for the loader for ever, on Windows as here.
TEST(ModRegisterDeathTest, AWorkerEndedInsideTheLoaderMakesLaterLoadsFailNotHang) {
    const std::string hazards = testsupport::ComponentDir() + "\\" VELQUIST_HAZARDS_FOLDER "\\";
    EXPECT_EXIT(
        {
            // Ruled out by its headers: never loaded, so its initialisation never runs.
            const auto stuckProbe = modRegister::ProbeComponent(hazards + VELQUIST_STUCKINIT_DLL);
            if (stuckProbe.outcome != Outcome::NotComponent) ::TerminateProcess(::GetCurrentProcess(), 10);
            const auto stuck = modRegister::CallServerEntry(hazards + VELQUIST_LOADERBLOCK_DLL, true, kShortLimitMs);
            if (stuck.outcome != Outcome::TimedOut) ::TerminateProcess(::GetCurrentProcess(), 11);
            const ULONGLONG start = ::GetTickCount64();
            const auto later = modRegister::ProbeComponent(ComponentPath(VELQUIST_COMSERVER_DLL));
            const bool failedInTime = later.outcome == Outcome::LoadFailed && later.code == ERROR_POSSIBLE_DEADLOCK &&
                                      ::GetTickCount64() - start < 5000;
            const bool callFails = !modRegister::RunServerEntry(ComponentPath(VELQUIST_COMSERVER_DLL), true);
            ::TerminateProcess(::GetCurrentProcess(), failedInTime && callFails ? 7 : 12);
        },
        ::testing::ExitedWithCode(7), "");
}

}  // namespace
