// One file of a run: probe, call, line.
#include "folders/RegisterFile.h"

#include "registration/Details.h"

namespace Module1 {
namespace {

std::string LineDetail(const std::string& path, const modRegister::Result& result, bool registerFlag) {
    std::string detail = modRegister::Detail(path, result, registerFlag);
    if (result.perUser) detail += (detail.empty() ? "" : " ") + std::string("For the current user only.");
    return detail;
}

}  // namespace

FileRegistration RegisterFile(registration::Session& session, const std::string& path, bool registerFlag) {
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
    const modRegister::Result call = session.Call(path, registerFlag);
    file.verdict = FileRegistration::Verdict::Called;
    file.stopped = call.outcome == modRegister::Outcome::Stopped;
    file.accessDenied = modRegister::IsAccessDenied(call);
    const std::string detail = LineDetail(path, call, registerFlag);
    file.line = call.Succeeded() ? velquist::SuccessLine(registerFlag, path, detail) : velquist::FailedLine(path, detail);
    return file;
}

}  // namespace Module1
