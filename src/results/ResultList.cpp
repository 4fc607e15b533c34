// Result-line keys ("a" followed by the line count before the add, plus one) and the line texts.
#include "results/ResultList.h"

namespace velquist {

namespace {

std::string Closing(RunKind run, bool stopped) {
    switch (run) {
        case RunKind::Register: return stopped ? "Register operation stopped" : "Register operation completed";
        case RunKind::Unregister: return stopped ? "Unregister operation stopped" : "Unregister operation completed";
        case RunKind::Check: return stopped ? "Check stopped" : "Check completed";
        case RunKind::Export: return stopped ? "Export stopped" : "Export completed";
        case RunKind::Test: return stopped ? "Test stopped" : "Test completed";
        case RunKind::Scan: return stopped ? "Scan stopped" : "Scan completed";
        case RunKind::Clean: return stopped ? "Clean stopped" : "Clean completed";
        case RunKind::Undo: return stopped ? "Undo stopped" : "Undo completed";
        case RunKind::Install: return stopped ? "Install operation stopped" : "Install operation completed";
        case RunKind::Uninstall: return stopped ? "Uninstall operation stopped" : "Uninstall operation completed";
    }
    return {};
}

}  // namespace

std::string ResultLine::Text() const {
    switch (kind) {
        case LineKind::Completed: return Closing(run, false);
        case LineKind::Stopped: return Closing(run, true);
        default: return std::string(ResultName(kind)) + " : " + path;
    }
}

int ResultLine::Icon() const noexcept {
    switch (kind) {
        case LineKind::Registered:
        case LineKind::Unregistered:
        case LineKind::RegisteredHere:
        case LineKind::Exported:
        case LineKind::Works:
        case LineKind::Removed:
        case LineKind::Restored:
        case LineKind::Installed:
        case LineKind::Uninstalled: return kIconSuccess;
        case LineKind::Failed: return kIconFailure;
        case LineKind::NotRegistered:
        case LineKind::RegisteredElsewhere:
        case LineKind::PartlyRegistered:
        case LineKind::DoesNotWork:
        case LineKind::Missing:
        case LineKind::Broken: return kIconWarning;
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
    return {registerFlag ? LineKind::Registered : LineKind::Unregistered, path, detail,
            registerFlag ? RunKind::Register : RunKind::Unregister};
}

ResultLine InstalledLine(bool install, const std::string& path, const std::string& detail) {
    return {install ? LineKind::Installed : LineKind::Uninstalled, path, detail,
            install ? RunKind::Install : RunKind::Uninstall};
}

ResultLine FailedLine(const std::string& path, const std::string& detail) {
    return {LineKind::Failed, path, detail};
}

ResultLine ClosingLine(bool registerFlag, bool stopped, const std::string& detail) {
    return ClosingLine(registerFlag ? RunKind::Register : RunKind::Unregister, stopped, detail);
}

ResultLine ClosingLine(RunKind run, bool stopped, const std::string& detail) {
    return {stopped ? LineKind::Stopped : LineKind::Completed, {}, detail, run};
}

const char* ResultName(LineKind kind) {
    switch (kind) {
        case LineKind::Registered: return "Registered";
        case LineKind::Unregistered: return "Unregistered";
        case LineKind::Failed: return "Failed";
        case LineKind::Completed: return "Completed";
        case LineKind::Stopped: return "Stopped";
        case LineKind::RegisteredHere: return "Registered here";
        case LineKind::NotRegistered: return "Not registered";
        case LineKind::RegisteredElsewhere: return "Registered elsewhere";
        case LineKind::PartlyRegistered: return "Partly registered";
        case LineKind::Exported: return "Exported";
        case LineKind::Works: return "Works";
        case LineKind::DoesNotWork: return "Does not work";
        case LineKind::Missing: return "Missing";
        case LineKind::Broken: return "Broken";
        case LineKind::Removed: return "Removed";
        case LineKind::Restored: return "Restored";
        case LineKind::Installed: return "Installed";
        case LineKind::Uninstalled: return "Uninstalled";
    }
    return "";
}

}  // namespace velquist
