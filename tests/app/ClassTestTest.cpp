// Class tests over real components of both bitnesses: each gets one line saying whether a client can
// make its objects and why not, a crash or hang costs only its own line, and nothing is written.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "RecordingList.h"
#include "TestComponents.h"
#include "TestSupport.h"
#include "tasks/Commands.h"

using velquist::LineKind;
using velquist::RunRequest;

namespace {

class ClassTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (const bool perUser : {false, true}) {
            RunRequest request = Request(dir_.Path(), RunRequest::Task::Change, false, perUser);
            request.subfolders = true;
            Run(request);
        }
    }
    RunRequest Request(const std::string& path, RunRequest::Task task, bool registerFlag = true, bool perUser = false) {
        const bool folder = ::GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY;
        return RunRequest{folder ? RunRequest::Mode::Directory : RunRequest::Mode::SingleFile, path, false,
                          registerFlag, perUser, task, {}};
    }
    velquist::RunSummary Run(const RunRequest& request) {
        return velquist::Execute(request, session_, list_, [](const std::string& message) { ADD_FAILURE() << message; });
    }
    // The line of the file in the last run.
    const testsupport::RecordingList::Line* LineOf(const std::string& path) const {
        for (const auto& line : list_.lines) {
            if (line.line.path == path) return &line;
        }
        return nullptr;
    }

    testsupport::TempDir dir_;
    registration::Session session_{testsupport::BuildRunners()};
    testsupport::RecordingList list_;
};

TEST_F(ClassTest, EachComponentGetsOneLineThatSaysWhy) {
    struct Case {
        const char* file;
        LineKind kind;
        std::vector<std::string> inDetail;
    };
    // In the walk's order: each line after a crash or a hang is its own component's.
    const Case cases[] = {
        {VELQUIST_COMSERVER_DLL, LineKind::NotRegistered, {"None of the"}},  // left unregistered
        {VELQUIST_CRASHINGCLASS_DLL, LineKind::DoesNotWork,
         {"Crashed (access violation, 0xC0000005) while making class " VELQUIST_CRASHINGCLASS_CLSID " (" VELQUIST_CRASHINGCLASS_PROGID ")."}},
        {VELQUIST_CREATABLE_DLL, LineKind::Works, {"2 classes created, 1 type library loaded."}},
        {VELQUIST_DELAYMISSING_DLL, LineKind::DoesNotWork,
         {"while making class " VELQUIST_DELAYMISSING_CLSID, "It needs " VELQUIST_DELAYMISSING_GHOST_DLL ", which was not found."}},
        {VELQUIST_HANGINGCLASS_DLL, LineKind::DoesNotWork,
         {"Did not finish within 10 seconds", "while making class " VELQUIST_HANGINGCLASS_CLSID}},
        {VELQUIST_LICENSED_DLL, LineKind::DoesNotWork, {"(0x80040112)", "needs a licence key"}},
        {VELQUIST_MISSINGTYPELIB_DLL, LineKind::DoesNotWork,
         {"Type library " VELQUIST_MISSINGTYPELIB_LIBID " 1.0", "(0x80029C4A)", "The rest worked: 1 class created."}},
        {VELQUIST_NOUNREGISTER_DLL, LineKind::Works, {"It registers no in-process class and no type library"}},
        {VELQUIST_PROXYSTUB_DLL, LineKind::Works, {"1 proxy/stub factory obtained."}},
        {VELQUIST_UNKNOWNCLASS_DLL, LineKind::DoesNotWork, {"(0x80040111)", "does not hand out this class"}},
    };
    for (const bool other : {false, true}) {
        SCOPED_TRACE(other ? "the other bitness" : "this bitness");
        const std::string folder = dir_ / (other ? "other" : "own");
        ASSERT_TRUE(testsupport::MakeDirs(folder));
        for (const Case& c : cases) {
            const std::string from = other ? testsupport::OtherComponentPath(c.file) : testsupport::ComponentPath(c.file);
            ASSERT_TRUE(testsupport::CopyTo(from, folder + "\\" + c.file));
        }
        Run(Request(folder, RunRequest::Task::Change));
        Run(Request(folder + "\\" VELQUIST_COMSERVER_DLL, RunRequest::Task::Change, false));

        const testsupport::MachineRegistry before = testsupport::MachineRegistry::Read();
        const velquist::RunSummary summary = Run(Request(folder, RunRequest::Task::Test));
        EXPECT_EQ(before.FirstDifference(testsupport::MachineRegistry::Read()), L"");
        for (const Case& c : cases) {
            SCOPED_TRACE(c.file);
            const auto* line = LineOf(folder + "\\" + c.file);
            ASSERT_NE(line, nullptr);
            EXPECT_EQ(line->line.kind, c.kind) << line->detail;
            for (const std::string& part : c.inDetail) EXPECT_NE(line->detail.find(part), std::string::npos) << line->detail;
        }
        ASSERT_FALSE(list_.lines.empty());
        EXPECT_EQ(list_.lines.back().text, "Test completed");
        EXPECT_EQ(list_.lines.back().detail.rfind("3 working, 6 not working, 1 not registered here, 0 failed, ", 0), 0u)
            << list_.lines.back().detail;
        EXPECT_EQ(velquist::ExitCodeOf(summary), velquist::kExitFailed);
        Run(Request(folder, RunRequest::Task::Change, false));
    }
}

// Wine's COM reads only the machine's classes: a class registered for the current user alone is
// registered here by the check, but not found when it is made. Windows finds the user's classes.
TEST_F(ClassTest, WineMakesNoClassRegisteredForTheUserOnly) {
    const std::string file = dir_ / VELQUIST_CREATABLE_DLL;
    ASSERT_TRUE(testsupport::CopyTo(testsupport::ComponentPath(VELQUIST_CREATABLE_DLL), file));
    Run(Request(file, RunRequest::Task::Change, true, true));
    Run(Request(file, RunRequest::Task::Check));
    ASSERT_EQ(list_.lines.front().line.kind, LineKind::RegisteredHere) << list_.lines.front().detail;
    Run(Request(file, RunRequest::Task::Test));
    EXPECT_EQ(list_.lines.front().line.kind, LineKind::DoesNotWork);
    EXPECT_NE(list_.lines.front().detail.find("Class not registered (0x80040154)"), std::string::npos)
        << list_.lines.front().detail;
}

}  // namespace
