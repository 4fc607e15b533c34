// The main window's menu bar: File (save, per user, restart as administrator, exit), Tools (a task
// each, from the table of tasks) and Help.
#pragma once

#include <windows.h>

#include "win32/Handles.h"

namespace velquist {

class MainMenus {
public:
    // Builds the menu bar and gives it to window (which destroys it with itself).
    void Create(HWND window);
    // A menu about to open: the system's shield on Restart as administrator, the first time it is there.
    void ShowShield(HMENU menu);
    // The check mark of a File menu item: Register for current user only, Unregister copies
    // registered elsewhere.
    static void ShowChecked(HWND window, int item, bool checked);
    // A menu about to open: Save results... only with results, Restart as administrator only when not
    // elevated, Undo last run and Save undo file... only when the last run changed something.
    static void Enable(HMENU menu, bool haveResults, bool elevated, bool canUndo);

private:
    win32::unique_gdi<HBITMAP> shield_;  // the Restart as administrator item's picture
    bool shieldAsked_ = false;
};

// The system's shield as a small bitmap for a menu item (empty where the system has none).
win32::unique_gdi<HBITMAP> CreateShieldBitmap();

}  // namespace velquist
