// The program's one message loop: the main window's shortcuts, the Help and About windows'
// keyboard navigation, and Tab between the main window's controls.
#pragma once

#include <windows.h>

namespace velquist {

// Handles msg the way the loop does before dispatching it: the accelerators of main for messages
// to main or any of its controls (so F1 works wherever the focus is), then main's Help and About
// windows, then dialog navigation in main. True if msg was consumed and must not be dispatched.
bool TranslateMainWindowMessage(HWND main, HACCEL accelerators, MSG* msg);

// Runs until WM_QUIT; returns its exit code.
int RunMessageLoop(HWND main, HACCEL accelerators);

}  // namespace velquist
