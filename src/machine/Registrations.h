// The machine's COM registrations as they stand: classes, ProgIDs, type libraries and interfaces, in
// each registry view and hive, with the raw values that name their files.
#pragma once

#include <windows.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "machine/ServerFiles.h"

namespace machine {

// Where an entry is registered: the registry view (32-bit classes live under Wow6432Node on 64-bit
// Windows) and the hive (all users, or the current user).
struct Place {
    Bitness view = Bitness::Bits64;
    bool perUser = false;
    friend auto operator<=>(const Place&, const Place&) = default;
};

// "32-bit, for all users", "64-bit, for the current user".
std::string PlaceText(const Place& place);

// A classes key to read, and the place it stands for. `path` is below `hive`, read with `view`
// flags (KEY_WOW64_64KEY to read Wow6432Node as a key of its own); a key named Wow6432Node directly
// below it is another place's and is skipped.
struct ClassesRoot {
    HKEY hive;
    std::wstring path;
    REGSAM view;
    Place place;
};

// This machine's classes keys: HKLM\Software\Classes and HKCU\Software\Classes, each with its
// Wow6432Node on 64-bit Windows.
std::vector<ClassesRoot> MachineRoots();

struct ServerValue {
    enum class Kind { Inproc, Handler, Local };
    Kind kind;
    std::string value;  // the default value as written (REG_EXPAND_SZ or not: expanded when read)
};

struct ClassEntry {
    Place place;
    std::string clsid;                 // "{...}" as the key is named
    std::string name;                  // its ProgID, else its default value; "" for none
    std::vector<ServerValue> servers;  // the server keys' default values that are not empty
    bool advertised = false;           // Windows Installer installs it on first use
    bool managed = false;              // served by mscoree.dll from an assembly
    std::string codeBase;              // a managed class's file (from its CodeBase), where it has one
};

struct ProgIdEntry {
    Place place;
    std::string name;
    std::string clsid;   // its CLSID key's default value; "" for none
    std::string curVer;  // its CurVer key's default value; "" for none
};

struct TypeLibEntry {
    Place place;
    std::string libid, version, lcid, platform;  // platform: "win32" or "win64"
    std::string name;                            // the version key's default value
    std::string file;                            // the platform key's default value
};

struct InterfaceEntry {
    Place place;
    std::string iid;
    std::string name;        // the key's default value
    std::string proxyStub;   // ProxyStubClsid32; "" for none
    std::string typeLib;     // TypeLib's libid; "" for none
};

struct Registrations {
    std::vector<ClassEntry> classes;
    std::vector<ProgIdEntry> progIds;
    std::vector<TypeLibEntry> typeLibs;
    std::vector<InterfaceEntry> interfaces;
    std::set<std::string> fileTypes;  // what file name extensions name (".htm" -> "htmlfile"), upper case
};

// Reads every root; `keyRead` is called every few hundred keys (to show progress, or stop: it returns
// false to stop, leaving what was read so far).
Registrations ReadRegistrations(const std::vector<ClassesRoot>& roots, const std::function<bool()>& keyRead = {});

}  // namespace machine
