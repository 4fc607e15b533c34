// The run request: a restart's parameters, read back as the new instance reads its command line,
// make the same request.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <utility>

#include "TestSupport.h"
#include "app/CommandLine.h"
#include "tasks/RunRequest.h"

namespace {

using velquist::RunRequest;

RunRequest ReadBack(const RunRequest& request, bool run) {
    const velquist::CommandLine line =
        velquist::ParseCommandLine(velquist::SplitArguments(velquist::RelaunchParameters(request, run)));
    EXPECT_TRUE(line.valid) << line.error;
    EXPECT_EQ(line.run, run);
    return velquist::RequestFrom(line);
}

TEST(RunRequest, RelaunchParametersReadBackAsTheSameRequest) {
    testsupport::TempDir dir;
    ASSERT_TRUE(testsupport::MakeDirs(dir / "app x\\sub"));
    ASSERT_TRUE(testsupport::WriteBytes(dir / "a b.dll", "x"));
    char cwd[MAX_PATH * 4] = {};
    ::GetCurrentDirectoryA(sizeof cwd, cwd);
    ::SetCurrentDirectoryA(dir.Path().c_str());
    using Mode = RunRequest::Mode;
    using Task = RunRequest::Task;
    const RunRequest requests[] = {
        {Mode::SingleFile, "a b.dll", false, true, false},     // relative: goes out in full
        {Mode::SingleFile, dir / "a b.dll", true, false, true},  // sub-folders mean nothing for one file
        {Mode::Directory, dir / "app x\\", true, false, false},  // a blank and a trailing backslash
        {Mode::Directory, "app x\\sub", false, true, true},
        {Mode::Directory, "app x", true, true, false, Task::Check},
        {Mode::SingleFile, "a b.dll", false, true, true, Task::Test},
        {Mode::SingleFile, "a b.dll", false, true, true, Task::Export, "out x\\a b.reg"},  // relative: in full
        {Mode::Directory, dir / "app x", false, true, false, Task::Removal, dir / "out x\\r.reg"},
        {Mode::Directory, dir / "app x", true, true, false, Task::Manifest, "app x\\App.manifest"},
        {Mode::SingleFile, "a b.dll", false, false, true, Task::Change, "", false, true},  // /u /force
        // DllInstall: a NULL command line, an empty one, one with blanks and quotes, alone
        {Mode::SingleFile, "a b.dll", false, true, false, Task::Change, "", false, false, {true, false, false, ""}},
        {Mode::SingleFile, "a b.dll", false, false, false, Task::Change, "", false, false, {true, false, true, ""}},
        {Mode::Directory, "app x", true, true, true, Task::Change, "", false, false, {true, true, true, "a \"b\" c"}},
        {Mode::SingleFile, "a b.dll", false, false, false, Task::Change, "", false, false, {true, true, false, ""}},
        // Type libraries included, in a change and in a check
        {Mode::Directory, "app x", true, true, false, Task::Change, "", false, false, {}, true},
        {Mode::SingleFile, "a b.dll", false, true, false, Task::Check, "", false, false, {}, true},
    };
    for (const bool run : {false, true}) {
        for (const RunRequest& request : requests) {
            RunRequest expected = request;
            char full[MAX_PATH * 4] = {};
            ::GetFullPathNameA(request.path.c_str(), sizeof full, full, nullptr);
            expected.path = full;
            if (!request.target.empty()) {
                ::GetFullPathNameA(request.target.c_str(), sizeof full, full, nullptr);
                expected.target = full;
            }
            RunRequest back = ReadBack(request, run);
            if (request.mode == Mode::SingleFile) back.subfolders = expected.subfolders;
            EXPECT_EQ(back, expected) << velquist::RelaunchParameters(request, run);
        }
    }
    ::SetCurrentDirectoryA(cwd);
    // A clean restarted elevated keeps its task and its backup's file, an undo handed over its file;
    // neither takes a path.
    for (const auto& [task, word] : {std::pair{Task::Clean, "clean"}, std::pair{Task::PutBack, "putback"}}) {
        const RunRequest request{Mode::Directory, "C:\\ignored", true, true, false, task, "C:\\b x.reg"};
        EXPECT_EQ(velquist::RelaunchParameters(request, true), "\"/" + std::string(word) + ":C:\\b x.reg\" /run");
        const RunRequest back = ReadBack(request, true);
        EXPECT_EQ(back.task, task);
        EXPECT_EQ(back.target, "C:\\b x.reg");
        EXPECT_TRUE(back.path.empty());
    }
    // An empty path stays out of the parameters.
    EXPECT_EQ(velquist::RelaunchParameters(RunRequest{Mode::SingleFile, "", false, false, true}, true), "/u /user /run");
    // An export without its file is not run again as a register run: it only shows its inputs.
    RunRequest exportAsking{Mode::SingleFile, "", false, true, false};
    exportAsking.task = RunRequest::Task::Export;
    EXPECT_EQ(velquist::RelaunchParameters(exportAsking, true), "");
}

}  // namespace
