// Shows the Help or the About window on its own, as the program shows it, for screenshots:
//   forms_preview.exe help|about
#include <windows.h>

#include <cstring>

#include "windows/HelpAbout.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    if (std::strstr(commandLine, "about") != nullptr) {
        velquist::ShowAbout();
    } else {
        velquist::ShowHelp();
    }
    MSG msg;
    while ((velquist::HelpWindow() != nullptr || velquist::AboutWindow() != nullptr) &&
           ::GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (velquist::TranslateHelpAboutMessage(&msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    return 0;
}
