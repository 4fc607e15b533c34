// What a component's DllRegisterServer writes, as captured in a scratch key: keys and values, with
// no registry view (the component's bitness decides where they belong).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace capture {

// The predefined key a captured key was written under. What a component writes to
// HKEY_CLASSES_ROOT, HKEY_LOCAL_MACHINE\Software\Classes or HKEY_CURRENT_USER\Software\Classes is
// read back as Classes; the rest under the root it was written to.
enum class Root { Classes, LocalMachine, CurrentUser, Users };

struct Value {
    std::wstring name;        // L"" for the key's default value
    std::uint32_t type = 1;   // REG_SZ, REG_DWORD, ... as stored, unknown types included
    std::string data;         // the bytes as stored: UTF-16LE for the string types, terminator included
    friend bool operator==(const Value&, const Value&) = default;
};

struct Key {
    Root root = Root::Classes;
    std::wstring path;        // below the root, L"CLSID\\{...}\\InprocServer32"; never empty
    std::vector<Value> values;
    bool hasSubkeys = false;  // some key of the capture lies below this one
    friend bool operator==(const Key&, const Key&) = default;
};

struct Capture {
    std::string file;             // the component's full path, in the program's code page
    std::uint16_t machine = 0;    // its COFF machine (0x14c i386, 0x8664 AMD64): the view its keys belong to
    std::vector<Key> keys;        // every key written, parents before children
    // Nothing written at all: no key, and so no value.
    bool Empty() const { return keys.empty(); }
};

}  // namespace capture
