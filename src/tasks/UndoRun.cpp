// The undo of a run: each component put back, a line each.
#include "tasks/UndoRun.h"

#include <windows.h>

#include "registration/Details.h"
#include "results/RegFile.h"
#include "results/RegImport.h"
#include "tasks/Tasks.h"
#include "win32/Paths.h"
#include "win32/Text.h"

namespace velquist {
namespace {

constexpr std::size_t kListed = 5;  // keys and values named in a detail; the rest counted

// "A, B and 3 more left as it is: changed since the run."; "" for none.
std::string LeftAsIs(const std::vector<std::wstring>& left) {
    if (left.empty()) return {};
    std::string text;
    const std::size_t named = left.size() > kListed ? kListed : left.size();
    for (std::size_t i = 0; i < named; ++i) {
        text += (i == 0 ? "" : i + 1 == named && named == left.size() ? " and " : ", ") + win32::Narrow(left[i]);
    }
    if (named < left.size()) text += " and " + modRegister::Grouped(left.size() - named) + " more";
    return text + " left as it is: changed since the run.";
}

// A component put back, or not wholly (`error`, with `accessHint` where access was denied); `left`
// names what was left as it is.
ResultLine PutBackLine(const std::string& path, LONG error, const std::string& accessHint, const std::string& left) {
    if (error != ERROR_SUCCESS) {
        std::string reason = modRegister::CodeText(static_cast<DWORD>(error));
        if (reason.empty()) reason = "The registry refused a change (error " + std::to_string(error) + ").";
        std::string detail = "Not everything could be put back: " + reason;
        if (error == ERROR_ACCESS_DENIED) detail += accessHint;
        return FailedLine(path, left.empty() ? detail : detail + " " + left);
    }
    const std::string detail = "Put back as it was before the run.";
    return {LineKind::Restored, path, left.empty() ? detail : detail + " " + left, RunKind::Undo};
}

ResultLine LineOf(const undo::ComponentRecord& record, const undo::UndoOutcome& outcome) {
    if (!record.captured) {
        return FailedLine(record.path, "What it registers could not be read before its call, so nothing of it was "
                                       "recorded and nothing could be put back.");
    }
    if (!record.Changed()) return {LineKind::Restored, record.path, "It had changed nothing.", RunKind::Undo};
    return PutBackLine(record.path, outcome.error,
                       " File > Save undo file... writes a file that puts it back when imported as administrator.",
                       LeftAsIs(outcome.leftAsIs));
}

std::string Counts(unsigned restored, unsigned failed) {
    return modRegister::Grouped(restored) + " restored, " + modRegister::Grouped(failed) + " failed.";
}

// A component's comment in an undo file: its full path.
bool NamesAFile(const std::wstring& comment) {
    return (comment.size() > 2 && comment[1] == L':') || comment.rfind(L"\\\\", 0) == 0;
}

std::string TempFolder() {
    char folder[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathA(static_cast<DWORD>(std::size(folder)), folder);
    if (length == 0 || length > MAX_PATH) return {};
    std::string path(folder, length);
    while (path.size() > 3 && path.back() == '\\') path.pop_back();
    return path;
}

// Whether the file is one the window handed over: in the temporary folder, under the name it gives them.
bool IsHandOver(const std::string& file) {
    DWORD error = ERROR_SUCCESS;
    const std::string full = win32::FullPath(file, error);
    const std::string folder = TempFolder();
    if (full.empty() || folder.empty()) return false;
    const std::string name = full.substr(full.find_last_of('\\') + 1);
    return _stricmp(win32::FolderOf(full).c_str(), folder.c_str()) == 0 && name.rfind(kHandOverPrefix, 0) == 0;
}

}  // namespace

UndoSummary UndoRun(undo::RunRecord& record, ResultList& list) {
    list.Clear();
    const std::vector<undo::ComponentRecord>& components = record.Components();
    std::vector<undo::UndoOutcome> outcomes(components.size());
    for (std::size_t i = components.size(); i-- > 0;) outcomes[i] = undo::Undo(components[i]);
    UndoSummary summary;
    for (std::size_t i = 0; i < components.size(); ++i) {
        const ResultLine line = LineOf(components[i], outcomes[i]);
        ++(line.kind == LineKind::Restored ? summary.restored : summary.failed);
        if (outcomes[i].error == ERROR_ACCESS_DENIED) summary.accessDenied = true;
        AddResultLine(list, line);
    }
    AddResultLine(list, ClosingLine(RunKind::Undo, false, Counts(summary.restored, summary.failed)));
    if (summary.failed == 0) record.Clear();
    return summary;
}

bool UndoFile::Start(std::string& why) { return Grew(why); }

std::string UndoFile::WayBack() const { return "Importing " + path_ + " puts back what it changed (reg import)."; }

bool UndoFile::Grew(std::string& why) {
    std::wstring text;
    DWORD error = ERROR_SUCCESS;
    if (!undo::UndoText(Components(), text)) {
        why = "The undo file " + path_ + " cannot hold a key or value name with a line break; nothing more was called.";
        return false;
    }
    if (SaveRegFile(path_, text, error)) return true;
    const std::string reason = modRegister::CodeText(error);
    why = "The undo file " + path_ + " could not be written" + (reason.empty() ? "." : ": " + reason) +
          " Nothing more was called.";
    return false;
}

std::string HandOverPath() {
    const std::string folder = TempFolder();
    if (folder.empty()) return {};
    LARGE_INTEGER now{};
    ::QueryPerformanceCounter(&now);
    return win32::JoinPath(folder, std::string(kHandOverPrefix) + std::to_string(::GetCurrentProcessId()) + "." +
                                       std::to_string(static_cast<unsigned long long>(now.QuadPart)) + ".reg");
}

std::string PutBackTaskRun(TaskRun& run) {
    const std::string& file = run.request.target;
    std::wstring text;
    DWORD error = ERROR_SUCCESS;
    std::vector<RegSection> sections;
    std::string why;
    const bool read = ReadRegFile(file, text, error);
    if (read && IsHandOver(file)) ::DeleteFileW(win32::Wide(file).c_str());  // handed over: read, it is done with
    if (!read || !ParseRegText(text, sections, why)) {
        if (!read) {
            const std::string reason = modRegister::CodeText(error);
            why = reason.empty() ? "Error " + std::to_string(error) + "." : reason;
        }
        run.showError("The undo file " + file + " could not be read. " + why);
        run.summary.end = RunSummary::End::Refused;
        return {};
    }
    // The file holds the components last first, each after a comment naming it; the lines go in the
    // run's order. Changes before any component's comment are the file's own.
    std::vector<ResultLine> lines;
    for (const RegSection& section : sections) {
        const bool component = NamesAFile(section.comment);
        if (!component && section.edits.empty()) continue;
        const std::string path = component ? win32::Narrow(section.comment) : file;
        if (section.edits.empty()) {
            lines.push_back({LineKind::Restored, path, "It had changed nothing.", RunKind::Undo});
            continue;
        }
        const LONG result = ApplyRegEdits(section.edits);
        if (result == ERROR_ACCESS_DENIED) run.summary.accessDenied = true;
        lines.push_back(PutBackLine(path, result, " Import the undo file as administrator.", ""));
    }
    for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
        ++(line->kind == LineKind::Restored ? run.summary.succeeded : run.summary.failed);
        AddResultLine(run.list, *line);
    }
    return Counts(run.summary.succeeded, run.summary.failed);
}

}  // namespace velquist
