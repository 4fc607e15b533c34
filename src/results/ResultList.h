// The result list as its writers see it: lines of kind, path and detail, under keys; the line texts.
#pragma once

#include <string>

namespace velquist {

// Icon indexes into ImageList1, counted from 1.
enum ResultIcon : int { kIconSuccess = 1, kIconFailure = 2, kIconProgram = 3, kIconWarning = 4 };

// What a line says. The report names it (ResultName); its text and icon follow from it.
enum class LineKind {
    Registered, Unregistered, Failed, Completed, Stopped,
    RegisteredHere, NotRegistered, RegisteredElsewhere, PartlyRegistered,  // a check's verdicts
    Exported,
    Works, DoesNotWork,  // a class test's verdicts
    Missing, Broken,     // a scan's findings: a file registrations name, an entry that points at nothing
    Removed,             // a clean's: what pointed at a missing file (or at nothing), removed
    Restored,            // an undo's: a component's registry keys put back as they were before its call
    Installed, Uninstalled,  // DllInstall called alone: it succeeded
};

// What a run did: its closing line says it.
enum class RunKind { Register, Unregister, Check, Export, Test, Scan, Clean, Undo, Install, Uninstall };

// One line of the list: data. What it shows is derived (Text, Icon), never parsed back.
struct ResultLine {
    LineKind kind = LineKind::Completed;
    std::string path;          // the component; "" for a closing line
    std::string detail;        // why, in a sentence or two: the row's tip, its message, copied and saved
    RunKind run = RunKind::Register;  // closing lines: the run they close

    // "Registered : PATH" / "Unregistered : PATH" (success icon), "Failed : PATH" (failure icon), and the
    // closing line "Register operation completed" (program icon) or, for a run that was stopped,
    // "Register operation stopped"; "Unregister ..." when un-registering. A check's "Registered here : "
    // (success icon), "Not registered : ", "Registered elsewhere : ", "Partly registered : " (warning
    // icon), closed by "Check completed" or "Check stopped"; an export's "Exported : " (success icon),
    // closed by "Export completed" or "Export stopped"; a class test's "Works : " (success icon) and
    // "Does not work : " (warning icon), closed by "Test completed" or "Test stopped"; a scan's "Missing : "
    // (a file) and "Broken : " (an entry), warning icon, closed by "Scan completed" or "Scan stopped"; a
    // clean's "Removed : " (success icon) and "Failed : ", closed by "Clean completed" or "Clean stopped";
    // an undo's "Restored : " (success icon) and "Failed : ", closed by "Undo completed"; DllInstall's
    // alone "Installed : " / "Uninstalled : " (success icon), closed by "Install operation completed" or
    // "Uninstall operation completed" ("... stopped").
    std::string Text() const;
    int Icon() const noexcept;
    friend bool operator==(const ResultLine&, const ResultLine&) = default;
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

// The lines of a run.
ResultLine SuccessLine(bool registerFlag, const std::string& path, const std::string& detail = {});
ResultLine FailedLine(const std::string& path, const std::string& detail = {});
// "Installed : PATH" (install) or "Uninstalled : PATH": DllInstall called alone succeeded.
ResultLine InstalledLine(bool install, const std::string& path, const std::string& detail = {});
ResultLine ClosingLine(bool registerFlag, bool stopped, const std::string& detail = {});
ResultLine ClosingLine(RunKind run, bool stopped, const std::string& detail = {});

// The word the report gives a line's kind: "Registered", "Failed", "Completed", ...
const char* ResultName(LineKind kind);

}  // namespace velquist
