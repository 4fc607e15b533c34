// The clean: what the scan finds broken and may go is named once and asked about, backed up whole to a
// .reg file, and only then deleted; a line for each missing file (or ProgID that names nothing).
#include <shlobj.h>

#include <cstdio>

#include <map>
#include <set>

#include "machine/Clean.h"
#include "registration/Details.h"
#include "results/RegFile.h"
#include "tasks/ScanRun.h"
#include "win32/Text.h"

namespace velquist {
namespace {

using machine::Removal;
using modRegister::Counted;

std::string Stamp(const char* format) {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    char text[64];
    std::snprintf(text, sizeof text, format, now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
    return text;
}

std::string Upper(std::string text) {
    ::CharUpperBuffA(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

// What a set of removals holds: "3 classes, 2 ProgIDs and 1 type library version".
std::string Contents(const std::vector<const Removal*>& removals) {
    std::size_t classes = 0, progIds = 0;
    std::set<std::string> versions;
    for (const Removal* removal : removals) {
        if (removal->kind == Removal::Kind::Class) ++classes;
        if (removal->kind == Removal::Kind::ProgId) ++progIds;
        if (removal->kind == Removal::Kind::TypeLib) versions.insert(Upper(removal->name));
    }
    std::vector<std::string> parts;
    if (classes > 0) parts.push_back(Counted(classes, "class", "classes"));
    if (progIds > 0) parts.push_back(Counted(progIds, "ProgID", "ProgIDs"));
    if (!versions.empty()) parts.push_back(Counted(versions.size(), "type library version", "type library versions"));
    return machine::ListedText(parts);
}

// The question asked once: "Remove 14 classes, 9 ProgIDs and 3 type library versions that point at 5
// missing files?"
std::string Question(const std::vector<Removal>& plan) {
    std::vector<const Removal*> pointing, orphans;
    std::set<std::string> files;
    for (const Removal& removal : plan) {
        (removal.file.empty() ? orphans : pointing).push_back(&removal);
        if (!removal.file.empty()) files.insert(Upper(removal.file));
    }
    std::string question = "Remove ";
    if (!pointing.empty()) question += Contents(pointing) + " that point at " + Counted(files.size(), "missing file", "missing files");
    if (!orphans.empty()) {
        question += std::string(pointing.empty() ? "" : ", and ") + Counted(orphans.size(), "ProgID", "ProgIDs") +
                    (orphans.size() == 1 ? " whose class is" : " whose classes are") + " registered nowhere";
    }
    return question + "?\n\nA backup that puts them back is written first.";
}

struct Group {
    std::vector<const Removal*> removals;
    std::set<machine::Place> places;
    LONG error = ERROR_SUCCESS;  // the first that kept a key
};

}  // namespace

std::string DefaultBackupPath(const std::string& suffix) {
    char documents[MAX_PATH] = {};
    const std::string name = Stamp("Velquist backup %04u-%02u-%02u %02u%02u%02u") + suffix + ".reg";
    if (FAILED(::SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, documents))) return name;
    return std::string(documents) + "\\" + name;
}

std::string CleanTaskRun(TaskRun& run) {
    const MachineScan scan = ScanMachine(run);
    RunSummary& summary = run.summary;
    if (summary.stopped) return "Stopped before anything was removed. " + ReadCounts(scan, run.Seconds());
    const std::vector<Removal> plan = machine::PlanClean(scan.roots, scan.registrations, scan.findings);
    if (plan.empty()) {
        return "Nothing broken was found that may be removed; nothing was changed. " + ReadCounts(scan, run.Seconds());
    }
    if (!run.control.Confirm(Question(plan))) {
        summary.end = RunSummary::End::Cancelled;
        return {};
    }
    const std::string backup = !run.request.target.empty()
                                   ? run.request.target
                                   : run.control.ChooseExportFile(RunRequest::Task::Clean, DefaultBackupPath());
    if (backup.empty()) {
        summary.end = RunSummary::End::Cancelled;
        return {};
    }
    // Nothing goes unless its backup is written whole first.
    std::wstring text;
    DWORD error = static_cast<DWORD>(machine::BackupText(plan, win32::Wide(Stamp("%04u-%02u-%02u %02u:%02u:%02u")), text));
    if (error == ERROR_SUCCESS && !SaveRegFile(backup, text, error)) {
        if (error == ERROR_SUCCESS) error = ERROR_WRITE_FAULT;
    }
    if (error != ERROR_SUCCESS) {
        const std::string reason = modRegister::CodeText(error);
        run.showError("The backup could not be written to " + backup + (reason.empty() ? "." : ": " + reason) +
                      "\n\nNothing was removed.");
        summary.end = RunSummary::End::Refused;
        return {};
    }
    summary.written = true;

    const std::vector<LONG> results = machine::Remove(plan);
    // One line for each missing file, or for each ProgID that names nothing, in the plan's order.
    std::vector<std::string> order;
    std::map<std::string, Group> groups;
    for (std::size_t i = 0; i < plan.size(); ++i) {
        const std::string key = plan[i].file.empty() ? plan[i].name : plan[i].file;
        auto [it, added] = groups.try_emplace(Upper(key));
        if (added) order.push_back(key);
        it->second.removals.push_back(&plan[i]);
        it->second.places.insert(plan[i].place);
        if (results[i] != ERROR_SUCCESS && it->second.error == ERROR_SUCCESS) it->second.error = results[i];
    }
    for (const std::string& key : order) {
        const Group& group = groups[Upper(key)];
        std::vector<std::string> places;
        for (const machine::Place& place : group.places) places.push_back(machine::PlaceText(place));
        const std::string where = " (" + machine::ListedText(places) + ").";
        if (group.error == ERROR_SUCCESS) {
            ++summary.succeeded;
            AddResultLine(run.list, {LineKind::Removed, key, "Removed " + Contents(group.removals) + where, RunKind::Clean});
        } else {
            ++summary.failed;
            summary.accessDenied = summary.accessDenied || group.error == ERROR_ACCESS_DENIED;
            std::string reason = modRegister::CodeText(static_cast<DWORD>(group.error));
            if (reason.empty()) reason = "It could not be removed.";
            if (reason.back() == '.') reason.pop_back();
            AddResultLine(run.list, {LineKind::Failed, key, reason + where, RunKind::Clean});
        }
    }
    return Counted(summary.succeeded, "removed", "removed") + ", " + Counted(summary.failed, "failed", "failed") + "; " +
           ReadCounts(scan, run.Seconds()) + " " + backup + " puts them back: double-click it, or reg import \"" + backup +
           "\", as administrator.";
}

int CleanExitCode(const RunSummary& summary) {
    switch (summary.end) {
        case RunSummary::End::Ran: break;
        case RunSummary::End::Cancelled: return kExitNothingToDo;
        default: return kExitFailed;  // the backup could not be written: nothing was removed
    }
    if (summary.failed > 0 || summary.stopped) return kExitFailed;
    return summary.succeeded > 0 ? kExitSucceeded : kExitNothingToDo;
}

}  // namespace velquist
