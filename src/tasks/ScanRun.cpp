// The scan: the machine's own registrations read in both views and both hives, and a line for each
// missing file and each broken entry. Nothing is changed.
#include <cstdio>
#include <set>

#include "machine/Scan.h"
#include "registration/Details.h"
#include "tasks/Tasks.h"

namespace velquist {

std::string ScanTaskRun(TaskRun& run) {
    // Esc and the window's input are handled, and the stop asked for, as the keys are read.
    const auto keyRead = [&run] {
        run.control.OnInput();
        return !run.control.StopRequested();
    };
    const machine::Registrations registrations = machine::ReadRegistrations(machine::MachineRoots(), keyRead);
    run.summary.stopped = run.control.StopRequested();
    machine::FileLook look;
    const machine::Findings findings = machine::Judge(registrations, look);
    for (const machine::MissingFile& missing : findings.missing) {
        AddResultLine(run.list, {LineKind::Missing, missing.file, machine::MissingDetail(missing), RunKind::Scan});
    }
    for (const machine::BrokenEntry& broken : findings.broken) {
        AddResultLine(run.list, {LineKind::Broken, broken.name, broken.detail, RunKind::Scan});
    }
    run.summary.unsettled = static_cast<unsigned>(findings.missing.size() + findings.broken.size());
    run.summary.checked = look.Looked();

    std::set<std::string> libraries;
    for (const machine::TypeLibEntry& library : registrations.typeLibs) libraries.insert(library.libid);
    using modRegister::Counted;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", run.Seconds());
    return Counted(findings.missing.size(), "missing file", "missing files") + ", " +
           Counted(findings.broken.size(), "broken entry", "broken entries") + "; " +
           Counted(registrations.classes.size(), "class", "classes") + ", " +
           Counted(libraries.size(), "type library", "type libraries") + " and " +
           Counted(registrations.interfaces.size(), "interface", "interfaces") + " read in " + seconds +
           " s. Nothing was changed.";
}

int ScanExitCode(const RunSummary& summary) {
    return summary.unsettled > 0 || summary.stopped ? kExitFailed : kExitSucceeded;
}

}  // namespace velquist
