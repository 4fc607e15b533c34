// CommonDialogAPI: the system's file-open dialog for picking one component file.
#include "pickers/CommonDialogAPI.h"

#include <commdlg.h>

#include <algorithm>
#include <cstddef>
#include <string>

#include "win32/Handles.h"

namespace CommonDialogAPI {

namespace {

// The record in its old form, without the fields later platform versions appended: 76 bytes in the
// 32-bit program, the same fields laid out with 64-bit pointers in the 64-bit one.
constexpr DWORD kOldRecordSize = static_cast<DWORD>(offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(LPCSTR));
#ifdef _WIN64
static_assert(kOldRecordSize == 136);
#else
static_assert(kOldRecordSize == 76);
#endif

constexpr std::size_t kFileBufferChars = 257;

// The dialog reads the filter list up to an empty piece: a list whose last piece is not followed by
// its own NUL would have the dialog read past the end of the text.
std::string TerminatedFilter(const std::string& filter) {
    std::string list = filter;
    if (!list.empty() && list.back() != '\0') list.push_back('\0');
    return list;  // c_str() adds the closing NUL of the double NUL.
}

std::string UpToFirstNul(const std::string& buffer) {
    return buffer.substr(0, buffer.find('\0'));
}

}  // namespace

std::string ShowOpenFileDialog(HWND owner, const std::string& filter, const std::string& initialDir,
                               const std::string& title) {
    win32::EnterApartment();  // the dialog is a COM client of the shell
    const std::string filterList = TerminatedFilter(filter);
    std::string file(kFileBufferChars, '\0');
    std::string fileTitle(kFileBufferChars, '\0');

    OPENFILENAMEA ofn{};
    ofn.lStructSize = kOldRecordSize;
    ofn.hwndOwner = owner;
    ofn.hInstance = ::GetModuleHandleA(nullptr);
    ofn.lpstrFilter = filterList.empty() ? nullptr : filterList.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size() - 1);
    ofn.lpstrFileTitle = fileTitle.data();
    ofn.nMaxFileTitle = static_cast<DWORD>(fileTitle.size() - 1);
    ofn.lpstrInitialDir = initialDir.c_str();
    ofn.lpstrTitle = title.c_str();
    ofn.Flags = 0;

    if (!::GetOpenFileNameA(&ofn)) return {};
    return UpToFirstNul(file);
}

}  // namespace CommonDialogAPI

namespace pickers {

std::string ShowSaveFileDialog(HWND owner, const std::string& defaultName, const std::string& filter,
                               const std::string& title, const std::string& extension) {
    win32::EnterApartment();
    std::string file(MAX_PATH * 4, '\0');
    file.replace(0, std::min(defaultName.size(), file.size() - 1), defaultName, 0, file.size() - 1);
    const std::string filterList = CommonDialogAPI::TerminatedFilter(filter);
    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filterList.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrTitle = title.c_str();
    dialog.lpstrDefExt = extension.c_str();
    dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_EXPLORER;
    if (!::GetSaveFileNameA(&dialog)) return {};
    return CommonDialogAPI::UpToFirstNul(file);
}

}  // namespace pickers
