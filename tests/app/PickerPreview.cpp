// Opens the main window and presses one of its "..." buttons, so that the file dialog or the folder
// browser shows over Velquist as a user sees it, for tools/screenshot-pickers:
//   picker_preview.exe file|folder
// or registers a folder and shows the detail of its last failed line, as Enter on that row does:
//   picker_preview.exe details FOLDER RUNNERFOLDER
#include <windows.h>
#include <objbase.h>

#include <commctrl.h>
#include <shellapi.h>

#include <cstring>
#include <string>

#include "app/MessageLoop.h"
#include "app/CommandLine.h"
#include "win32/Handles.h"
#include "app/Startup.h"
#include "app/Elevation.h"
#include "window/velquistform.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    velquist::PrepareProcess();
    velquist::PrepareWindows();
    const win32::ComScope com(COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    const std::vector<std::string> arguments = velquist::ProcessArguments();
    auto argument = [&](size_t i) { return i - 1 < arguments.size() ? arguments[i - 1] : std::string(); };
    const bool details = argument(1) == "details";
    velquist::velquistform form(velquist::SystemElevation(), details ? registration::RunnerPrograms::InFolder(argument(3))
                                        : registration::RunnerPrograms::BesideProgram());
    if (!form.Create()) return 1;
    if (details) {
        ::SendMessageA(form.Option2, BM_CLICK, 0, 0);
        ::SetWindowTextA(form.Text2, argument(2).c_str());
        ::ShowWindow(form.Handle(), SW_SHOWNORMAL);
        ::UpdateWindow(form.Handle());
        form.Command5_Click();
        int failed = 0;  // the last failed line
        for (int row = 0; row < form.Results().Count(); ++row) {
            if (form.ResultLines().Line(row)->kind == velquist::LineKind::Failed) failed = row;
        }
        LVITEMA item{};
        item.stateMask = item.state = LVIS_FOCUSED | LVIS_SELECTED;
        ::SendMessageA(form.ListView1, LVM_SETITEMSTATE, static_cast<WPARAM>(failed), reinterpret_cast<LPARAM>(&item));
        ::SetFocus(form.ListView1);
        ::PostMessageA(form.ListView1, WM_KEYDOWN, VK_RETURN, 0x001C0001);
        return velquist::RunMessageLoop(form.Handle(), form.Accelerators());
    }
    const bool folder = std::strstr(commandLine, "folder") != nullptr;
    if (folder) ::SendMessageA(form.Option2, BM_CLICK, 0, 0);
    ::ShowWindow(form.Handle(), SW_SHOWNORMAL);
    ::UpdateWindow(form.Handle());
    // The press runs from the loop, as a user's click would.
    ::PostMessageA(folder ? form.Command4 : form.Command3, BM_CLICK, 0, 0);
    return velquist::RunMessageLoop(form.Handle(), form.Accelerators());
}
