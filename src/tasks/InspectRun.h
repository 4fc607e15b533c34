// The runs that look at components without changing the machine: the check of their registration, the
// test of their classes, and the export of it to a .reg file that registers or removes it.
#pragma once

#include <functional>
#include <string>

#include "tasks/Commands.h"
#include "inspect/CheckRegistration.h"

namespace velquist {

// An export's file, settled before the list is touched: false when the run goes no further (a single
// file that is no component, told through showError; no file chosen), with summary.end saying why.
// True with `target` empty for a folder that holds no component.
bool ChooseExportTarget(const RunRequest& request, registration::Session& session,
                        const std::function<void(const std::string&)>& showError, RunControl& run, RunSummary& summary,
                        std::string& target);

// What the closing line of a check or an export says besides the files checked and the time.
struct InspectionEnd {
    std::string counts;  // "2 exported, 0 failed"
    std::string note;    // "Registration written to C:\app.reg."; "" for none
};

// Every file of the inputs, as a register run takes them: the single file, or the folder's walk.
void ForEachFile(const RunRequest& request, RunControl& run, const std::function<void(const std::string&)>& visit);

// A single file that is no component ("This file is not an ActiveX component"), or one that could not
// be loaded (with `reason` as a second paragraph), told through showError; summary.end says which.
void TellNotComponent(const std::function<void(const std::string&)>& showError, RunSummary& summary,
                      const std::string& reason = {});

// Each component of the inputs captured and checked against the machine, side by side with the next
// in a folder (see Module1::SideBySide); for each, `step` is called where it was checked, with the
// session it was captured in, and what it returns is done in the walk's order. A single file that is
// none, or cannot be loaded, is told through showError; a component that cannot be captured gets its
// "Failed" line (counted in summary.failed).
using CheckedStep = std::function<std::function<void()>(registration::Session& session, const std::string& path,
                                                        const capture::Capture& captured, const check::CheckResult& check)>;
void ForEachCheckedComponent(const RunRequest& request, registration::Session& session, ResultList& list,
                             const std::function<void(const std::string&)>& showError, RunControl& run,
                             RunSummary& summary, const CheckedStep& step);

// The line kind of a check's verdict.
LineKind KindOf(check::Verdict verdict);

// The lines of a class test of the request's inputs (one per component), with the counts in `summary`:
// a component registered here is "Works" or "Does not work"; any other gets its check line.
InspectionEnd TestRun(const RunRequest& request, registration::Session& session, ResultList& list,
                      const std::function<void(const std::string&)>& showError, RunControl& run, RunSummary& summary);

// The lines of a check of the request's inputs (one per component; the closing line is the caller's),
// with the counts in `summary`. A single file's errors go to showError, as in register runs.
InspectionEnd CheckRun(const RunRequest& request, registration::Session& session, ResultList& list,
                       const std::function<void(const std::string&)>& showError, RunControl& run, RunSummary& summary);

// The lines of an export to `target` ("" for a folder without components): each component captured,
// then one .reg file that registers them (or, for a removal, removes them).
InspectionEnd ExportRun(const RunRequest& request, const std::string& target, registration::Session& session,
                        ResultList& list, RunControl& run, RunSummary& summary);

// The lines of a manifest export to `target`: each component captured into one manifest, written whole.
InspectionEnd ManifestRun(const RunRequest& request, const std::string& target, registration::Session& session,
                          ResultList& list, RunControl& run, RunSummary& summary);

}  // namespace velquist
