// Paths every room needs, each written once.
#include "win32/Paths.h"

namespace win32 {

std::string ModulePath(HMODULE module) {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameA(module, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);  // cut short: try again with more room
    }
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of("\\/");
    if (slash == std::string::npos) return {};
    std::string folder = path.substr(0, slash);
    if (folder.size() == 2 && folder[1] == ':') folder += '\\';
    return folder;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    const bool separated = !folder.empty() && (folder.back() == '\\' || folder.back() == '/');
    return separated ? folder + name : folder + "\\" + name;
}

std::string ProgramFolder() { return FolderOf(ModulePath()); }

std::string SystemFolder() {
    char system[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryA(system, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::string(system, length) : std::string();
}

std::string FullPath(const std::string& path, DWORD& error) {
    error = ERROR_SUCCESS;
    if (path.empty()) {
        error = ERROR_INVALID_NAME;
        return {};
    }
    std::string full(MAX_PATH, '\0');
    for (;;) {
        const DWORD length = ::GetFullPathNameA(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0) {
            error = ::GetLastError();
            return {};
        }
        if (length < full.size()) {
            full.resize(length);
            return full;
        }
        full.resize(length);
    }
}

std::string FullPathOr(const std::string& path) {
    DWORD error = ERROR_SUCCESS;
    std::string full = FullPath(path, error);
    return full.empty() ? path : full;
}

namespace {
DWORD Attributes(const std::string& path) {
    // GetFileAttributesA names one file exactly; a wildcard is no file name and finds nothing.
    if (path.empty() || path.find_first_of("*?") != std::string::npos) return INVALID_FILE_ATTRIBUTES;
    return ::GetFileAttributesA(path.c_str());
}
}  // namespace

bool IsOrdinaryFile(const std::string& path) {
    const DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) == 0;
}

bool IsFolder(const std::string& path) {
    const DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace win32
