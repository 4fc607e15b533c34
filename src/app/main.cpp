// Velquist's start-up: a runner when asked for one; else process set-up, the main window, the message loop.
#include <windows.h>
#include <objbase.h>

#include <string>

#include "app/CommandLine.h"
#include "app/Elevation.h"
#include "app/MessageLoop.h"
#include "app/Silent.h"
#include "app/Startup.h"
#include "window/velquistform.h"
#include "runner/Runner.h"
#include "win32/Handles.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int show) {
    // Started by the program itself to load components: no window, no set-up of the window's.
    if (runner::IsRunnerCommandLine(commandLine)) return runner::RunnerMain(commandLine);
    velquist::PrepareProcess();
    // (COM is entered by what needs it, the shell's dialogs and a start through the shell, when it does.)

    const velquist::CommandLine line = velquist::ParseCommandLine(velquist::ProcessArguments());
    int exitCode = 1;
    if (line.silent) {
        exitCode = velquist::RunSilent(line);
    } else {
        velquist::PrepareWindows();
        velquist::velquistform form(velquist::SystemElevation());
        if (form.Create()) {
            if (line.valid && !line.path.empty()) form.FillInputs(line.path, line.subfolders);
            if (line.valid) {
                form.SetPerUser(line.perUser);
                form.SetForce(line.force);
                form.SetInstall(line.install, line.run);
                form.SetTypeLibraries(line.typeLibraries);
            }
            ::ShowWindow(form.Handle(), show == SW_HIDE ? SW_SHOWNORMAL : show);
            ::UpdateWindow(form.Handle());
            if (!line.valid) {
                const std::string text = line.error + "\n\n" + velquist::Usage();
                ::MessageBoxA(form.Handle(), text.c_str(), "Velquist!", MB_OK | MB_ICONERROR);
            } else if (line.run) {
                const velquist::RunRequest request = velquist::RequestFrom(line);
                if (request.task != velquist::RunRequest::Task::Change) {
                    form.PostTool(request.task, request.target);
                } else {
                    // Pressed from the loop, exactly as a click would.
                    const HWND button = line.unregister ? form.Command1 : form.Command5;
                    ::PostMessageA(button, BM_CLICK, 0, 0);
                }
            }
            exitCode = velquist::RunMessageLoop(form.Handle(), form.Accelerators());
        }
    }
    return exitCode;
}
