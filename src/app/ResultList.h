// The result list as its writers see it: clear, count, and add a keyed line with an icon.
#pragma once

#include <string>

namespace velquist {

// Icon indexes into ImageList1, counted from 1.
enum ResultIcon : int { kIconSuccess = 1, kIconFailure = 2, kIconProgram = 3 };

class ResultList {
public:
    virtual ~ResultList() = default;
    virtual void Clear() = 0;
    virtual int Count() const = 0;
    // Appends at the end; key "a" + (Count() + 1) is the caller's, see AddResultLine.
    virtual void Add(const std::string& key, const std::string& text, int icon) = 0;
};

// Appends text with icon under the next key: "a" followed by the line count before the add plus one.
void AddResultLine(ResultList& list, const std::string& text, int icon);

}  // namespace velquist
