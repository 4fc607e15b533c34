// Administrator rights (the token, a restart through the shell's "runas"), and the path of a drop onto the window.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>

#include "win32/Handles.h"

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

// The system's: the process token's elevation, and the shell's "runas".
Elevation& SystemElevation();

struct RunRequest;

// Starts the program again elevated on the request (running it at once when `run`), in the current
// folder; true once the start was accepted.
bool RestartElevated(HWND owner, Elevation& rights, const RunRequest& request, bool run);
// After a run in which access was denied: asks whether to start again elevated and run it again;
// true once such a start was accepted (the window then closes).
bool OfferElevation(HWND owner, Elevation& rights, const RunRequest& request);

// The first item dropped on a window, in the program's code page; "" when there is none.
std::string DroppedPath(HDROP drop);

// The system's shield as a small bitmap for a menu item (empty where the system has none).
win32::unique_gdi<HBITMAP> CreateShieldBitmap();

}  // namespace velquist
