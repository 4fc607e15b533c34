// One file of a run: probe, call, line.
#include "folders/RegisterFile.h"

#include "inspect/CheckRegistration.h"
#include "registration/Details.h"

namespace Module1 {
namespace {

std::string LineDetail(const std::string& path, const modRegister::Result& result, bool registerFlag) {
    std::string detail = modRegister::Detail(path, result, registerFlag);
    if (result.perUser) detail += (detail.empty() ? "" : " ") + std::string("For the current user only.");
    return detail;
}

// The files another copy's registration names instead of this one, from a check of what this copy
// registers.
std::vector<std::string> OtherCopies(const capture::Capture& captured) {
    const check::CheckResult check = check::CheckAgainstMachine(captured);
    return check.verdict == check::Verdict::RegisteredElsewhere ? check.otherFiles : std::vector<std::string>{};
}

}  // namespace

std::string RefusedDetail(const std::vector<std::string>& otherFiles) {
    std::string files;
    for (std::size_t i = 0; i < otherFiles.size(); ++i) {
        files += (i == 0 ? "" : i + 1 == otherFiles.size() ? " and " : ", ") + otherFiles[i];
    }
    const bool one = otherFiles.size() == 1;
    return "Its classes are registered for " + files + "; unregistering this copy would remove " +
           (one ? "that registration" : "those registrations") + ". Unregister " + (one ? "that file" : "those files") +
           " instead, or choose File > Unregister copies registered elsewhere.";
}

FileRegistration RegisterFile(registration::Session& session, const std::string& path, bool registerFlag,
                              const ChangeOptions& options) {
    FileRegistration file;
    file.probe = session.Probe(path);
    if (!file.probe.Succeeded()) {
        file.stopped = file.probe.outcome == modRegister::Outcome::Stopped;
        if (modRegister::IsUnloadableComponent(file.probe)) {
            file.verdict = FileRegistration::Verdict::Unloadable;
            file.line = velquist::FailedLine(path, LineDetail(path, file.probe, registerFlag));
        }
        return file;
    }
    const bool guarded = !registerFlag && options.guard == Guard::OtherCopies;
    if (guarded || options.undo != nullptr) {
        // What it registers: nothing is known of it when it cannot be captured (the call goes ahead,
        // as it would without the guard).
        capture::Capture captured;
        const modRegister::Result capture = session.Capture(path, captured);
        file.stopped = capture.outcome == modRegister::Outcome::Stopped;
        if (file.stopped) {  // told as a call that was stopped
            file.verdict = FileRegistration::Verdict::Called;
            file.line = velquist::FailedLine(path, LineDetail(path, capture, registerFlag));
            return file;
        }
        // A call that fails as its capture did may write what the capture got before failing.
        using modRegister::Outcome;
        const Outcome o = capture.outcome;
        const bool whole = capture.Succeeded() || o == Outcome::NothingCaptured;
        const bool known = whole || o == Outcome::EntryFailed || o == Outcome::Crashed || o == Outcome::TimedOut ||
                           o == Outcome::ProcessEnded;
        const std::vector<std::string> others = guarded && whole ? OtherCopies(captured) : std::vector<std::string>{};
        std::string why;
        if (!others.empty()) why = RefusedDetail(others);
        if (others.empty() && options.undo != nullptr &&
            !options.undo->Begin(path, known ? &captured : nullptr, session.PerUser(), !registerFlag, why)) {
            file.stopped = true;  // a record that cannot be kept ends the run: what follows could not be undone
        }
        if (!why.empty()) {
            file.verdict = FileRegistration::Verdict::Refused;
            file.line = velquist::FailedLine(path, why);
            return file;
        }
    }
    const modRegister::Result call = session.Call(path, registerFlag);
    if (options.undo != nullptr) options.undo->End();
    file.verdict = FileRegistration::Verdict::Called;
    file.stopped = call.outcome == modRegister::Outcome::Stopped;
    file.accessDenied = modRegister::IsAccessDenied(call);
    const std::string detail = LineDetail(path, call, registerFlag);
    file.line = call.Succeeded() ? velquist::SuccessLine(registerFlag, path, detail) : velquist::FailedLine(path, detail);
    return file;
}

}  // namespace Module1
