// One file of a check or an export: the probe, then (for a component) the capture of its registration.
#pragma once

#include <string>

#include "registration/Session.h"
#include "results/ResultList.h"

namespace Module1 {

struct FileCapture {
    enum class Verdict {
        NotComponent,  // no ActiveX component: no line
        Failed,        // a component that could not be loaded or captured: `line` says why
        Captured,      // `captured` holds what its registration writes (nothing, for some)
    };
    Verdict verdict = Verdict::NotComponent;
    modRegister::Result result;  // of the probe, or of the capture that followed it
    capture::Capture captured;
    velquist::ResultLine line;   // Failed: "Failed : PATH" with the reason
    bool stopped = false;        // the probe or the capture was stopped
};

// Probes the file in the session and, for a component, captures what its DllRegisterServer writes,
// machine-wide whatever the session's per-user setting; with typeLibraries, a file that is no component
// but a type library (or "FILE\\N", a program file's Nth) gets what RegisterTypeLib writes for it. The
// machine's registry is not changed.
FileCapture CaptureFile(registration::Session& session, const std::string& path, bool typeLibraries = false);

}  // namespace Module1
