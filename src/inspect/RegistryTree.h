// A registry key and everything below it, read whole (names and values with their real types) and
// put back.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "inspect/Capture.h"

namespace registry {

struct TreeKey {
    std::wstring path;  // below the key read; L"" for that key itself
    std::vector<capture::Value> values;
    friend bool operator==(const TreeKey&, const TreeKey&) = default;
};

// The key root\subKey and every key below it, parents before children, in `view` (0, KEY_WOW64_32KEY
// or KEY_WOW64_64KEY). ERROR_SUCCESS; ERROR_FILE_NOT_FOUND with no keys when it does not exist; else
// the system error that stopped the reading.
LONG ReadTree(HKEY root, const std::wstring& subKey, REGSAM view, std::vector<TreeKey>& keys);

// Makes root\subKey hold exactly `keys` (as ReadTree read them): keys not among them deleted, missing
// ones created, values set or deleted where they differ. Writes nothing where nothing differs.
// ERROR_SUCCESS, or the first system error met (the rest is still put back).
LONG RestoreTree(HKEY root, const std::wstring& subKey, REGSAM view, const std::vector<TreeKey>& keys);

// Key paths compared as the registry compares them: case ignored.
std::wstring Folded(const std::wstring& path);

}  // namespace registry
