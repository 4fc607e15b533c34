// The .reg file that puts a set of keys back as they were: each key read whole, in regedit's format.
#pragma once

#include <string>
#include <vector>

#include "inspect/RegistryTree.h"

namespace velquist {

// A key read whole for a backup: its full name ("HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{...}") and
// what registry::ReadTree read of it, parents before children.
struct SavedTree {
    std::wstring name;
    std::vector<registry::TreeKey> keys;
};

// The text of a .reg file that makes every key of the trees again, empty ones included, with every
// value as it was (type and bytes), for SaveRegFile. `about` is the header comment's line. False when
// some key's or value's name holds a line break or NUL, which a .reg file cannot hold: such a
// backup would not put everything back.
bool BackupText(const std::vector<SavedTree>& trees, const std::wstring& about, std::wstring& text);

}  // namespace velquist
