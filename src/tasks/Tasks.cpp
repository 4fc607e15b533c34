// The table of tasks, and the run functions of the inspections over InspectRun.
#include "tasks/Tasks.h"

#include <array>
#include <cstdio>

#include "registration/Details.h"
#include "resource.h"
#include "tasks/InspectRun.h"

namespace velquist {
namespace {

using Task = RunRequest::Task;
using namespace std::string_view_literals;

constexpr std::string_view kManifestFilter = "Manifests (*.manifest)\0*.manifest\0All files (*.*)\0*.*\0"sv;

// Rows in the order of RunRequest::Task, which is the Tools menu's.
constexpr std::array<TaskSpec, 9> kTasks{{
    {.task = Task::Change, .word = "", .menuId = 0, .menuText = "", .key = 0, .fileSwitch = false, .writesFile = false,
     .changesRegistry = true, .perUserApplies = true, .takesPath = true, .kind = RunKind::Register, .run = &ChangeRun,
     .exitCode = &CountedExitCode},
    {.task = Task::Check, .word = "check", .menuId = IDM_CHECK, .menuText = "Check registration\tCtrl+K", .key = 'K',
     .fileSwitch = false, .writesFile = false, .changesRegistry = false, .perUserApplies = true, .takesPath = true, .kind = RunKind::Check,
     .run = &CheckTaskRun, .exitCode = &CountedExitCode},
    {.task = Task::Test, .word = "test", .menuId = IDM_TEST, .menuText = "Test classes\tCtrl+T", .key = 'T',
     .fileSwitch = false, .writesFile = false, .changesRegistry = false, .perUserApplies = true, .takesPath = true, .kind = RunKind::Test,
     .run = &TestTaskRun, .exitCode = &CountedExitCode},
    {.task = Task::Export, .word = "export", .menuId = IDM_EXPORT, .menuText = "Export registration...\tCtrl+E",
     .key = 'E', .fileSwitch = true, .writesFile = true, .changesRegistry = false, .perUserApplies = true, .takesPath = true,
     .kind = RunKind::Export, .saveTitle = "Export registration", .saveName = "Velquist registration.reg",
     .saveFilter = kRegFilter, .saveExtension = "reg", .run = &ExportTaskRun, .exitCode = &CountedExitCode},
    {.task = Task::Removal, .word = "removal", .menuId = IDM_REMOVAL, .menuText = "Export removal...", .key = 0,
     .fileSwitch = true, .writesFile = true, .changesRegistry = false, .perUserApplies = true, .takesPath = true, .kind = RunKind::Export,
     .saveTitle = "Export removal", .saveName = "Velquist removal.reg", .saveFilter = kRegFilter,
     .saveExtension = "reg", .run = &ExportTaskRun, .exitCode = &CountedExitCode},
    // A manifest's classes are nobody's registration: per user or per machine means nothing to it.
    {.task = Task::Manifest, .word = "manifest", .menuId = IDM_MANIFEST, .menuText = "Export manifest...", .key = 0,
     .fileSwitch = true, .writesFile = true, .changesRegistry = false, .perUserApplies = false, .takesPath = true, .kind = RunKind::Export,
     .saveTitle = "Export manifest", .saveName = "", .saveFilter = kManifestFilter, .saveExtension = "manifest",
     .run = &ManifestTaskRun, .exitCode = &CountedExitCode},
    // The machine's own registrations, both hives and both views: the inputs' path and /user mean nothing.
    {.task = Task::Scan, .word = "scan", .menuId = IDM_SCAN, .menuText = "Find broken registrations\tCtrl+B", .key = 'B',
     .fileSwitch = false, .writesFile = false, .changesRegistry = false, .perUserApplies = false, .takesPath = false, .kind = RunKind::Scan,
     .run = &ScanTaskRun, .exitCode = &ScanExitCode},
    // The scan's findings removed, after a backup of all of them: /clean:BACKUP.reg.
    {.task = Task::Clean, .word = "clean", .menuId = IDM_CLEAN, .menuText = "Remove broken registrations...", .key = 0,
     .fileSwitch = true, .writesFile = false, .changesRegistry = true, .perUserApplies = false, .takesPath = false,
     .kind = RunKind::Clean, .saveTitle = "Back up the registrations to remove", .saveFilter = kRegFilter,
     .saveExtension = "reg", .run = &CleanTaskRun, .exitCode = &CleanExitCode},
    // An undo file's changes made here: how the window hands an undo to its restart as administrator.
    // Its command has no menu item.
    {.task = Task::PutBack, .word = "putback", .menuId = IDM_PUTBACK, .menuText = "", .key = 0, .fileSwitch = true,
     .writesFile = false, .changesRegistry = true, .perUserApplies = false, .takesPath = false, .kind = RunKind::Undo,
     .run = &PutBackTaskRun, .exitCode = &CountedExitCode},
}};

constexpr bool RowsInTaskOrder() {
    for (std::size_t i = 0; i < kTasks.size(); ++i) {
        if (static_cast<std::size_t>(kTasks[i].task) != i) return false;
    }
    return true;
}
static_assert(RowsInTaskOrder(), "kTasks is indexed by RunRequest::Task");

std::string Seconds(double seconds) {
    char time[32];
    std::snprintf(time, sizeof time, "%.1f", seconds);
    return time;
}

// An inspection's closing detail: its counts, the files checked and the time, and its note.
std::string InspectionDetail(TaskRun& run, const InspectionEnd& end) {
    RunSummary& summary = run.summary;
    summary.checked = run.control.checked;
    summary.stopped = run.control.stopped;
    return end.counts + ", " + modRegister::Grouped(summary.checked) + (summary.checked == 1 ? " file" : " files") +
           " checked in " + Seconds(run.Seconds()) + " s." + (end.note.empty() ? "" : " " + end.note);
}

}  // namespace

double TaskRun::Seconds() const {
    LARGE_INTEGER now{}, frequency{};
    ::QueryPerformanceCounter(&now);
    ::QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart > 0 ? static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart)
                                  : 0.0;
}

std::span<const TaskSpec> Tasks() noexcept { return kTasks; }

const TaskSpec& TaskOf(RunRequest::Task task) noexcept { return kTasks[static_cast<std::size_t>(task)]; }

const TaskSpec* TaskOfMenu(int menuId) noexcept {
    for (const TaskSpec& spec : kTasks) {
        if (spec.menuId != 0 && spec.menuId == menuId) return &spec;
    }
    return nullptr;
}

std::string TaskSwitches(std::string_view conjunction) {
    std::vector<std::string_view> words;
    for (const TaskSpec& spec : kTasks) {
        if (!spec.word.empty()) words.push_back(spec.word);
    }
    std::string text;
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (i > 0) text += i + 1 == words.size() ? " " + std::string(conjunction) + " " : ", ";
        text += "/" + std::string(words[i]);
    }
    return text;
}

int CountedExitCode(const RunSummary& summary) {
    switch (summary.end) {
        case RunSummary::End::NoFile:
        case RunSummary::End::NotComponent:
        case RunSummary::End::NoComponent:
        case RunSummary::End::Cancelled: return kExitNothingToDo;
        case RunSummary::End::Unloadable:
        case RunSummary::End::Refused: return kExitFailed;
        case RunSummary::End::Ran: break;
    }
    if (summary.failed > 0 || summary.unsettled > 0 || summary.stopped) return kExitFailed;
    if (WritesFile(summary.task) && summary.succeeded > 0 && !summary.written) return kExitFailed;
    return summary.succeeded > 0 ? kExitSucceeded : kExitNothingToDo;
}

std::string CheckTaskRun(TaskRun& run) {
    return InspectionDetail(run, CheckRun(run.request, run.session, run.list, run.showError, run.control, run.summary));
}

std::string TestTaskRun(TaskRun& run) {
    return InspectionDetail(run, TestRun(run.request, run.session, run.list, run.showError, run.control, run.summary));
}

std::string ExportTaskRun(TaskRun& run) {
    return InspectionDetail(run, ExportRun(run.request, run.target, run.session, run.list, run.control, run.summary));
}

std::string ManifestTaskRun(TaskRun& run) {
    return InspectionDetail(run, ManifestRun(run.request, run.target, run.session, run.list, run.control, run.summary));
}

}  // namespace velquist
