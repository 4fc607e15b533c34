// The scan: the machine's own registrations read in both views and both hives, and a line for each
// missing file and each broken entry. Nothing is changed.
#include "tasks/ScanRun.h"

#include <cstdio>
#include <set>

#include "registration/Details.h"

namespace velquist {

MachineScan ScanMachine(TaskRun& run) {
    MachineScan scan;
    scan.roots = machine::MachineRoots();
    // Esc and the window's input are handled, and the stop asked for, as the keys are read.
    const auto keyRead = [&run] {
        run.control.OnInput();
        return !run.control.StopRequested();
    };
    scan.registrations = machine::ReadRegistrations(scan.roots, keyRead);
    run.summary.stopped = run.control.StopRequested();
    machine::FileLook look;
    scan.findings = machine::Judge(scan.registrations, look);
    scan.looked = look.Looked();
    run.summary.checked = scan.looked;
    return scan;
}

std::string ReadCounts(const MachineScan& scan, double seconds) {
    std::set<std::string> libraries;
    for (const machine::TypeLibEntry& library : scan.registrations.typeLibs) libraries.insert(library.libid);
    using modRegister::Counted;
    char time[32];
    std::snprintf(time, sizeof time, "%.1f", seconds);
    return Counted(scan.registrations.classes.size(), "class", "classes") + ", " +
           Counted(libraries.size(), "type library", "type libraries") + " and " +
           Counted(scan.registrations.interfaces.size(), "interface", "interfaces") + " read in " + time + " s.";
}

std::string ScanTaskRun(TaskRun& run) {
    const MachineScan scan = ScanMachine(run);
    for (const machine::MissingFile& missing : scan.findings.missing) {
        AddResultLine(run.list, {LineKind::Missing, missing.file, machine::MissingDetail(missing), RunKind::Scan});
    }
    for (const machine::BrokenEntry& broken : scan.findings.broken) {
        AddResultLine(run.list, {LineKind::Broken, broken.name, broken.detail, RunKind::Scan});
    }
    run.summary.unsettled = static_cast<unsigned>(scan.findings.missing.size() + scan.findings.broken.size());
    using modRegister::Counted;
    return Counted(scan.findings.missing.size(), "missing file", "missing files") + ", " +
           Counted(scan.findings.broken.size(), "broken entry", "broken entries") + "; " +
           ReadCounts(scan, run.Seconds()) + " Nothing was changed.";
}

int ScanExitCode(const RunSummary& summary) {
    return summary.unsettled > 0 || summary.stopped ? kExitFailed : kExitSucceeded;
}

}  // namespace velquist
