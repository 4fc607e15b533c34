// CommonDialogAPI: placeholder until the pickers land.
#include "pickers/CommonDialogAPI.h"

namespace CommonDialogAPI {
std::string ShowOpenFileDialog(HWND, const std::string&, const std::string&, const std::string&) { return {}; }
}  // namespace CommonDialogAPI
namespace pickers {
std::string BrowseForFolder(HWND, const std::string&) { return {}; }
}  // namespace pickers
