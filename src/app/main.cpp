// Velquist's start-up: a runner when asked for one; else process set-up, the main window, the message loop.
#include <windows.h>
#include <objbase.h>

#include "app/MessageLoop.h"
#include "app/Startup.h"
#include "app/velquistform.h"
#include "registration/Runner.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int show) {
    // Started by the program itself to load components: no window, no set-up of the window's.
    if (runner::IsRunnerCommandLine(commandLine)) return runner::RunnerMain(commandLine);
    velquist::PrepareProcess();
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
