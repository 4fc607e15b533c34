// One file of a run: the probe, then (for a component) the call, then its line. Single-file mode and
// the folder walk both go this way.
#pragma once

#include <string>

#include "registration/Session.h"
#include "results/ResultList.h"

namespace Module1 {

struct FileRegistration {
    enum class Verdict {
        NotComponent,  // no ActiveX component: no line
        Unloadable,    // a component that could not be loaded (or whose probe was stopped): a failed line
        Called,        // its entry point was called: the line says how that went
    };
    Verdict verdict = Verdict::NotComponent;
    modRegister::Result probe;
    velquist::ResultLine line;  // Unloadable and Called
    bool stopped = false;       // the probe or the call was stopped
    bool accessDenied = false;  // the call failed for want of rights
};

// Probes the file in the session and, for a component, calls DllRegisterServer (registerFlag) or
// DllUnregisterServer. A line's detail says when the session registers for the current user only.
FileRegistration RegisterFile(registration::Session& session, const std::string& path, bool registerFlag);

}  // namespace Module1
