// What the message loop and the program's end need of the Help and About windows together.
#include "windows/HelpAbout.h"

namespace velquist {

void CloseHelpAndAbout() {
    // Destroying a window unloads its form (see OnDestroyed); HWNDs are read first for that reason.
    if (HWND help = HelpWindow()) ::DestroyWindow(help);
    if (HWND about = AboutWindow()) ::DestroyWindow(about);
}

bool TranslateHelpAboutMessage(MSG* msg) {
    if (msg == nullptr || msg->hwnd == nullptr) return false;
    for (HWND form : {HelpWindow(), AboutWindow()}) {
        if (form != nullptr && (msg->hwnd == form || ::IsChild(form, msg->hwnd))) {
            return ::IsDialogMessageA(form, msg) != FALSE;
        }
    }
    return false;
}

}  // namespace velquist
