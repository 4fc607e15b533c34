// CommonDialogAPI: the file-open dialog; and the shell's folder browser used by the main window.
#pragma once

#include <windows.h>
#include <string>

namespace CommonDialogAPI {

// Shows the file-open dialog; the confirmed file's full path, or "" when none was confirmed.
std::string ShowOpenFileDialog(HWND owner, const std::string& filter, const std::string& initialDir,
                               const std::string& title);

}  // namespace CommonDialogAPI

namespace pickers {

// Shows the file-save dialog, offering defaultName; asks before replacing a file. The confirmed
// file's path, or "" when none was confirmed. filter: pairs of NUL-ended texts, as the dialog reads them.
std::string ShowSaveFileDialog(HWND owner, const std::string& defaultName, const std::string& filter,
                               const std::string& title, const std::string& extension);

// Shows the folder browser rooted at the desktop; the confirmed folder's path, or "".
std::string BrowseForFolder(HWND hwndOwner, const std::string& sPrompt);

}  // namespace pickers
