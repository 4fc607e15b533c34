// The Help and About windows: placeholder until they land.
#include "windows/HelpAbout.h"

namespace velquist {
void ShowHelp() {}
void ShowAbout() {}
void CloseHelpAndAbout() {}
HWND HelpWindow() { return nullptr; }
HWND AboutWindow() { return nullptr; }
bool TranslateHelpAboutMessage(MSG*) { return false; }
}  // namespace velquist
