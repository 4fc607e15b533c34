// The undo of a run: each component put back, a line each.
#include "tasks/UndoRun.h"

#include "registration/Details.h"
#include "results/RegFile.h"
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

ResultLine LineOf(const undo::ComponentRecord& record, const undo::UndoOutcome& outcome) {
    if (!record.captured) {
        return FailedLine(record.path, "What it registers could not be read before its call, so nothing of it was "
                                       "recorded and nothing could be put back.");
    }
    if (!record.Changed()) return {LineKind::Restored, record.path, "It had changed nothing.", RunKind::Undo};
    const std::string left = LeftAsIs(outcome.leftAsIs);
    if (outcome.error != ERROR_SUCCESS) {
        std::string reason = modRegister::CodeText(outcome.error);
        if (reason.empty()) reason = "The registry refused a change (error " + std::to_string(outcome.error) + ").";
        std::string detail = "Not everything could be put back: " + reason;
        if (outcome.error == ERROR_ACCESS_DENIED) {
            detail += " File > Save undo file... writes a file that puts it back when imported as administrator.";
        }
        return FailedLine(record.path, left.empty() ? detail : detail + " " + left);
    }
    const std::string detail = "Put back as it was before the run.";
    return {LineKind::Restored, record.path, left.empty() ? detail : detail + " " + left, RunKind::Undo};
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
    AddResultLine(list, ClosingLine(RunKind::Undo, false,
                                    modRegister::Grouped(summary.restored) + " restored, " +
                                        modRegister::Grouped(summary.failed) + " failed."));
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

}  // namespace velquist
