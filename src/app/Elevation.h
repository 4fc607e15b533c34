// Administrator rights: whether the program has them, and a start of the program that asks for them.
#pragma once

#include <windows.h>

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

// The system's shield as a small bitmap for a menu item (empty where the system has none).
win32::unique_gdi<HBITMAP> CreateShieldBitmap();

}  // namespace velquist
