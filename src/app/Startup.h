// Process-wide set-up done once before the main window is created.
#pragma once

namespace velquist {

// Makes the system folder the only place DLLs are searched for by name (this process loads no
// component) and keeps the system from swapping a busy window for a "Not Responding" ghost.
void PrepareProcess();

// What only a process that shows windows needs, after PrepareProcess: the common controls the
// windows use registered, and the system DLLs that the system's own DLLs load behind the window
// taken from the system folder.
void PrepareWindows();

}  // namespace velquist
