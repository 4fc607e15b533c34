// DllInstall end to end in silent mode: each combination of /i, /i:CMDLINE, /n and /u, for components of
// both bitnesses, by the calls the test components record and the lines and exit codes they get.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "TestComponents.h"
#include "TestSupport.h"

namespace {

using testsupport::CopyTo;

testsupport::ProcessOutcome RunProgram(const std::string& arguments) {
    return testsupport::RunProcess(VELQUIST_EXE, arguments, 60000);
}

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

// What the component of this file name recorded: its calls, in order ("" for none).
std::string Recorded(const char* fileName) {
    const std::string calls = testsupport::StringValue(HKEY_CURRENT_USER, VELQUIST_INSTALLER_KEY, fileName);
    return calls == testsupport::kNoKey || calls == testsupport::kNoValue ? "" : calls;
}

class Install : public ::testing::Test {
protected:
    void TearDown() override {
        testsupport::DeleteTree(HKEY_CURRENT_USER, VELQUIST_INSTALLER_KEY);
        testsupport::ForgetClass(VELQUIST_COMSERVER_CLSID);
    }
    testsupport::TempDir dir;
};

TEST_F(Install, EachCombinationOfSwitchesCallsTheEntryPointsInRegsvr32sOrder) {
    struct Case {
        const char* arguments;
        const char* component;
        std::string calls;      // as recorded
        DWORD exitCode;
        std::string firstLine;  // after "<kind> : PATH\t", or the whole start of a message
    };
    const std::string failed = "Failed : ";
    const Case cases[] = {
        {"/i", VELQUIST_INSTALLER_DLL, "register@1; install(TRUE,NULL)@2", 0,
         "Registered : |DllRegisterServer succeeded. DllInstall succeeded.\r\n"},
        {"/i:", VELQUIST_INSTALLER_DLL, "register@1; install(TRUE,\"\")@2", 0, "Registered : |"},
        {"/user /i:user", VELQUIST_INSTALLER_DLL, "register@1; install(TRUE,\"user\")@2", 0,
         "Registered : |DllRegisterServer succeeded. DllInstall succeeded. For the current user only.\r\n"},
        {"/n /i:U", VELQUIST_INSTALLER_DLL, "install(TRUE,\"U\")@1", 0, "Installed : |DllInstall succeeded.\r\n"},
        {"/u /force /i:x", VELQUIST_INSTALLER_DLL, "install(FALSE,\"x\")@1; unregister@2", 0,
         "Unregistered : |DllInstall succeeded. DllUnregisterServer succeeded.\r\n"},
        {"/u /n /i", VELQUIST_INSTALLER_DLL, "install(FALSE,NULL)@1", 0, "Uninstalled : |DllInstall succeeded.\r\n"},
        {"/i", VELQUIST_INSTALLFAILS_DLL, "register@1; install(TRUE,NULL)@2", 1,
         "Failed : |DllRegisterServer succeeded. DllInstall failed: Unspecified error. (0x80004005)\r\n"},
        {"/u /force /i", VELQUIST_INSTALLFAILS_DLL, "install(FALSE,NULL)@1", 1,
         "Failed : |DllInstall failed: Unspecified error. (0x80004005) DllUnregisterServer was not called.\r\n"},
        {"/n /i", VELQUIST_INSTALLONLY_DLL, "install(TRUE,NULL)@1", 0, "Installed : |"},
        {"/i", VELQUIST_INSTALLONLY_DLL, "", 2, "This file is not an ActiveX component"},
        // A component without DllInstall is called for nothing.
        {"/n /i", VELQUIST_COMSERVER_DLL, "", 1, "Failed : |It has no DllInstall entry point.\r\n"},
        {"/i", VELQUIST_COMSERVER_DLL, "", 1, "Failed : |It has no DllInstall entry point.\r\n"},
        // Bad command lines call nothing.
        {"/n", VELQUIST_INSTALLER_DLL, "", 3, "/n is for DllInstall"},
        {"/i /check", VELQUIST_INSTALLER_DLL, "", 3, "/i cannot be given with /check."},
    };
    for (const bool own : {true, false}) {
        if (!own) VELQUIST_ASSERT_OTHER_BITNESS_RUNS();
        for (const Case& c : cases) {
            testsupport::DeleteTree(HKEY_CURRENT_USER, VELQUIST_INSTALLER_KEY);
            const std::string file = dir / c.component;
            ASSERT_TRUE(CopyTo(own ? testsupport::ComponentPath(c.component) : testsupport::OtherComponentPath(c.component),
                               file));
            const testsupport::ProcessOutcome outcome = RunProgram(std::string("/s ") + c.arguments + " " + Quoted(file));
            const std::string trace = std::string(c.arguments) + " " + c.component + (own ? "" : " (other bitness)");
            EXPECT_EQ(outcome.exitCode, c.exitCode) << trace << "\n" << outcome.output;
            EXPECT_EQ(Recorded(c.component), c.calls) << trace;
            std::string first = c.firstLine;
            const auto bar = first.find('|');
            if (bar != std::string::npos) first.replace(bar, 1, file + "\t");
            EXPECT_EQ(outcome.output.substr(0, first.size()), first) << trace << "\n" << outcome.output;
            EXPECT_EQ(testsupport::RegisteredServer(VELQUIST_COMSERVER_CLSID), "") << trace;
        }
    }
}

// In a folder, DllInstall alone installs what exports it, fails a component without it and passes
// over the rest; the closing line counts what was installed.
TEST_F(Install, AFolderRunOfDllInstallAloneClosesWithItsOwnCounts) {
    for (const char* name : {VELQUIST_INSTALLER_DLL, VELQUIST_INSTALLONLY_DLL, VELQUIST_COMSERVER_DLL}) {
        ASSERT_TRUE(CopyTo(testsupport::ComponentPath(name), dir / name));
    }
    ASSERT_TRUE(testsupport::WriteBytes(dir / "notes.txt", "text"));
    const testsupport::ProcessOutcome outcome = RunProgram("/s /u /n /i:U " + Quoted(dir.Path()));
    EXPECT_EQ(outcome.exitCode, 1u) << outcome.output;
    for (const char* name : {VELQUIST_INSTALLER_DLL, VELQUIST_INSTALLONLY_DLL}) {
        EXPECT_NE(outcome.output.find("Uninstalled : " + (dir / name) + "\tDllInstall succeeded."), std::string::npos)
            << outcome.output;
        EXPECT_EQ(Recorded(name), "install(FALSE,\"U\")@1") << name;
    }
    EXPECT_NE(outcome.output.find("Failed : " + (dir / VELQUIST_COMSERVER_DLL) + "\tIt has no DllInstall"),
              std::string::npos);
    EXPECT_EQ(outcome.output.find("notes.txt"), std::string::npos) << outcome.output;
    EXPECT_NE(outcome.output.find("Uninstall operation completed\t2 uninstalled, 1 failed, 4 files checked in "),
              std::string::npos)
        << outcome.output;
}

}  // namespace
