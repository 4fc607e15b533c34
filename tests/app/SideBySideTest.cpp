// A folder's check, test and export with runners side by side give what one after another gives:
// the same lines in the same order, the same file, and the machine as it was.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "RecordingList.h"
#include "TestComponents.h"
#include "TestSupport.h"
#include "tasks/Commands.h"

using velquist::RunRequest;

namespace {

std::string Contents(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// Every line but the closing line's detail, which gives the time the run took.
std::vector<std::string> Lines(const testsupport::RecordingList& list) {
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < list.lines.size(); ++i) {
        const auto& line = list.lines[i];
        lines.push_back(line.key + "|" + line.text + "|" + std::to_string(line.icon) +
                        (i + 1 < list.lines.size() ? "|" + line.detail : ""));
    }
    return lines;
}

class SideBySideTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Components of both bitnesses taking turns in the walk (the lanes' guard changes hands at
        // each), one registered here, one registered from elsewhere, one that fails, one that crashes,
        // and a file that is no component.
        const struct {
            const char* name;
            std::string from;
        } files[] = {
            {"a_typed.dll", testsupport::ComponentPath(VELQUIST_TYPED_DLL)},
            {"b_creatable.dll", testsupport::ComponentPath(VELQUIST_CREATABLE_DLL)},
            {"c_typed_other.dll", testsupport::OtherComponentPath(VELQUIST_TYPED_DLL)},
            {"d_comserver.dll", testsupport::ComponentPath(VELQUIST_COMSERVER_DLL)},
            {"e_creatable_other.dll", testsupport::OtherComponentPath(VELQUIST_CREATABLE_DLL)},
            {"f_failing.dll", testsupport::ComponentPath(VELQUIST_FAILING_DLL)},
            {"g_crashing.dll", testsupport::ComponentPath(VELQUIST_CRASHING_DLL)},
            {"h_comserver2.dll", testsupport::ComponentPath(VELQUIST_COMSERVER2_DLL)},
            {"i_noEntry.dll", testsupport::ComponentPath(VELQUIST_NOENTRY_DLL)},
        };
        ASSERT_TRUE(testsupport::MakeDirs(dir_ / "set") && testsupport::MakeDirs(dir_ / "elsewhere"));
        for (const auto& file : files) ASSERT_TRUE(testsupport::CopyTo(file.from, dir_ / ("set\\" + std::string(file.name))));
        ASSERT_TRUE(testsupport::CopyTo(testsupport::ComponentPath(VELQUIST_COMSERVER2_DLL), elsewhere_));
        Change(dir_ / "set\\b_creatable.dll", true);
        Change(elsewhere_, true);
    }
    void TearDown() override {
        Change(dir_ / "set\\b_creatable.dll", false);
        Change(elsewhere_, false);
        session_.EndRunners();
    }
    void Change(const std::string& path, bool registerFlag) {
        testsupport::RecordingList list;
        velquist::Execute({RunRequest::Mode::SingleFile, path, false, registerFlag}, session_, list,
                          [](const std::string&) {});
    }

    testsupport::TempDir dir_;
    const std::string elsewhere_ = dir_ / "elsewhere\\comserver2.dll";
    registration::Session session_{testsupport::BuildRunners()};
};

TEST_F(SideBySideTest, ChecksTestsAndExportsGiveTheLinesOfOneAfterAnother) {
    ASSERT_TRUE(testsupport::OtherBitnessRuns());
    for (const RunRequest::Task task : {RunRequest::Task::Check, RunRequest::Task::Test, RunRequest::Task::Export}) {
        SCOPED_TRACE(static_cast<int>(task));
        std::vector<std::string> lines[2];
        std::string files[2];
        velquist::RunSummary summaries[2];
        for (const bool oneAtATime : {true, false}) {
            const testsupport::MachineRegistry before = testsupport::MachineRegistry::Read();
            const std::string target = dir_ / (oneAtATime ? "one.reg" : "two.reg");
            RunRequest request{RunRequest::Mode::Directory, dir_ / "set", false, true, false, task, target};
            request.oneAtATime = oneAtATime;
            testsupport::RecordingList list;
            summaries[oneAtATime] = velquist::Execute(request, session_, list, [](const std::string& message) {
                ADD_FAILURE() << message;
            });
            lines[oneAtATime] = Lines(list);
            if (task == RunRequest::Task::Export) files[oneAtATime] = Contents(target);
            EXPECT_EQ(before.FirstDifference(testsupport::MachineRegistry::Read()), L"") << oneAtATime;
        }
        EXPECT_EQ(lines[0], lines[1]);
        EXPECT_EQ(files[0], files[1]);
        EXPECT_EQ(summaries[0].succeeded, summaries[1].succeeded);
        EXPECT_EQ(summaries[0].failed, summaries[1].failed);
        EXPECT_EQ(summaries[0].unsettled, summaries[1].unsettled);
        // Something of each kind was there to be told apart: captured, failed, and (but for the export)
        // not registered here.
        EXPECT_GE(lines[1].size(), 7u);
        EXPECT_GE(summaries[1].succeeded, 1u);
        EXPECT_GE(summaries[1].failed, 2u);
        if (task != RunRequest::Task::Export) {
            EXPECT_GE(summaries[1].unsettled, 3u);
        }
    }
}

}  // namespace
