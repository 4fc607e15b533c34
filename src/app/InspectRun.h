// The runs that look at components without changing the machine: the check of their registration, and
// the export of it to a .reg file that registers or removes it.
#pragma once

#include <functional>
#include <string>

#include "app/Commands.h"

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

// The lines of a check, or of an export to `target`, of the request's inputs (one per component; the
// closing line is the caller's), with the counts in `summary`. A single file's errors go to
// showError, as in register runs.
InspectionEnd RunInspection(const RunRequest& request, const std::string& target, registration::Session& session,
                            ResultList& list, const std::function<void(const std::string&)>& showError,
                            RunControl& run, RunSummary& summary);

}  // namespace velquist
