// Opens the main window and presses one of its "..." buttons, so that the file dialog or the folder
// browser shows over Velquist as a user sees it, for tools/screenshot-pickers:
//   picker_preview.exe file|folder
#include <windows.h>
#include <objbase.h>

#include <cstring>

#include "app/MessageLoop.h"
#include "app/Startup.h"
#include "app/velquistform.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    velquist::PrepareProcess();
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    int exitCode = 1;
    {
        velquist::velquistform form;
        if (form.Create()) {
            const bool folder = std::strstr(commandLine, "folder") != nullptr;
            if (folder) ::SendMessageA(form.Option2, BM_CLICK, 0, 0);
            ::ShowWindow(form.Handle(), SW_SHOWNORMAL);
            ::UpdateWindow(form.Handle());
            // The press runs from the loop, as a user's click would.
            ::PostMessageA(folder ? form.Command4 : form.Command3, BM_CLICK, 0, 0);
            exitCode = velquist::RunMessageLoop(form.Handle(), form.Accelerators());
        }
    }
    if (SUCCEEDED(com)) ::CoUninitialize();
    return exitCode;
}
