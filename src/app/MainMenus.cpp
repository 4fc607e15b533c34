// The main window's menu bar.
#include "app/MainMenus.h"

#include "app/Elevation.h"
#include "resource.h"

namespace velquist {

void MainMenus::Create(HWND window) {
    HMENU bar = ::CreateMenu();
    HMENU mnufile = ::CreatePopupMenu();
    ::AppendMenuA(mnufile, MF_STRING, IDM_SAVE, "Save results...\tCtrl+S");
    ::AppendMenuA(mnufile, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuA(mnufile, MF_STRING, IDM_PERUSER, "Register for current user only");
    ::AppendMenuA(mnufile, MF_STRING, IDM_RESTART, "Restart as administrator");
    ::AppendMenuA(mnufile, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuA(mnufile, MF_STRING, IDM_EXIT, "Exit");
    HMENU mnutools = ::CreatePopupMenu();
    ::AppendMenuA(mnutools, MF_STRING, IDM_CHECK, "Check registration\tCtrl+K");
    ::AppendMenuA(mnutools, MF_STRING, IDM_TEST, "Test classes\tCtrl+T");
    ::AppendMenuA(mnutools, MF_STRING, IDM_EXPORT, "Export registration...\tCtrl+E");
    ::AppendMenuA(mnutools, MF_STRING, IDM_REMOVAL, "Export removal...");
    ::AppendMenuA(mnutools, MF_STRING, IDM_MANIFEST, "Export manifest...");
    HMENU mnuhelp = ::CreatePopupMenu();
    ::AppendMenuA(mnuhelp, MF_STRING, IDM_CONTENTS, "Contents\tF1");
    ::AppendMenuA(mnuhelp, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuA(mnuhelp, MF_STRING, IDM_ABOUT, "About");
    ::AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(mnufile), "File");
    ::AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(mnutools), "Tools");
    ::AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(mnuhelp), "Help");
    ::SetMenu(window, bar);  // destroyed with the window
}

// The shield comes from the shell, which the window does not need before it shows: it is fetched
// when the menu first opens.
void MainMenus::ShowShield(HMENU menu) {
    if (shieldAsked_ || ::GetMenuState(menu, IDM_RESTART, MF_BYCOMMAND) == static_cast<UINT>(-1)) return;
    shieldAsked_ = true;
    shield_ = CreateShieldBitmap();
    if (!shield_) return;
    MENUITEMINFOA item{};
    item.cbSize = sizeof item;
    item.fMask = MIIM_BITMAP;
    item.hbmpItem = shield_.get();
    ::SetMenuItemInfoA(menu, IDM_RESTART, FALSE, &item);
}

void MainMenus::ShowPerUser(HWND window, bool perUser) {
    if (HMENU menu = ::GetMenu(window)) {
        ::CheckMenuItem(menu, IDM_PERUSER, MF_BYCOMMAND | (perUser ? MF_CHECKED : MF_UNCHECKED));
    }
}

void MainMenus::Enable(HMENU menu, bool haveResults, bool elevated) {
    ::EnableMenuItem(menu, IDM_SAVE, MF_BYCOMMAND | (haveResults ? MF_ENABLED : MF_GRAYED));
    ::EnableMenuItem(menu, IDM_RESTART, MF_BYCOMMAND | (elevated ? MF_GRAYED : MF_ENABLED));
}

}  // namespace velquist
