// The runner's library search: the folders, the order they are added in, and setting it up.
#include "pe/DllSearch.h"

#include <windows.h>

#include <algorithm>

#include "win32/Handles.h"
#include "win32/Paths.h"
#include "win32/Text.h"

namespace runner {
namespace {

std::string Trimmed(std::string folder) {
    if (folder.size() >= 2 && folder.front() == '"' && folder.back() == '"') {
        folder = folder.substr(1, folder.size() - 2);
    }
    // "C:\" keeps its separator: "C:" alone names the drive's current folder.
    while (folder.size() > 3 && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
    return folder;
}

// A drive path ("C:\...") or a UNC one ("\\server\share\..."): never relative to the current folder.
bool IsAbsolute(const std::string& folder) {
    const bool drive = folder.size() >= 3 && folder[1] == ':' && (folder[2] == '\\' || folder[2] == '/');
    const bool unc = folder.size() >= 3 && folder[0] == '\\' && folder[1] == '\\';
    return drive || unc;
}

bool SameFolder(const std::string& a, const std::string& b) {
    return Trimmed(a).size() == Trimmed(b).size() && _stricmp(Trimmed(a).c_str(), Trimmed(b).c_str()) == 0;
}

std::string Variable(const char* name) {
    const DWORD size = ::GetEnvironmentVariableA(name, nullptr, 0);
    if (size == 0) return {};
    std::string value(size, '\0');
    const DWORD length = ::GetEnvironmentVariableA(name, value.data(), size);
    value.resize(length < size ? length : 0);
    return value;
}

std::string WindowsFolder() {
    char folder[MAX_PATH + 1] = {};
    const UINT length = ::GetWindowsDirectoryA(folder, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::string(folder, length) : std::string();
}

}  // namespace

std::vector<std::string> LibraryFolders(const std::string& systemFolder, const std::string& windowsFolder,
                                        const std::string& pathVariable, const std::string& ownFolder) {
    std::vector<std::string> candidates{systemFolder};
    if (!windowsFolder.empty()) {
        candidates.push_back(win32::JoinPath(windowsFolder, "System"));
        candidates.push_back(windowsFolder);
    }
    for (std::size_t start = 0; start <= pathVariable.size();) {
        const std::size_t end = std::min(pathVariable.find(';', start), pathVariable.size());
        candidates.push_back(pathVariable.substr(start, end - start));
        start = end + 1;
    }
    std::vector<std::string> folders;
    for (const std::string& candidate : candidates) {
        const std::string folder = Trimmed(candidate);
        if (!IsAbsolute(folder) || (!ownFolder.empty() && SameFolder(folder, ownFolder))) continue;
        const bool seen = std::any_of(folders.begin(), folders.end(),
                                      [&folder](const std::string& kept) { return SameFolder(kept, folder); });
        if (!seen) folders.push_back(folder);
    }
    return folders;
}

std::vector<std::string> ProcessLibraryFolders() {
    return LibraryFolders(win32::SystemFolder(), WindowsFolder(), Variable("PATH"), win32::ProgramFolder());
}

std::vector<std::string> AddOrder(const std::vector<std::string>& folders) {
    std::vector<std::string> order(folders);
    order.insert(order.end(), folders.rbegin(), folders.rend());
    return order;
}

bool RestrictLibrarySearch() {
    if (!::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_USER_DIRS)) return false;
    // A folder the system will not add (one that does not exist, say) is simply not searched.
    for (const std::string& folder : AddOrder(ProcessLibraryFolders())) {
        (void)::AddDllDirectory(win32::Wide(folder).c_str());
    }
    return true;
}

unsigned long LoadComponentFlags() {
    return LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_USER_DIRS | LOAD_LIBRARY_SEARCH_SYSTEM32;
}

bool IsFileLoaded(HMODULE library, const std::string& path) {
    std::wstring loaded(32768, L'\0');
    const DWORD length = ::GetModuleFileNameW(library, loaded.data(), static_cast<DWORD>(loaded.size()));
    if (length == 0 || length >= loaded.size()) return true;
    loaded.resize(length);
    const auto identity = [](const std::wstring& file, BY_HANDLE_FILE_INFORMATION& info) {
        const win32::unique_handle handle(::CreateFileW(file.c_str(), FILE_READ_ATTRIBUTES,
                                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        return win32::IsValid(handle) && ::GetFileInformationByHandle(handle.get(), &info) != FALSE;
    };
    BY_HANDLE_FILE_INFORMATION mine{}, theirs{};
    if (!identity(win32::Wide(path), mine) || !identity(loaded, theirs)) return true;
    return mine.dwVolumeSerialNumber == theirs.dwVolumeSerialNumber && mine.nFileIndexHigh == theirs.nFileIndexHigh &&
           mine.nFileIndexLow == theirs.nFileIndexLow;
}

}  // namespace runner
