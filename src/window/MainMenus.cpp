// The main window's menu bar.
#include "window/MainMenus.h"

#include <shellapi.h>

#include "tasks/Tasks.h"
#include "resource.h"

#include <string>

namespace velquist {

void MainMenus::Create(HWND window) {
    HMENU bar = ::CreateMenu();
    HMENU mnufile = ::CreatePopupMenu();
    ::AppendMenuA(mnufile, MF_STRING, IDM_UNDO, "Undo last run\tCtrl+Z");
    ::AppendMenuA(mnufile, MF_STRING, IDM_SAVEUNDO, "Save undo file...");
    ::AppendMenuA(mnufile, MF_STRING, IDM_SAVE, "Save results...\tCtrl+S");
    ::AppendMenuA(mnufile, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuA(mnufile, MF_STRING, IDM_PERUSER, "Register for current user only");
    ::AppendMenuA(mnufile, MF_STRING, IDM_FORCE, "Unregister copies registered elsewhere");
    ::AppendMenuA(mnufile, MF_STRING, IDM_TYPELIBS, "Include type libraries");
    ::AppendMenuA(mnufile, MF_STRING, IDM_RESTART, "Restart as administrator");
    ::AppendMenuA(mnufile, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuA(mnufile, MF_STRING, IDM_EXIT, "Exit");
    HMENU mnutools = ::CreatePopupMenu();
    for (const TaskSpec& task : Tasks()) {
        if (task.menuId == 0 || task.menuText.empty()) continue;
        ::AppendMenuA(mnutools, MF_STRING, task.menuId, std::string(task.menuText).c_str());
    }
    ::AppendMenuA(mnutools, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuA(mnutools, MF_STRING, IDM_DLLINSTALL, "Call DllInstall...");
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

void MainMenus::ShowChecked(HWND window, int item, bool checked) {
    if (HMENU menu = ::GetMenu(window)) {
        ::CheckMenuItem(menu, static_cast<UINT>(item), MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
    }
}

void MainMenus::Enable(HMENU menu, bool haveResults, bool elevated, bool canUndo) {
    ::EnableMenuItem(menu, IDM_SAVE, MF_BYCOMMAND | (haveResults ? MF_ENABLED : MF_GRAYED));
    for (const UINT item : {IDM_UNDO, IDM_SAVEUNDO}) {
        ::EnableMenuItem(menu, item, MF_BYCOMMAND | (canUndo ? MF_ENABLED : MF_GRAYED));
    }
    ::EnableMenuItem(menu, IDM_RESTART, MF_BYCOMMAND | (elevated ? MF_GRAYED : MF_ENABLED));
}

win32::unique_gdi<HBITMAP> CreateShieldBitmap() {
    SHSTOCKICONINFO stock{};
    stock.cbSize = sizeof stock;
    if (FAILED(::SHGetStockIconInfo(SIID_SHIELD, SHGSI_ICON | SHGSI_SMALLICON, &stock)) || stock.hIcon == nullptr) {
        return {};
    }
    const win32::unique_hicon icon(stock.hIcon);
    const int size = ::GetSystemMetrics(SM_CXSMICON);
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = size;
    format.bmiHeader.biHeight = -size;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const win32::WindowDc screen(nullptr);
    win32::unique_gdi<HBITMAP> bitmap(::CreateDIBSection(screen.get(), &format, DIB_RGB_COLORS, &bits, nullptr, 0));
    const win32::unique_hdc memory(::CreateCompatibleDC(screen.get()));
    if (bitmap && memory) {
        HGDIOBJ previous = ::SelectObject(memory.get(), bitmap.get());
        ::DrawIconEx(memory.get(), 0, 0, icon.get(), size, size, 0, nullptr, DI_NORMAL);
        ::SelectObject(memory.get(), previous);
    }
    return bitmap;
}

}  // namespace velquist
