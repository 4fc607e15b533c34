// Result-line keys ("a" followed by the line count before the add, plus one) and the line texts.
#include "results/ResultList.h"

namespace velquist {

std::string ResultLine::Text() const {
    switch (kind) {
        case LineKind::Registered: return "Registered : " + path;
        case LineKind::Unregistered: return "Unregistered : " + path;
        case LineKind::Failed: return "Failed : " + path;
        case LineKind::Completed: return registerRun ? "Register operation completed" : "Unregister operation completed";
        case LineKind::Stopped: return registerRun ? "Register operation stopped" : "Unregister operation stopped";
    }
    return path;
}

int ResultLine::Icon() const noexcept {
    switch (kind) {
        case LineKind::Registered:
        case LineKind::Unregistered: return kIconSuccess;
        case LineKind::Failed: return kIconFailure;
        case LineKind::Completed:
        case LineKind::Stopped: return kIconProgram;
    }
    return kIconProgram;
}

void AddResultLine(ResultList& list, const ResultLine& line) {
    // Appended piecewise: GCC 12 warns falsely (-Wrestrict) on "a" + std::to_string(...).
    std::string key = "a";
    key += std::to_string(list.Count() + 1);
    list.Add(key, line);
}

ResultLine SuccessLine(bool registerFlag, const std::string& path, const std::string& detail) {
    return {registerFlag ? LineKind::Registered : LineKind::Unregistered, path, detail, registerFlag};
}

ResultLine FailedLine(const std::string& path, const std::string& detail) {
    return {LineKind::Failed, path, detail};
}

ResultLine ClosingLine(bool registerFlag, bool stopped, const std::string& detail) {
    return {stopped ? LineKind::Stopped : LineKind::Completed, {}, detail, registerFlag};
}

const char* ResultName(LineKind kind) {
    switch (kind) {
        case LineKind::Registered: return "Registered";
        case LineKind::Unregistered: return "Unregistered";
        case LineKind::Failed: return "Failed";
        case LineKind::Completed: return "Completed";
        case LineKind::Stopped: return "Stopped";
    }
    return "";
}

}  // namespace velquist
