// One file of a check or an export: probe, capture, or the line that says why not.
#include "folders/CaptureFile.h"

#include "registration/Details.h"

namespace Module1 {

FileCapture CaptureFile(registration::Session& session, const std::string& path) {
    FileCapture file;
    file.result = session.Probe(path);
    if (file.result.Succeeded()) {
        file.result = session.Capture(path, file.captured);
        // A registration that writes nothing succeeded all the same: there is just nothing to judge.
        if (file.result.Succeeded() || file.result.outcome == modRegister::Outcome::NothingCaptured) {
            file.verdict = FileCapture::Verdict::Captured;
            return file;
        }
    } else if (!modRegister::IsUnloadableComponent(file.result)) {
        return file;  // no component
    }
    file.stopped = file.result.outcome == modRegister::Outcome::Stopped;
    file.verdict = FileCapture::Verdict::Failed;
    file.line = velquist::FailedLine(path, modRegister::Detail(path, file.result, true));
    return file;
}

}  // namespace Module1
