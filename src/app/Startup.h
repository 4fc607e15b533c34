// Process-wide set-up done once before the main window is created.
#pragma once

namespace velquist {

// Takes the current directory out of the DLL search, keeps the system from swapping a busy window
// for a "Not Responding" ghost, and registers the common controls the windows use.
void PrepareProcess();

}  // namespace velquist
