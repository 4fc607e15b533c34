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

// /undo:FILE: a file that cannot be written calls nothing (exit 1, the reason first); one that can be
// is begun before the call and, imported with reg.exe, takes the registration away again.
TEST_F(Silent, AnUndoFileUndoesTheRunWhenImported) {
    const std::string component = dir / "good.dll";
    ASSERT_TRUE(CopyTo(ComponentPath(VELQUIST_COMSERVER_DLL), component));
    const testsupport::ProcessOutcome refused =
        RunProgram("/s /undo:" + Quoted(dir / "no such folder\\u.reg") + " " + Quoted(component));
    EXPECT_EQ(refused.exitCode, 1u) << refused.output;
    EXPECT_EQ(refused.output.rfind("The undo file " + (dir / "no such folder\\u.reg") + " could not be written", 0), 0u)
        << refused.output;
    EXPECT_EQ(testsupport::RegisteredServer(VELQUIST_COMSERVER_CLSID), "");

    const std::string undoFile = dir / "u.reg";
    const testsupport::ProcessOutcome ran = RunProgram("/s /undo:" + Quoted(undoFile) + " " + Quoted(component));
    EXPECT_EQ(ran.exitCode, 0u) << ran.output;
    EXPECT_NE(ran.output.find("Importing " + undoFile + " puts back what it changed (reg import)."), std::string::npos)
        << ran.output;
    EXPECT_EQ(testsupport::RegisteredServer(VELQUIST_COMSERVER_CLSID), component);
    const testsupport::ProcessOutcome imported = testsupport::RunProcess(
        ::getenv("SystemRoot") + std::string("\\system32\\reg.exe"), "import " + Quoted(undoFile), 30000);
    EXPECT_EQ(imported.exitCode, 0u) << imported.output;
    EXPECT_EQ(testsupport::RegisteredServer(VELQUIST_COMSERVER_CLSID), "");
}

// Check and export runs: what each outcome prints first and the exit code it ends with. The cases run
// in order: the component is registered half-way through, by the program's own register run.
TEST_F(Silent, CheckAndExportRunsTellTheirOutcomeInTheExitCode) {
    const std::string component = dir / "good.dll";
    ASSERT_TRUE(CopyTo(ComponentPath(VELQUIST_COMSERVER_DLL), component));
    ASSERT_TRUE(testsupport::WriteBytes(dir / "notes.txt", "text"));
    ASSERT_TRUE(testsupport::MakeDirs(dir / "plain"));
    ASSERT_TRUE(testsupport::WriteBytes(dir / "plain\\notes.txt", "text"));
    const std::string reg = dir / "x.reg";
    const std::string nowhere = dir / "no such folder\\x.reg";
    const std::string silentOne = dir / VELQUIST_NOUNREGISTER_DLL;  // registers nothing at all
    ASSERT_TRUE(CopyTo(ComponentPath(VELQUIST_NOUNREGISTER_DLL), silentOne));
    const std::string unwritten = dir / "plain\\x.reg";
    struct Case {
        std::string arguments;
        DWORD exitCode;
        std::string firstLine;
        std::string says = {};  // somewhere in the output
    };
    const Case cases[] = {
        {"/s /check " + Quoted(component), 1, "Not registered : " + component + "\t"},
        {"/s /check " + Quoted(dir / "notes.txt"), 2, "This file is not an ActiveX component\r\n"},
        {"/s /u /check " + Quoted(component), 3, "/u cannot be given with /check"},
        {"/s /export:" + Quoted(reg) + " " + Quoted(component), 0, "Exported : " + component + "\t"},
        {"/s /export:" + Quoted(nowhere) + " " + Quoted(component), 1, "Exported : " + component + "\t",
         "The file " + nowhere + " could not be written"},
        {"/s /export:" + Quoted(unwritten) + " " + Quoted(dir / "plain"), 2, "Export completed\t0 exported, 0 failed"},
        {"/s " + Quoted(component), 0, "Registered : "},
        {"/s /check " + Quoted(component), 0, "Registered here : " + component + "\t"},
        {"/s /check " + Quoted(silentOne), 0, "Registered here : " + silentOne + "\tIt registers nothing.\r\n"},
        {"/s /export:" + Quoted(dir / "nothing.reg") + " " + Quoted(silentOne), 0,
         "Exported : " + silentOne + "\tIt registers nothing; the file holds nothing for it.\r\n"},
    };
    for (const Case& c : cases) {
        const testsupport::ProcessOutcome outcome = RunProgram(c.arguments);
        EXPECT_EQ(outcome.exitCode, c.exitCode) << c.arguments << "\n" << outcome.output;
        EXPECT_EQ(outcome.output.substr(0, c.firstLine.size()), c.firstLine) << c.arguments << "\n" << outcome.output;
        EXPECT_NE(outcome.output.find(c.says), std::string::npos) << c.arguments << "\n" << outcome.output;
    }
    // A folder without a component gets no file.
    EXPECT_EQ(::GetFileAttributesA(unwritten.c_str()), INVALID_FILE_ATTRIBUTES);
    // The .reg file as regedit writes one: UTF-16LE with its byte order mark, then the header.
    const std::string bytes = testsupport::ReadBytes(reg);
    std::string header = "\xFF\xFE";
    for (const char c : std::string("Windows Registry Editor Version 5.00\r\n")) header += {c, '\0'};
    EXPECT_EQ(bytes.substr(0, header.size()), header);
}

// A test's exit code: 0 only when every component works; its report names the verdict.
TEST_F(Silent, ATestRunsExitCodeSaysWhetherEveryComponentWorks) {
    const std::string works = dir / VELQUIST_CREATABLE_DLL;
    const std::string licensed = dir / "licensed\\" VELQUIST_LICENSED_DLL;
    ASSERT_TRUE(testsupport::MakeDirs(dir / "licensed"));
    ASSERT_TRUE(CopyTo(ComponentPath(VELQUIST_CREATABLE_DLL), works));
    ASSERT_TRUE(CopyTo(ComponentPath(VELQUIST_LICENSED_DLL), licensed));
    ASSERT_TRUE(testsupport::WriteBytes(dir / "notes.txt", "text"));
    const std::string report = dir / "test.csv";
    const struct {
        std::string arguments;
        DWORD exitCode;
        std::string firstLine;
    } cases[] = {
        {"/s /test " + Quoted(works), 1, "Not registered : " + works + "\t"},
        {"/s /test " + Quoted(dir / "notes.txt"), 2, "This file is not an ActiveX component\r\n"},
        {"/s /u /test " + Quoted(works), 3, "/u cannot be given with /check, /test"},
        {"/s /r " + Quoted(dir.Path()), 0, "Registered : "},
        {"/s /test /report:" + Quoted(report) + " " + Quoted(works), 0, "Works : " + works + "\t"},
        {"/s /test " + Quoted(licensed), 1, "Does not work : " + licensed + "\t"},
        {"/s /u /r " + Quoted(dir.Path()), 0, "Unregistered : "},
    };
    for (const auto& c : cases) {
        const testsupport::ProcessOutcome outcome = RunProgram(c.arguments);
        EXPECT_EQ(outcome.exitCode, c.exitCode) << c.arguments << "\n" << outcome.output;
        EXPECT_EQ(outcome.output.substr(0, c.firstLine.size()), c.firstLine) << c.arguments << "\n" << outcome.output;
    }
    const std::string csv = testsupport::ReadBytes(report);
    EXPECT_EQ(csv.rfind("\xEF\xBB\xBFResult,File,Detail\r\nWorks," + works + ",", 0), 0u) << csv;
}

TEST_F(Silent, ACheckRunsReportNamesEachVerdict) {
    ASSERT_TRUE(CopyTo(ComponentPath(VELQUIST_COMSERVER_DLL), dir / "a.dll"));
    const std::string report = dir / "check.csv";
    const testsupport::ProcessOutcome outcome =
        RunProgram("/s /check /report:" + Quoted(report) + " " + Quoted(dir.Path()));
    EXPECT_EQ(outcome.exitCode, 1u) << outcome.output;
    const std::string csv = testsupport::ReadBytes(report);
    EXPECT_EQ(csv.rfind("\xEF\xBB\xBFResult,File,Detail\r\nNot registered," + (dir / "a.dll") + ",", 0), 0u) << csv;
}

}  // namespace
