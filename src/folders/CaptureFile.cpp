// One file of a check or an export: probe, capture, or the line that says why not.
#include "folders/CaptureFile.h"

#include "registration/Details.h"

namespace Module1 {

namespace {

// A file that is no component tried as a type library: NotComponent when it is none either.
void CaptureTypeLibrary(registration::Session& session, const std::string& path, FileCapture& file) {
    runner::TypeLibraryFacts facts;
    const modRegister::Result probe = session.ProbeTypeLibrary(path, facts);
    if (probe.outcome == modRegister::Outcome::EntryFailed) return;  // no type library
    file.result = probe.Succeeded() ? session.CaptureTypeLibrary(path, facts, file.captured) : probe;
}

}  // namespace

FileCapture CaptureFile(registration::Session& session, const std::string& path, bool typeLibraries) {
    FileCapture file;
    const bool resource = typeLibraries && !registration::TypeLibraryResourceFile(path).empty();
    if (!resource) file.result = session.Probe(path);
    if (resource || (typeLibraries && file.result.outcome == modRegister::Outcome::NotComponent)) {
        CaptureTypeLibrary(session, path, file);
        if (!file.result.typeLibrary) return file;  // neither a component nor a type library
        if (file.result.Succeeded() || file.result.outcome == modRegister::Outcome::NothingCaptured) {
            file.verdict = FileCapture::Verdict::Captured;
            return file;
        }
    } else if (file.result.Succeeded()) {
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
