// One file of a run: probe, call, line.
#include "folders/RegisterFile.h"

#include "inspect/CheckRegistration.h"
#include "registration/Details.h"

namespace Module1 {
namespace {

constexpr char kInstallName[] = "DllInstall";

std::string WithPerUser(std::string detail, bool perUser) {
    if (perUser) detail += (detail.empty() ? "" : " ") + std::string("For the current user only.");
    return detail;
}

std::string LineDetail(const std::string& path, const modRegister::Result& result, bool registerFlag) {
    return WithPerUser(modRegister::Detail(path, result, registerFlag), result.perUser);
}

// How a component's calls went: the last one made, whether all succeeded, and the line's detail.
struct Calls {
    modRegister::Result last;
    bool succeeded = false;
    bool stopped = false;
    bool accessDenied = false;
    std::string detail;
};

// DllRegisterServer then DllInstall(TRUE), or DllInstall(FALSE) then DllUnregisterServer, as the
// system's registration tool orders them: the second only when the first succeeded, in one load.
Calls CallEntries(registration::Session& session, const std::string& path, bool registerFlag,
                  const ChangeOptions& options) {
    Calls calls;
    const auto take = [&](const modRegister::Result& result) {
        calls.last = result;
        calls.stopped = calls.stopped || result.outcome == modRegister::Outcome::Stopped;
        calls.accessDenied = calls.accessDenied || modRegister::IsAccessDenied(result);
        const std::string detail = modRegister::Detail(path, result, registerFlag);
        calls.detail += (calls.detail.empty() ? "" : " ") + detail;
        return result.Succeeded();
    };
    if (!options.Installs()) {
        calls.succeeded = take(session.Call(path, registerFlag));
    } else if (options.InstallsAlone()) {
        calls.succeeded = take(session.Install(path, registerFlag, *options.install));
    } else if (registerFlag) {
        calls.succeeded = take(session.Call(path, true, modRegister::kWaitLimitMs, true)) &&
                          take(session.Install(path, true, *options.install));
        if (!calls.succeeded && !calls.last.install) calls.detail += " DllInstall was not called.";
    } else {
        calls.succeeded = take(session.Install(path, false, *options.install, true)) &&
                          take(session.Call(path, false));
        if (!calls.succeeded && calls.last.install) calls.detail += " DllUnregisterServer was not called.";
    }
    calls.detail = WithPerUser(calls.detail, calls.last.perUser);
    return calls;
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
                const ChangeOptions& options, FileRegistration& file,
                const runner::TypeLibraryFacts* library = nullptr) {
    const bool guarded = !registerFlag && options.guard == Guard::OtherCopies;
    if (!options.NeedsCapture(registerFlag)) return true;
    CapturedAhead got;
    const auto ahead = options.ahead != nullptr ? options.ahead->find(path) : CapturesAhead::const_iterator{};
    if (options.ahead != nullptr && ahead != options.ahead->end()) {
        got = ahead->second;
    } else if (library != nullptr) {
        got.result = session.CaptureTypeLibrary(path, *library, got.captured);
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
        if (!others.empty()) why = RefusedDetail(others, library != nullptr);
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

// A file that is no component, tried as a type library: nothing (NotComponent) when it is none either.
FileRegistration RegisterLibrary(registration::Session& session, const std::string& path, bool registerFlag,
                                 const ChangeOptions& options, FileRegistration file) {
    runner::TypeLibraryFacts facts;
    const modRegister::Result probe = session.ProbeTypeLibrary(path, facts);
    if (probe.outcome == modRegister::Outcome::EntryFailed) return file;  // no type library
    file.typeLibrary = true;
    file.probe = probe;
    file.stopped = probe.outcome == modRegister::Outcome::Stopped;
    if (!probe.Succeeded()) {
        file.verdict = FileRegistration::Verdict::Unloadable;
        file.line = velquist::FailedLine(path, LineDetail(path, probe, registerFlag));
        return file;
    }
    if (!BeforeCall(session, path, registerFlag, options, file, &facts)) return file;
    const modRegister::Result call = session.CallTypeLibrary(path, registerFlag, facts);
    if (options.undo != nullptr) options.undo->End();
    file.verdict = FileRegistration::Verdict::Called;
    file.stopped = call.outcome == modRegister::Outcome::Stopped;
    file.accessDenied = modRegister::IsAccessDenied(call);
    const std::string described = WithPerUser(runner::TypeLibraryDetail(facts), call.perUser);
    file.line = call.Succeeded() ? velquist::SuccessLine(registerFlag, path, described)
                                 : velquist::FailedLine(path, LineDetail(path, call, registerFlag));
    return file;
}

}  // namespace

velquist::ResultLine StoppedLine(const std::string& path, const modRegister::Result& stopped, bool registerFlag) {
    return velquist::FailedLine(path, LineDetail(path, stopped, registerFlag));
}

std::string RefusedDetail(const std::vector<std::string>& otherFiles, bool typeLibrary) {
    std::string files;
    for (std::size_t i = 0; i < otherFiles.size(); ++i) {
        files += (i == 0 ? "" : i + 1 == otherFiles.size() ? " and " : ", ") + otherFiles[i];
    }
    const bool one = otherFiles.size() == 1;
    return std::string(typeLibrary ? "Its type library is" : "Its classes are") + " registered for " + files +
           "; unregistering this copy would remove " + (one ? "that registration" : "those registrations") +
           ". Unregister " + (one ? "that file" : "those files") +
           " instead, or choose File > Unregister copies registered elsewhere.";
}

FileRegistration RegisterFile(registration::Session& session, const std::string& path, bool registerFlag,
                              const ChangeOptions& options) {
    FileRegistration file;
    // A program file's Nth type library, "FILE\N", is no file to probe as a component.
    if (options.typeLibraries && !options.Installs() && !registration::TypeLibraryResourceFile(path).empty()) {
        return RegisterLibrary(session, path, registerFlag, options, file);
    }
    file.probe = options.InstallsAlone() ? session.ProbeInstall(path) : session.Probe(path);
    // A component that would be called for DllInstall, which it lacks, is called for nothing.
    if (file.probe.Succeeded() && options.Installs() && !options.InstallsAlone() &&
        !session.HeadersExport(path, kInstallName)) {
        file.probe.outcome = modRegister::Outcome::EntryMissing;
        file.probe.install = true;
    }
    if (!file.probe.Succeeded()) {
        file.stopped = file.probe.outcome == modRegister::Outcome::Stopped;
        const bool lacking = file.probe.install && file.probe.outcome == modRegister::Outcome::EntryMissing;
        if (lacking || modRegister::IsUnloadableComponent(file.probe)) {
            file.verdict = lacking ? FileRegistration::Verdict::Lacking : FileRegistration::Verdict::Unloadable;
            file.line = velquist::FailedLine(path, LineDetail(path, file.probe, registerFlag));
        }
        if (file.probe.outcome == modRegister::Outcome::NotComponent && options.typeLibraries && !options.Installs()) {
            return RegisterLibrary(session, path, registerFlag, options, file);
        }
        return file;
    }
    if (!BeforeCall(session, path, registerFlag, options, file)) return file;
    const Calls calls = CallEntries(session, path, registerFlag, options);
    if (options.undo != nullptr && !options.InstallsAlone()) options.undo->End();
    file.verdict = FileRegistration::Verdict::Called;
    file.stopped = calls.stopped;
    file.accessDenied = calls.accessDenied;
    if (!calls.succeeded) {
        file.line = velquist::FailedLine(path, calls.detail);
    } else if (options.InstallsAlone()) {
        file.line = velquist::InstalledLine(registerFlag, path, calls.detail);
    } else {
        file.line = velquist::SuccessLine(registerFlag, path, calls.detail);
    }
    return file;
}

}  // namespace Module1
