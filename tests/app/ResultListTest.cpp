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
    velquist::AddResultLine(list, velquist::SuccessLine(true, "C:\\x.dll"));
    velquist::AddResultLine(list, velquist::ClosingLine(true, false));
    ASSERT_EQ(list.lines.size(), 2u);
    EXPECT_EQ(list.lines[0].key, "a1");
    EXPECT_EQ(list.lines[1].key, "a2");
    list.Clear();
    velquist::AddResultLine(list, velquist::ClosingLine(true, false));
    EXPECT_EQ(list.lines[0].key, "a1");
}

// A line is its kind, path and detail; the text, the icon and the report's word all follow from them.
TEST(ResultLines, TextIconAndNameFollowFromTheKind) {
    using velquist::LineKind;
    const struct {
        velquist::ResultLine line;
        const char* text;
        int icon;
        const char* name;
    } cases[] = {
        {velquist::SuccessLine(true, "C:\\a b.dll"), "Registered : C:\\a b.dll", velquist::kIconSuccess, "Registered"},
        {velquist::SuccessLine(false, "C:\\a.ocx"), "Unregistered : C:\\a.ocx", velquist::kIconSuccess, "Unregistered"},
        {velquist::FailedLine("D:\\Failed : x.dll", "why"), "Failed : D:\\Failed : x.dll", velquist::kIconFailure, "Failed"},
        {velquist::ClosingLine(true, false), "Register operation completed", velquist::kIconProgram, "Completed"},
        {velquist::ClosingLine(false, false), "Unregister operation completed", velquist::kIconProgram, "Completed"},
        {velquist::ClosingLine(true, true), "Register operation stopped", velquist::kIconProgram, "Stopped"},
        {velquist::ClosingLine(false, true), "Unregister operation stopped", velquist::kIconProgram, "Stopped"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.line.Text(), c.text);
        EXPECT_EQ(c.line.Icon(), c.icon) << c.text;
        EXPECT_STREQ(velquist::ResultName(c.line.kind), c.name) << c.text;
    }
    // The path is kept as given, even where it looks like a line's text.
    EXPECT_EQ(cases[2].line.path, "D:\\Failed : x.dll");
    EXPECT_TRUE(cases[3].line.path.empty());
}

TEST(ProcessSetUp, ManifestMakesTheAnsiCodePageUtf8) {
    // The embedded manifest's activeCodePage lets the ANSI calls carry any path a user can type.
    EXPECT_EQ(::GetACP(), 65001u);
}

}  // namespace
