// Result-line keys and the process set-up every test relies on.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "app/ResultList.h"

namespace {

struct RecordingList : velquist::ResultList {
    struct Line {
        std::string key, text;
        int icon;
    };
    std::vector<Line> lines;
    void Clear() override { lines.clear(); }
    int Count() const override { return static_cast<int>(lines.size()); }
    void Add(const std::string& key, const std::string& text, int icon) override {
        lines.push_back({key, text, icon});
    }
};

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
