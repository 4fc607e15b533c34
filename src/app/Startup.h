// Process-wide set-up done once before the main window is created.
#pragma once

namespace velquist {

// Makes the system folder the only place DLLs are searched for by name (this process loads no
// component), keeps the system from swapping a busy window for a "Not Responding" ghost, and
// registers the common controls the windows use.
void PrepareProcess();

}  // namespace velquist
