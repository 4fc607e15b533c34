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

// What the guard and the undo record need before the call: what the component registers, captured.
// False when it is not to be called; `file` then says why.
bool BeforeCall(registration::Session& session, const std::string& path, bool registerFlag,
                const ChangeOptions& options, FileRegistration& file) {
    const bool guarded = !registerFlag && options.guard == Guard::OtherCopies;
    if (!options.NeedsCapture(registerFlag)) return true;
    CapturedAhead got;
    const auto ahead = options.ahead != nullptr ? options.ahead->find(path) : CapturesAhead::const_iterator{};
    if (options.ahead != nullptr && ahead != options.ahead->end()) {
        got = ahead->second;
    } else {
        got.result = session.Capture(path, got.captured);
    }
    const modRegister::Result& capture = got.result;
    const capture::Capture& captured = got.captured;
    if (capture.outcome == modRegister::Outcome::Stopped) {
        file.stopped = true;
        file.verdict = FileRegistration::Verdict::Called;
        file.line = StoppedLine(path, capture, registerFlag);
        return false;
    }
    // Nothing is known against unregistering a component that cannot be captured whole: it goes
    // ahead as without the guard. The undo record takes what a capture that failed got before: the
    // call may write as much.
    const bool whole = capture.Succeeded() || capture.outcome == modRegister::Outcome::NothingCaptured;
    std::string why;
    if (guarded && whole) {
        const std::vector<std::string> others = OtherCopies(captured);
        if (!others.empty()) why = RefusedDetail(others);
    }
    if (why.empty() && options.undo != nullptr &&
        !options.undo->Begin(path, whole || capture.RanAndFailed() ? &captured : nullptr, session.PerUser(),
                             !registerFlag, why)) {
        file.stopped = true;  // a record that cannot be kept ends the run: what follows could not be undone
    }
    if (why.empty()) return true;
    file.verdict = FileRegistration::Verdict::Refused;
    file.line = velquist::FailedLine(path, why);
    return false;
}

}  // namespace

velquist::ResultLine StoppedLine(const std::string& path, const modRegister::Result& stopped, bool registerFlag) {
    return velquist::FailedLine(path, LineDetail(path, stopped, registerFlag));
}

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
    if (!BeforeCall(session, path, registerFlag, options, file)) return file;
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
