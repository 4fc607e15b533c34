// Result-line keys and the process set-up every test relies on.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "RecordingList.h"
#include "results/ResultList.h"

namespace {

using testsupport::RecordingList;

TEST(ResultListKeys, FollowTheCountAndRestartAfterClear) {
    RecordingList list;
    velquist::AddResultLine(list, "Registered : C:\\x.dll", velquist::kIconSuccess);
    velquist::AddResultLine(list, "Register operation completed", velquist::kIconProgram);
    ASSERT_EQ(list.lines.size(), 2u);
    EXPECT_EQ(list.lines[0].key, "a1");
    EXPECT_EQ(list.lines[1].key, "a2");
    EXPECT_EQ(list.lines[1].icon, 3);
    list.Clear();
    velquist::AddResultLine(list, "Register operation completed", velquist::kIconProgram);
    EXPECT_EQ(list.lines[0].key, "a1");
}

TEST(ProcessSetUp, ManifestMakesTheAnsiCodePageUtf8) {
    // The embedded manifest's activeCodePage lets the ANSI calls carry any path a user can type.
    EXPECT_EQ(::GetACP(), 65001u);
}

}  // namespace
