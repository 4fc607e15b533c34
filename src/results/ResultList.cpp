// Result-line keys ("a" followed by the line count before the add, plus one) and the line texts.
#include "results/ResultList.h"

#include <string_view>

namespace velquist {
namespace {

constexpr std::string_view kRegistered = "Registered : ";
constexpr std::string_view kUnregistered = "Unregistered : ";
constexpr std::string_view kFailed = "Failed : ";
constexpr std::string_view kStopped = " operation stopped";

bool StartsWith(const std::string& text, std::string_view prefix) { return text.compare(0, prefix.size(), prefix) == 0; }

}  // namespace

void AddResultLine(ResultList& list, const ResultLine& line) {
    // Appended piecewise: GCC 12 warns falsely (-Wrestrict) on "a" + std::to_string(...).
    std::string key = "a";
    key += std::to_string(list.Count() + 1);
    list.Add(key, line);
}

void AddResultLine(ResultList& list, const std::string& text, int icon, const std::string& detail) {
    AddResultLine(list, ResultLine{text, icon, detail});
}

ResultLine SuccessLine(bool registerFlag, const std::string& path, const std::string& detail) {
    return {std::string(registerFlag ? kRegistered : kUnregistered) + path, kIconSuccess, detail};
}

ResultLine FailedLine(const std::string& path, const std::string& detail) {
    return {std::string(kFailed) + path, kIconFailure, detail};
}

ResultLine ClosingLine(bool registerFlag, bool stopped, const std::string& detail) {
    std::string text = registerFlag ? "Register" : "Unregister";
    text += stopped ? " operation stopped" : " operation completed";
    return {text, kIconProgram, detail};
}

LineResult ResultOf(const ResultLine& line, std::string* path) {
    const auto named = [&](std::string_view prefix, LineResult result) {
        if (path != nullptr) *path = line.text.substr(prefix.size());
        return result;
    };
    if (path != nullptr) path->clear();
    if (line.icon == kIconProgram) {
        const bool stopped = line.text.size() >= kStopped.size() &&
                             line.text.compare(line.text.size() - kStopped.size(), kStopped.size(), kStopped) == 0;
        return stopped ? LineResult::Stopped : LineResult::Completed;
    }
    if (StartsWith(line.text, kRegistered)) return named(kRegistered, LineResult::Registered);
    if (StartsWith(line.text, kUnregistered)) return named(kUnregistered, LineResult::Unregistered);
    if (StartsWith(line.text, kFailed)) return named(kFailed, LineResult::Failed);
    if (path != nullptr) *path = line.text;
    return line.icon == kIconSuccess ? LineResult::Registered : LineResult::Failed;
}

const char* ResultName(LineResult result) {
    switch (result) {
        case LineResult::Registered: return "Registered";
        case LineResult::Unregistered: return "Unregistered";
        case LineResult::Failed: return "Failed";
        case LineResult::Completed: return "Completed";
        case LineResult::Stopped: return "Stopped";
    }
    return "";
}

}  // namespace velquist
