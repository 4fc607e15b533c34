// What the window asks of administrator rights: whether it has them, a restart on a request with
// them, and the offer of one after a run that was denied access.
#pragma once

#include <windows.h>

#include <string>

#include "tasks/RunRequest.h"

namespace velquist {

class Elevation {
public:
    virtual ~Elevation() = default;
    // True when the program runs with an administrator's full rights.
    virtual bool IsElevated() = 0;
    // Starts the program again, asking for administrator rights, with these parameters in this folder;
    // true once the start was accepted (false when the user refused, or it could not start).
    virtual bool Relaunch(HWND owner, const std::string& parameters, const std::string& folder) = 0;
};

// Starts the program again elevated on the request (running it at once when `run`), in the current
// folder; true once the start was accepted.
bool RestartElevated(HWND owner, Elevation& rights, const RunRequest& request, bool run);
// After a run in which access was denied: asks whether to start again elevated and run it again;
// true once such a start was accepted (the window then closes).
bool OfferElevation(HWND owner, Elevation& rights, const RunRequest& request);

}  // namespace velquist
