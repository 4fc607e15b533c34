// Silent mode end to end: the real program started with /s, its console output, report and exit code.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "TestComponents.h"
#include "TestSupport.h"

namespace {

using testsupport::ComponentPath;
using testsupport::CopyTo;

// The program with arguments, its standard output and error read to the end.
testsupport::ProcessOutcome RunProgram(const std::string& arguments) {
    return testsupport::RunProcess(VELQUIST_EXE, arguments, 60000);
}

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

class Silent : public ::testing::Test {
protected:
    void TearDown() override {
        testsupport::ForgetClass(VELQUIST_COMSERVER_CLSID);
        testsupport::ForgetClass(VELQUIST_COMSERVER2_CLSID);
    }
    testsupport::TempDir dir;
};

TEST_F(Silent, ExitCodesTellSuccessFailureNothingToDoAndBadCommandLines) {
    ASSERT_TRUE(CopyTo(ComponentPath(VELQUIST_COMSERVER_DLL), dir / "good.dll"));
    ASSERT_TRUE(CopyTo(ComponentPath(VELQUIST_NOUNREGISTER_DLL), dir / "keep.dll"));
    ASSERT_TRUE(CopyTo(ComponentPath(VELQUIST_INITFAILS_DLL), dir / "init.dll"));
    ASSERT_TRUE(testsupport::WriteBytes(dir / "notes.txt", "text"));
    ASSERT_TRUE(testsupport::MakeDirs(dir / "empty"));
    struct Case {
        std::string arguments;
        DWORD exitCode;
        std::string firstLine;  // what the output starts with
    };
    const Case cases[] = {
        {"/s " + Quoted(dir / "good.dll"), 0, "Registered : " + (dir / "good.dll") + "\tDllRegisterServer succeeded.\r\n"},
        {"-U /S " + Quoted(dir / "keep.dll"), 1, "Failed : " + (dir / "keep.dll") + "\tHas no DllUnregisterServer"},
        {"/s " + Quoted(dir / "init.dll"), 1, "This file is not an ActiveX component\tIts initialisation failed"},
        {"/s " + Quoted(dir / "notes.txt"), 2, "This file is not an ActiveX component\r\n"},
        {"/s " + Quoted(dir / "missing.dll"), 2, "No file selected\r\n"},
        {"/s /r " + Quoted(dir / "empty"), 2, "Register operation completed\t0 registered, 0 failed, 0 files checked"},
        {"/s /x " + Quoted(dir / "good.dll"), 3, "Unknown switch: /x\r\nUsage: velquist"},
    };
    for (const Case& c : cases) {
        const testsupport::ProcessOutcome outcome = RunProgram(c.arguments);
        EXPECT_EQ(outcome.exitCode, c.exitCode) << c.arguments << "\n" << outcome.output;
        EXPECT_EQ(outcome.output.substr(0, c.firstLine.size()), c.firstLine) << c.arguments;
    }
}

TEST_F(Silent, AFolderRunWritesTheReport) {
    ASSERT_TRUE(testsupport::MakeDirs(dir / "tree\\sub"));
    ASSERT_TRUE(CopyTo(ComponentPath(VELQUIST_COMSERVER_DLL), dir / "tree\\sub\\a.dll"));
    ASSERT_TRUE(CopyTo(ComponentPath(VELQUIST_FAILING_DLL), dir / "tree\\b.dll"));
    const std::string report = dir / "r\xC3\xA9port.csv";
    const testsupport::ProcessOutcome outcome = RunProgram("/s /r /report:" + Quoted(report) + " " + Quoted(dir / "tree"));
    EXPECT_EQ(outcome.exitCode, 1u) << outcome.output;
    const std::string csv = testsupport::ReadBytes(report);
    EXPECT_EQ(csv.rfind("\xEF\xBB\xBFResult,File,Detail\r\nRegistered," + (dir / "tree\\sub\\a.dll") +
                            ",DllRegisterServer succeeded.\r\nFailed," + (dir / "tree\\b.dll") + ",",
                        0),
              0u)
        << csv;
    EXPECT_NE(csv.find("\r\nCompleted,,\"1 registered, 1 failed, 2 files checked in "), std::string::npos) << csv;
    EXPECT_EQ(testsupport::RegisteredServer(VELQUIST_COMSERVER_CLSID), dir / "tree\\sub\\a.dll");
}

}  // namespace
