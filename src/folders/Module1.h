// Module1: the folder walk of directory mode.
#pragma once

#include <functional>
#include <string>

#include "folders/RegisterFile.h"
#include "registration/Session.h"
#include "results/ResultList.h"

namespace Module1 {

// What a walk tells as it goes, and how it learns that it is to stop.
class WalkProgress {
public:
    virtual ~WalkProgress() = default;
    // After each file is counted, before it is looked at.
    virtual void FileChecked() {}
    // Asked before each file; true ends the walk there (the call in progress is stopped by the runner's
    // wait, which asks its own observer).
    virtual bool StopRequested() { return false; }
    unsigned long long checked = 0;  // files looked at
    bool stopped = false;            // the walk ended early because a stop was asked for
    bool accessDenied = false;       // some entry point failed for want of rights
};

// Visits every file in path and, when includeSubfolders, in every folder below it, sub-folders first,
// each folder once however many links lead to it; counts each file in `progress` before its visit, and
// ends early when a stop is asked for (or a visit sets progress.stopped).
void WalkFolder(const std::string& path, bool includeSubfolders, WalkProgress& progress,
                const std::function<void(const std::string& file)>& visit);

// Registers (registerFlag) or unregisters every ActiveX component in path and, when
// includeSubfolders, in every folder below it, sub-folders first; one line per component tried, and
// one "Failed : " line per component that could not be loaded (or whose call was stopped, or that the
// guard left registered, or whose undo record could not be kept: see RegisterFile). When the guard or
// the undo record needs what each component registers, every component is captured first, two side by
// side, and only then called, one after another in the walk's order; a stop during the captures calls
// nothing (a capture that was stopped gets the line of a stopped call). Without a session, one is made
// for the walk (its runners beside the program, machine-wide).
void RegisterFolder(const std::string& path, bool includeSubfolders, bool registerFlag,
                    velquist::ResultList& list, WalkProgress* progress = nullptr);
void RegisterFolder(registration::Session& session, const std::string& path, bool includeSubfolders,
                    bool registerFlag, velquist::ResultList& list, WalkProgress* progress = nullptr,
                    const ChangeOptions& options = {});

}  // namespace Module1
