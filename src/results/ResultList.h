// The result list as its writers see it: lines of text, icon and detail, under keys; the line texts.
#pragma once

#include <string>

namespace velquist {

// Icon indexes into ImageList1, counted from 1.
enum ResultIcon : int { kIconSuccess = 1, kIconFailure = 2, kIconProgram = 3 };

// One line of the list.
struct ResultLine {
    std::string text;         // what the row shows
    int icon = kIconProgram;
    std::string detail;       // why, in a sentence or two: the row's tip, its message, copied and saved
};

class ResultList {
public:
    virtual ~ResultList() = default;
    virtual void Clear() = 0;
    virtual int Count() const = 0;
    // Appends at the end; key "a" + (Count() + 1) is the caller's, see AddResultLine.
    virtual void Add(const std::string& key, const ResultLine& line) = 0;
};

// Appends the line under the next key: "a" followed by the line count before the add plus one.
void AddResultLine(ResultList& list, const ResultLine& line);
void AddResultLine(ResultList& list, const std::string& text, int icon, const std::string& detail = {});

// The lines' texts: "Registered : PATH" / "Unregistered : PATH" (success icon), "Failed : PATH"
// (failure icon), and the closing line "Register operation completed" (program icon) or, for a run
// that was stopped, "Register operation stopped"; "Unregister ..." when un-registering.
ResultLine SuccessLine(bool registerFlag, const std::string& path, const std::string& detail = {});
ResultLine FailedLine(const std::string& path, const std::string& detail = {});
ResultLine ClosingLine(bool registerFlag, bool stopped, const std::string& detail = {});

// What a line says, as the report names it, and the path it names ("" for the closing line).
enum class LineResult { Registered, Unregistered, Failed, Completed, Stopped };
LineResult ResultOf(const ResultLine& line, std::string* path = nullptr);
const char* ResultName(LineResult result);

}  // namespace velquist
