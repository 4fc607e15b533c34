// The shell's folder browser, rooted at the desktop, for picking a directory of components.
#include "pickers/CommonDialogAPI.h"

#include <shlobj.h>

#include "win32/Handles.h"

namespace pickers {

std::string BrowseForFolder(HWND hwndOwner, const std::string& sPrompt) {
    win32::EnterApartment();  // the shell's folder tree is COM
    BROWSEINFOA info{};
    info.hwndOwner = hwndOwner;
    info.pidlRoot = nullptr;
    info.pszDisplayName = nullptr;
    info.lpszTitle = sPrompt.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS;

    // The caller owns the returned list; the owner frees it once, whatever happens next.
    const win32::unique_cotaskmem<ITEMIDLIST> list(::SHBrowseForFolderA(&info));
    if (!list) return {};

    std::string path(MAX_PATH, '\0');
    ::SHGetPathFromIDListA(list.get(), path.data());
    return path.substr(0, path.find('\0'));
}

}  // namespace pickers
