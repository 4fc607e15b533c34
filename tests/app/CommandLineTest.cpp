// The command line: switches, their case and order, the path, and what makes a command line bad.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "tasks/RunRequest.h"
#include "results/Report.h"

namespace {

using velquist::ParseCommandLine;

TEST(CommandLine, SwitchesInAnyOrderAndCaseWithOnePath) {
    struct Case {
        std::vector<std::string> arguments;
        bool unregister, subfolders, run, silent;
        std::string report, path;
    };
    const Case cases[] = {
        {{}, false, false, false, false, "", ""},
        {{"C:\\a b\\x.ocx"}, false, false, false, false, "", "C:\\a b\\x.ocx"},
        {{"-U", "/R", "C:\\app", "/RUN"}, true, true, true, false, "", "C:\\app"},
        {{"/s", "/report:C:\\out dir\\r.csv", "C:\\app"}, false, false, false, true, "C:\\out dir\\r.csv", "C:\\app"},
        {{"/REPORT:r.csv", "-s", "\xC3\x9C.dll"}, false, false, false, true, "r.csv", "\xC3\x9C.dll"},
    };
    for (const Case& c : cases) {
        const auto line = ParseCommandLine(c.arguments);
        ASSERT_TRUE(line.valid) << line.error;
        EXPECT_EQ(line.unregister, c.unregister);
        EXPECT_EQ(line.subfolders, c.subfolders);
        EXPECT_EQ(line.run, c.run);
        EXPECT_EQ(line.silent, c.silent);
        EXPECT_EQ(line.report, c.report);
        EXPECT_EQ(line.path, c.path);
    }
}

// /i with or without its command line (kept as written, blanks and case), /n, in any order.
TEST(CommandLine, DllInstallsSwitchesGiveItsCall) {
    struct Case {
        std::vector<std::string> arguments;
        registration::InstallCall install;
    };
    const Case cases[] = {
        {{"C:\\a.dll"}, {}},
        {{"/i", "C:\\a.dll"}, {true, false, false, ""}},
        {{"-I:", "C:\\a.dll"}, {true, false, true, ""}},
        {{"/i:User Mode", "/u", "C:\\a.dll"}, {true, false, true, "User Mode"}},
        {{"/N", "/i:U", "/s", "C:\\a.dll"}, {true, true, true, "U"}},
    };
    for (const Case& c : cases) {
        const auto line = ParseCommandLine(c.arguments);
        ASSERT_TRUE(line.valid) << line.error;
        EXPECT_EQ(line.install, c.install) << c.arguments[0];
        EXPECT_EQ(velquist::RequestFrom(line).install, c.install) << c.arguments[0];
    }
}

TEST(CommandLine, BadCommandLinesSayWhy) {
    const std::vector<std::vector<std::string>> bad = {
        {"/x", "C:\\a.dll"},               // unknown switch
        {"/ru", "C:\\a.dll"},              // a switch is a whole word
        {"/user2", "C:\\a.dll"},
        {"C:\\a.dll", "C:\\b.dll"},        // two paths
        {"/report:r.csv", "C:\\a.dll"},    // a report without /s
        {"/s", "/report:", "C:\\a.dll"},   // a report without a name
        {"/s"},                            // silent with nothing to run
        {"/force", "C:\\a.dll"},           // /force is for unregister runs only
        {"/s", "/check", "/undo:u.reg", "C:\\a.dll"},  // an undo file only of a register or unregister run
        {"/undo:u.reg", "C:\\a.dll"},      // and only in silent mode
        {"/n", "C:\\a.dll"},               // /n only with /i
        {"/i", "/i:x", "C:\\a.dll"},       // /i once
        {"/i", "/check", "C:\\a.dll"},     // DllInstall only in register and unregister runs
        {"/i:x", "/test", "C:\\a.dll"},
        {"/i", "/export:e.reg", "C:\\a.dll"},
        {"/i", "/removal:r.reg", "C:\\a.dll"},
        {"/i", "/manifest:m.manifest", "C:\\a.dll"},
        {"/s", "/n", "/i", "/undo:u.reg", "C:\\a.dll"},  // DllInstall alone is not recorded
        {"/tlb", "/scan"},                 // type libraries are files of the inputs
        {"/tlb", "/i", "C:\\a.dll"},       // and have no DllInstall
    };
    for (const auto& arguments : bad) {
        const auto line = ParseCommandLine(arguments);
        EXPECT_FALSE(line.valid) << arguments[0];
        EXPECT_FALSE(line.error.empty()) << arguments[0];
    }
    EXPECT_NE(ParseCommandLine({"/x"}).error.find("/x"), std::string::npos);
}

// The tasks other than a change: each alone, with the switches that go with any run; never two of
// them, never with /u, never without their file. Bad ones end silent mode with exit code 3.
TEST(CommandLine, CheckTestExportAndRemovalGoAloneAndNeedTheirFile) {
    using Task = velquist::RunRequest::Task;
    struct Case {
        std::vector<std::string> arguments;
        Task task;
        std::string file;
        bool perUser = true;
    };
    const Case cases[] = {
        {{"/s", "/check", "/r", "/user", "C:\\app"}, Task::Check, ""},
        {{"/export:C:\\a.reg", "/S", "/R", "/USER", "C:\\app"}, Task::Export, "C:\\a.reg"},
        {{"-user", "/REMOVAL:x.reg", "-r", "-s", "C:\\app"}, Task::Removal, "x.reg"},
        {{"/s", "/TEST", "/r", "/user", "C:\\app"}, Task::Test, ""},
        {{"/s", "/Manifest:C:\\app\\App.manifest", "/r", "C:\\app"}, Task::Manifest, "C:\\app\\App.manifest", false},
        {{"/s", "/r", "C:\\app"}, Task::Change, "", false},
    };
    for (const Case& c : cases) {
        const auto line = ParseCommandLine(c.arguments);
        ASSERT_TRUE(line.valid) << c.arguments[1] << ": " << line.error;
        EXPECT_TRUE(line.silent && line.subfolders && !line.unregister);
        EXPECT_EQ(line.perUser, c.perUser);
        EXPECT_EQ(line.task, c.task) << c.arguments[1];
        EXPECT_EQ(line.taskFile, c.file);
    }
    const std::vector<std::vector<std::string>> bad = {
        {"/check", "/export:a.reg"},
        {"/export:a", "/removal:b"},
        {"/u", "/check"},
        {"/export:"},
        {"/test", "/check"},
        {"/test", "/removal:b"},
        {"/u", "/test"},
        {"/manifest:a.manifest", "/export:b.reg"},
        {"/manifest:a.manifest", "/user"},  // a manifest belongs to no user
        {"/u", "/manifest:a.manifest"},
        {"/manifest:"},
    };
    for (const auto& arguments : bad) {
        std::vector<std::string> silent = arguments;
        silent.insert(silent.begin(), "/s");
        silent.push_back("C:\\a.dll");
        const auto line = ParseCommandLine(silent);
        EXPECT_FALSE(line.valid) << arguments[0];
        EXPECT_FALSE(line.error.empty()) << arguments[0];
    }
}

// What QuoteArgument writes, the system's own splitting reads back unchanged.
TEST(CommandLine, QuotedArgumentsSurviveTheSystemsSplitting) {
    const std::vector<std::string> arguments = {"C:\\a b\\x.dll", "C:\\app\\", "C:\\", "say \"hi\"", "a\\\\\"b",
                                                "", "\xC3\x9Cmlaut \xE2\x9C\x93"};
    std::string parameters;
    for (const std::string& argument : arguments) {
        if (!parameters.empty()) parameters += ' ';
        parameters += velquist::QuoteArgument(argument);
    }
    EXPECT_EQ(velquist::QuoteArgument("C:\\app\\"), "\"C:\\app\\\\\"");
    // SplitArguments splits with the system's own CommandLineToArgvW.
    EXPECT_EQ(velquist::SplitArguments(parameters), arguments);
    EXPECT_TRUE(ParseCommandLine({"/USER", "x.dll"}).perUser);
}

// The scan reads the machine: it takes no path, goes with no other task, and neither /u nor /user.
TEST(CommandLine, ScanTakesNoPathAndGoesAlone) {
    const auto line = ParseCommandLine({"/s", "/SCAN", "/report:r.csv"});
    ASSERT_TRUE(line.valid) << line.error;
    EXPECT_EQ(line.task, velquist::RunRequest::Task::Scan);
    EXPECT_EQ(velquist::RelaunchParameters(velquist::RequestFrom(line), true), "/scan /run");
    const std::vector<std::vector<std::string>> bad = {
        {"/scan", "C:\\app"}, {"/scan", "/check"}, {"/test", "/scan"}, {"/scan", "/u"},
        {"/scan", "/user"},     {"/scan", "/export:a.reg"}, {"/manifest:a.manifest", "/scan"},
    };
    for (const auto& arguments : bad) {
        const auto parsed = ParseCommandLine(arguments);
        EXPECT_FALSE(parsed.valid) << arguments[0] << " " << arguments[1];
    }
}

}  // namespace
