// The Help and About windows: modeless, ownerless, at most one of each.
#pragma once

#include <windows.h>

namespace velquist {

// Loads and shows the window, or shows and activates the one already open.
void ShowHelp();
void ShowAbout();
// Closes whichever of the two is open (the program is ending).
void CloseHelpAndAbout();
// The open windows (nullptr when closed).
HWND HelpWindow();
HWND AboutWindow();
// Keyboard navigation inside the two windows: true if msg was handled (IsDialogMessage).
bool TranslateHelpAboutMessage(MSG* msg);

}  // namespace velquist
