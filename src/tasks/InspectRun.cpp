// Check and export runs: each component captured in its runner, then compared with the machine or
// gathered into one .reg file.
#include "tasks/InspectRun.h"

#include <windows.h>

#include <array>
#include <cstdio>
#include <optional>
#include <vector>

#include "folders/CaptureFile.h"
#include "folders/SideBySide.h"
#include "inspect/CheckRegistration.h"
#include "inspect/ManifestWriter.h"
#include "registration/Details.h"
#include "results/RegFile.h"
#include "results/SaveWhole.h"
#include "win32/FileVersion.h"
#include "win32/Paths.h"
#include "win32/Text.h"

namespace velquist {
namespace {

using Task = RunRequest::Task;

}  // namespace

InspectionEnd CheckRun(const RunRequest& request, registration::Session& session, ResultList& list,
                       const std::function<void(const std::string&)>& showError, RunControl& run,
                       RunSummary& summary) {
    unsigned counts[4] = {};  // by check::Verdict
    ForEachCheckedComponent(request, session, list, showError, run, summary,
                            [&](registration::Session&, const std::string& path, const capture::Capture&,
                                const check::CheckResult& result) -> std::function<void()> {
                                return [&, path, result] {
                                    ++counts[static_cast<int>(result.verdict)];
                                    AddResultLine(list, {KindOf(result.verdict), path, result.detail, RunKind::Check});
                                };
                            });
    summary.succeeded = counts[static_cast<int>(check::Verdict::RegisteredHere)];
    summary.unsettled = counts[static_cast<int>(check::Verdict::NotRegistered)] +
                        counts[static_cast<int>(check::Verdict::RegisteredElsewhere)] +
                        counts[static_cast<int>(check::Verdict::PartlyRegistered)];
    using modRegister::Grouped;
    return {Grouped(summary.failed) + " failed, " + Grouped(counts[static_cast<int>(check::Verdict::RegisteredElsewhere)]) +
                " registered elsewhere, " + Grouped(counts[static_cast<int>(check::Verdict::PartlyRegistered)]) +
                " partly registered, " + Grouped(counts[static_cast<int>(check::Verdict::NotRegistered)]) +
                " not registered, " + Grouped(summary.succeeded) + " registered here",
            {}};
}

namespace {

std::wstring Today() {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    wchar_t text[16];
    std::swprintf(text, std::size(text), L"%04u-%02u-%02u", now.wYear, now.wMonth, now.wDay);
    return text;
}

// Each component of the inputs captured for an export, side by side with the next in a folder, and
// handed to `take` in the walk's order; a file that is no component is passed over, one that could not
// be captured gets its "Failed" line (counted).
void ForEachCapture(const RunRequest& request, registration::Session& session, ResultList& list, RunControl& run,
                    RunSummary& summary, const std::function<void(const std::string&, capture::Capture&)>& take) {
    Module1::SideBySide lanes(session, run, request.mode == RunRequest::Mode::Directory && !request.oneAtATime);
    ForEachFile(request, run, [&](const std::string& path) {
        lanes.Add(path, [&, path](registration::Session& lane) -> Module1::SideBySide::Then {
            auto file = std::make_shared<Module1::FileCapture>(Module1::CaptureFile(lane, path, request.typeLibraries));
            return [&, path, file] {
                // What failed beside another capture is tried once more alone (see SideBySide::Alone).
                if (file->verdict == Module1::FileCapture::Verdict::Failed && !file->stopped && lanes.Together()) {
                    lanes.Alone([&](registration::Session& alone) { *file = Module1::CaptureFile(alone, path, request.typeLibraries); });
                }
                if (file->stopped) run.stopped = true;
                if (file->verdict == Module1::FileCapture::Verdict::NotComponent) return;
                if (file->verdict == Module1::FileCapture::Verdict::Failed) {
                    ++summary.failed;
                    AddResultLine(list, file->line);
                    return;
                }
                take(path, file->captured);
            };
        });
    });
    lanes.Finish();
}

// The closing note of an export whose file could not be written.
std::string NotWritten(const std::string& target, DWORD error) {
    const std::string reason = modRegister::CodeText(error);
    return "The file " + target + " could not be written" + (reason.empty() ? "." : ": " + reason);
}

}  // namespace

InspectionEnd ExportRun(const RunRequest& request, const std::string& target, registration::Session& session,
                        ResultList& list, RunControl& run, RunSummary& summary) {
    const bool removal = request.task == Task::Removal;
    if (target.empty()) return {"0 exported, 0 failed", "No ActiveX component was found; no file was written."};
    std::vector<capture::Capture> captures;
    ForEachCapture(request, session, list, run, summary, [&](const std::string& path, capture::Capture& captured) {
        std::size_t values = 0;
        for (const capture::Key& key : captured.keys) values += key.values.size();
        ++summary.succeeded;
        const std::string detail =
            captured.Empty()
                ? "It registers nothing; the file holds nothing for it."
                : "Captured " + modRegister::Counted(captured.keys.size(), "key", "keys") + " and " +
                      modRegister::Counted(values, "value", "values") + ".";
        AddResultLine(list, {LineKind::Exported, path, detail, RunKind::Export});
        captures.push_back(std::move(captured));
    });

    InspectionEnd end{modRegister::Grouped(summary.succeeded) + " exported, " + modRegister::Grouped(summary.failed) +
                          " failed",
                      {}};
    if (captures.empty()) {
        end.note = "No component could be captured; no file was written.";
        return end;
    }
    const std::wstring text = removal ? RemovalText(captures, request.perUser, Today())
                                      : RegistrationText(captures, request.perUser, Today());
    DWORD error = ERROR_SUCCESS;
    if (!SaveRegFile(target, text, error)) {
        end.note = NotWritten(target, error);
        return end;
    }
    summary.written = true;
    end.note = std::string(removal ? "Removal" : "Registration") + " written to " + target + ".";
    return end;
}

namespace {

// The file's version resource as four numbers, where it has one.
std::optional<std::array<std::uint16_t, 4>> FileVersionOf(const std::string& path) {
    const auto info = win32::FixedFileInfo(path);
    if (!info) return std::nullopt;
    return std::array<std::uint16_t, 4>{HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
                                        HIWORD(info->dwFileVersionLS), LOWORD(info->dwFileVersionLS)};
}

}  // namespace

// Every component captured into one manifest at `target`, a line each as it is taken or refused;
// the manifest written whole once all are in.
InspectionEnd ManifestRun(const RunRequest& request, const std::string& target, registration::Session& session,
                          ResultList& list, RunControl& run, RunSummary& summary) {
    if (target.empty()) return {"0 exported, 0 failed", "No ActiveX component was found; no file was written."};
    check::ManifestBuilder manifest(win32::FullPathOr(target));
    ForEachCapture(request, session, list, run, summary, [&](const std::string& path, capture::Capture& captured) {
        const check::ManifestEntry entry = manifest.Add({std::move(captured), FileVersionOf(path)});
        ++(entry.taken ? summary.succeeded : summary.failed);
        AddResultLine(list, {entry.taken ? LineKind::Exported : LineKind::Failed, path, entry.detail, RunKind::Export});
    });

    InspectionEnd end{modRegister::Grouped(summary.succeeded) + " exported, " + modRegister::Grouped(summary.failed) +
                          " failed",
                      {}};
    if (manifest.Taken() == 0) {
        end.note = "No component could be put in the manifest; no file was written.";
        return end;
    }
    DWORD error = ERROR_SUCCESS;
    if (!SaveWhole(target, manifest.Text(), error)) {
        end.note = NotWritten(target, error);
        return end;
    }
    summary.written = true;
    end.note = "Manifest written to " + target + ". An application uses these components with nothing registered "
               "when its own manifest names the assembly " + manifest.Name() + " (version " + manifest.Version() +
               ", " + manifest.Architecture() + ") as a dependency and the file lies in the application's folder.";
    return end;
}

LineKind KindOf(check::Verdict verdict) {
    switch (verdict) {
        case check::Verdict::RegisteredHere: return LineKind::RegisteredHere;
        case check::Verdict::NotRegistered: return LineKind::NotRegistered;
        case check::Verdict::RegisteredElsewhere: return LineKind::RegisteredElsewhere;
        case check::Verdict::PartlyRegistered: return LineKind::PartlyRegistered;
    }
    return LineKind::Failed;
}

void ForEachFile(const RunRequest& request, RunControl& run, const std::function<void(const std::string&)>& visit) {
    if (request.mode == RunRequest::Mode::SingleFile) {
        run.checked = 1;
        visit(request.path);
    } else if (win32::IsFolder(request.path)) {
        Module1::WalkFolder(request.path, request.subfolders, run, visit);
    }
}

void TellNotComponent(const std::function<void(const std::string&)>& showError, RunSummary& summary,
                      const std::string& reason) {
    summary.end = reason.empty() ? RunSummary::End::NotComponent : RunSummary::End::Unloadable;
    showError("This file is not an ActiveX component" + (reason.empty() ? "" : "\n\n" + reason));
}

void ForEachCheckedComponent(const RunRequest& request, registration::Session& session, ResultList& list,
                             const std::function<void(const std::string&)>& showError, RunControl& run,
                             RunSummary& summary, const CheckedStep& step) {
    const bool single = request.mode == RunRequest::Mode::SingleFile;
    using Verdict = Module1::FileCapture::Verdict;
    Module1::SideBySide lanes(session, run, !single && !request.oneAtATime);
    ForEachFile(request, run, [&](const std::string& path) {
        lanes.Add(path, [&, path](registration::Session& lane) -> Module1::SideBySide::Then {
            auto file = std::make_shared<Module1::FileCapture>(Module1::CaptureFile(lane, path, request.typeLibraries));
            std::function<void()> then;
            if (file->verdict == Verdict::Captured) {
                then = step(lane, path, file->captured, check::CheckAgainstMachine(file->captured));
            }
            return [&, path, file, then]() mutable {
                // What failed beside another capture is tried once more alone (see SideBySide::Alone).
                if (file->verdict == Verdict::Failed && !file->stopped && lanes.Together()) {
                    lanes.Alone([&](registration::Session& alone) {
                        *file = Module1::CaptureFile(alone, path, request.typeLibraries);
                        then = file->verdict == Verdict::Captured
                                   ? step(alone, path, file->captured, check::CheckAgainstMachine(file->captured))
                                   : nullptr;
                    });
                }
                if (file->stopped) run.stopped = true;
                if (file->verdict == Verdict::NotComponent) {
                    if (single) TellNotComponent(showError, summary);
                    return;
                }
                // A single component that could not even be loaded is told as a register run tells it.
                if (single && file->verdict == Verdict::Failed && !file->result.capture && !file->stopped) {
                    TellNotComponent(showError, summary, modRegister::Detail(path, file->result, true));
                    return;
                }
                if (file->verdict == Verdict::Failed) {
                    ++summary.failed;
                    AddResultLine(list, file->line);
                    return;
                }
                if (then) then();
            };
        });
    });
    lanes.Finish();
}


}  // namespace velquist
