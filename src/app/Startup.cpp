// Process-wide set-up done once before the main window is created.
#include "app/Startup.h"

#include <windows.h>
#include <commctrl.h>

#include <string>

namespace velquist {
namespace {

// Where the search flags are unknown: at least the current directory is out. Windows drops it for
// SetDllDirectory(""), Wine only for a named folder; naming the program's own folder, searched first
// anyway, drops it on both.
void DropCurrentDirectory() {
    char self[MAX_PATH + 1] = {};
    const DWORD length = ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string folder(self, length < MAX_PATH ? length : 0);
    const size_t slash = folder.find_last_of("\\/");
    folder = slash == std::string::npos ? std::string() : folder.substr(0, slash);
    if (folder.empty() || !::SetDllDirectoryA(folder.c_str())) ::SetDllDirectoryA("");
}

}  // namespace

void PrepareProcess() {
    // This process loads no component (its runners do): every DLL that it, or a system DLL in it,
    // loads by name is a system one, so the system folder is the only place searched. A DLL of that
    // name in the program's folder (a Downloads folder holds anything) or in the current directory
    // would run as the user, or as administrator in an elevated window.
    if (!::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) DropCurrentDirectory();
    // A run keeps the thread busy for up to ten seconds per component; the system must not put a
    // "Not Responding" ghost in front of the window that invites the user to kill it mid-registration.
    ::DisableProcessWindowsGhosting();
}

void PrepareWindows() {
    // Wine's own DLLs resolve their delay-loaded imports with the loader's standard search, which
    // starts in the program's folder whatever this process set above: uxtheme takes msimg32 at the
    // first themed paint, imm32 takes ole32 when the window is first activated. Taken from the system
    // folder first, they are found already loaded.
    for (const char* name : {"msimg32.dll", "ole32.dll"}) {
        (void)::LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    }

    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES;
    ::InitCommonControlsEx(&controls);
}

}  // namespace velquist
