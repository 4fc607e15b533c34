// Registration for the current user only, with the real test COM server of each bitness.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "TestComponents.h"
#include "TestSupport.h"
#include "runner/RunnerClient.h"
#include "registration/modRegister.h"

using modRegister::Outcome;
using testsupport::ComponentPath;
using testsupport::KeyExists;

namespace {

constexpr char kClasses[] = "Software\\Classes";
constexpr char kClassKey[] = "Software\\Classes\\CLSID\\" VELQUIST_COMSERVER_CLSID;

#if defined(_M_X64) || defined(__x86_64__)
constexpr REGSAM kOwnView = KEY_WOW64_64KEY;
constexpr REGSAM kOtherView = KEY_WOW64_32KEY;
constexpr std::uint16_t kOwnMachine = peexports::kMachineAmd64;
constexpr char kOwnRunner[] = "velquist64.exe";
#else
constexpr REGSAM kOwnView = KEY_WOW64_32KEY;
constexpr REGSAM kOtherView = KEY_WOW64_64KEY;
constexpr std::uint16_t kOwnMachine = peexports::kMachineI386;
constexpr char kOwnRunner[] = "velquist.exe";
#endif

// The class's InprocServer32 path under root\Software\Classes in that view.
std::string Server(HKEY root, REGSAM view) {
    return testsupport::StringValue(root, std::string(kClassKey) + "\\InprocServer32", nullptr, view);
}

bool SamePath(const std::string& a, const std::string& b) { return _stricmp(a.c_str(), b.c_str()) == 0; }

bool RunsOnWine() {
    const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

class PerUserRegistrationTest : public ::testing::Test {
protected:
    void SetUp() override {
        userClassesExisted_ = KeyExists(HKEY_CURRENT_USER, kClasses, 0);
        RemoveClass();
    }

    void TearDown() override {
        testsupport::Runners().SetPerUser(false);
        RemoveClass();
        // A fresh prefix has no user classes, so each run also proves that the runner creates them.
        if (!userClassesExisted_) testsupport::DeleteTree(HKEY_CURRENT_USER, kClasses);
    }

    static void RemoveClass() {
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) testsupport::DeleteTree(root, kClassKey, view);
        }
    }

private:
    bool userClassesExisted_ = false;
};

TEST_F(PerUserRegistrationTest, KeysGoToTheUsersClassesUntilTheModeIsSwitchedOff) {
    const std::string path = ComponentPath(VELQUIST_COMSERVER_DLL);
    testsupport::Runners().SetPerUser(true);
    EXPECT_TRUE(modRegister::IsDLLActiveX(testsupport::Runners(), path));
    const auto registered = modRegister::CallServerEntry(testsupport::Runners(), path, true);
    EXPECT_EQ(registered.outcome, Outcome::Success) << modRegister::Describe(registered);
    EXPECT_TRUE(registered.perUser);
    EXPECT_TRUE(SamePath(Server(HKEY_CURRENT_USER, kOwnView), path)) << Server(HKEY_CURRENT_USER, kOwnView);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kClassKey, kOwnView));
    EXPECT_TRUE(modRegister::RunServerEntry(testsupport::Runners(), path, false));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kClassKey, kOwnView));

    // A failed entry point gives the machine's classes back too.
    EXPECT_EQ(modRegister::CallServerEntry(testsupport::Runners(), ComponentPath(VELQUIST_FAILING_DLL), true).outcome, Outcome::EntryFailed);
    testsupport::Runners().SetPerUser(false);
    EXPECT_TRUE(modRegister::RunServerEntry(testsupport::Runners(), path, true));
    EXPECT_TRUE(SamePath(Server(HKEY_LOCAL_MACHINE, kOwnView), path));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kClassKey, kOwnView));
    EXPECT_TRUE(modRegister::RunServerEntry(testsupport::Runners(), path, false));

    // The library a per-user probe kept is not the one a machine-wide call runs.
    testsupport::Runners().SetPerUser(true);
    EXPECT_TRUE(modRegister::IsDLLActiveX(testsupport::Runners(), path));
    testsupport::Runners().SetPerUser(false);
    const auto machineWide = modRegister::CallServerEntry(testsupport::Runners(), path, true);
    EXPECT_EQ(machineWide.outcome, Outcome::Success) << modRegister::Describe(machineWide);
    EXPECT_FALSE(machineWide.perUser);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kClassKey, kOwnView));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kClassKey, kOwnView));
}

// The other bitness's runner writes the user's classes of its own view. Wine 8 keeps one
// HKCU\Software\Classes for both views; Windows (7 and later) keeps a CLSID key per view there.
TEST_F(PerUserRegistrationTest, TheOtherBitnessWritesTheUsersClassesOfItsView) {
    VELQUIST_ASSERT_OTHER_BITNESS_RUNS();
    const std::string path = testsupport::OtherComponentPath(VELQUIST_COMSERVER_DLL);
    testsupport::Runners().SetPerUser(true);
    EXPECT_TRUE(modRegister::RunServerEntry(testsupport::Runners(), path, true));
    EXPECT_TRUE(SamePath(Server(HKEY_CURRENT_USER, kOtherView), path)) << Server(HKEY_CURRENT_USER, kOtherView);
    EXPECT_EQ(SamePath(Server(HKEY_CURRENT_USER, kOwnView), path), RunsOnWine());
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kClassKey, kOtherView));
    EXPECT_TRUE(modRegister::RunServerEntry(testsupport::Runners(), path, false));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kClassKey, kOtherView));

    testsupport::Runners().SetPerUser(false);
    EXPECT_TRUE(modRegister::RunServerEntry(testsupport::Runners(), path, true));
    EXPECT_TRUE(SamePath(Server(HKEY_LOCAL_MACHINE, kOtherView), path));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kClassKey, kOtherView));
}

// A flag the runner does not know is refused before anything is loaded, not ignored; a refusal is a
// protocol fault of ours, and that runner is ended.
TEST(RunnerProtocol, ARequestWithAnUnknownFlagIsRefused) {
    runner::RunnerClient client(kOwnMachine, testsupport::BinDir() + "\\" + kOwnRunner);
    const std::string path = ComponentPath(VELQUIST_COMSERVER_DLL);
    const runner::Exchange accepted = client.Send(runner::Request::Probe, path, modRegister::kWaitLimitMs);
    EXPECT_EQ(accepted.reply.answer, runner::Answer::Success);
    const runner::Exchange refused =
        client.Send(runner::Request::Probe, path, modRegister::kWaitLimitMs, nullptr, runner::kKnownFlags << 1);
    EXPECT_EQ(refused.status, runner::Exchange::Status::ProtocolFault);
    EXPECT_EQ(refused.code, static_cast<DWORD>(runner::Answer::BadRequest));
    EXPECT_EQ(client.ProcessId(), 0u);
}

}  // namespace
