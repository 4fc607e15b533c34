// The full path of a loaded module (the program itself for nullptr), however long it is.
#pragma once

#include <windows.h>

#include <string>

namespace win32 {

inline std::string ModulePath(HMODULE module = nullptr) {
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

}  // namespace win32
