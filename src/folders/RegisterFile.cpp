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
// registers; none when it could not be captured (then nothing is known against its unregistering).
std::vector<std::string> OtherCopies(registration::Session& session, const std::string& path, bool& stopped) {
    capture::Capture captured;
    const modRegister::Result result = session.Capture(path, captured);
    stopped = result.outcome == modRegister::Outcome::Stopped;
    if (!result.Succeeded()) return {};
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

FileRegistration RegisterFile(registration::Session& session, const std::string& path, bool registerFlag, Guard guard) {
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
    if (!registerFlag && guard == Guard::OtherCopies) {
        const std::vector<std::string> others = OtherCopies(session, path, file.stopped);
        if (file.stopped) return file;
        if (!others.empty()) {
            file.verdict = FileRegistration::Verdict::Refused;
            file.line = velquist::FailedLine(path, RefusedDetail(others));
            return file;
        }
    }
    const modRegister::Result call = session.Call(path, registerFlag);
    file.verdict = FileRegistration::Verdict::Called;
    file.stopped = call.outcome == modRegister::Outcome::Stopped;
    file.accessDenied = modRegister::IsAccessDenied(call);
    const std::string detail = LineDetail(path, call, registerFlag);
    file.line = call.Succeeded() ? velquist::SuccessLine(registerFlag, path, detail) : velquist::FailedLine(path, detail);
    return file;
}

}  // namespace Module1
