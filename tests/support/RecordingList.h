// A result list that only records what it is given, for tests of the code that writes the lines.
#pragma once

#include <string>
#include <vector>

#include "results/ResultList.h"

namespace testsupport {

struct RecordingList : velquist::ResultList {
    struct Line {
        std::string key, text;
        int icon;
        std::string detail;
        velquist::ResultLine line;
    };
    std::vector<Line> lines;
    void Clear() override { lines.clear(); }
    int Count() const override { return static_cast<int>(lines.size()); }
    void Add(const std::string& key, const velquist::ResultLine& line) override {
        lines.push_back({key, line.Text(), line.Icon(), line.detail, line});
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const Line& line : lines) texts.push_back(line.text);
        return texts;
    }
};

}  // namespace testsupport
