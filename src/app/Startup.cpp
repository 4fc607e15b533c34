// Process-wide set-up done once before the main window is created.
#include "app/Startup.h"

#include <windows.h>
#include <commctrl.h>

#include <string>

namespace velquist {

void PrepareProcess() {
    // No DLL is ever taken from the current directory by accident (a planted one would run as us).
    // Windows drops the current directory for SetDllDirectory(""), Wine only for a named folder;
    // naming the program's own folder, searched first anyway, drops it on both.
    char self[MAX_PATH + 1] = {};
    const DWORD length = ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string folder(self, length < MAX_PATH ? length : 0);
    const size_t slash = folder.find_last_of("\\/");
    folder = slash == std::string::npos ? std::string() : folder.substr(0, slash);
    if (folder.empty() || !::SetDllDirectoryA(folder.c_str())) ::SetDllDirectoryA("");
    // A run keeps the thread busy for up to ten seconds per component; the system must not put a
    // "Not Responding" ghost in front of the window that invites the user to kill it mid-registration.
    ::DisableProcessWindowsGhosting();

    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES;
    ::InitCommonControlsEx(&controls);
}

}  // namespace velquist
