// Velquist's start-up: process set-up, the main window, the message loop.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "app/MessageLoop.h"
#include "app/velquistform.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int show) {
    // No DLL of the program's is ever taken from the current directory.
    ::SetDllDirectoryA("");
    // A run keeps the thread busy for up to ten seconds per component; the system must not put a
    // "Not Responding" ghost in front of the window inviting the user to kill it mid-registration.
    ::DisableProcessWindowsGhosting();

    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES;
    ::InitCommonControlsEx(&controls);
    // The folder browser and the file dialog are COM clients of the shell.
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);

    int exitCode = 1;
    {
        velquist::velquistform form;
        if (form.Create()) {
            ::ShowWindow(form.Handle(), show == SW_HIDE ? SW_SHOWNORMAL : show);
            ::UpdateWindow(form.Handle());
            exitCode = velquist::RunMessageLoop(form.Handle(), form.Accelerators());
        }
    }
    if (SUCCEEDED(com)) ::CoUninitialize();
    return exitCode;
}
