// What a captured registration says under the classes, read as COM reads it: the classes with their
// servers, ProgIDs and type libraries, the ProgID keys, the type libraries and the interfaces; and
// what else it wrote that is no part of those.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "inspect/Capture.h"

namespace check {

struct ComClass {
    std::wstring id;              // the CLSID's text as registered
    std::wstring description;     // the class key's default value
    std::wstring server;          // InprocServer32's default value; "" for none
    bool ownFile = false;         // ... naming the capture's own file
    bool outOfProcess = false;    // LocalServer32, LocalServer or an AppID: served by another process
    bool categories = false;      // Implemented or Required Categories
    std::wstring threadingModel;  // InprocServer32's ThreadingModel, as registered
    std::wstring progId, versionIndependentProgId, typeLib;
    // MiscStatus: the default, then the aspects content (1), thumbnail (2), icon (4) and docprint (8).
    std::optional<std::uint32_t> miscStatus[5];
};

// A ProgID key of its own (NAME\CLSID), naming the class it makes.
struct ProgIdKey {
    std::wstring name, clsid;
};

// One version of a type library in one locale: TypeLib\{LIBID}\VERSION\LCID\win32 or win64.
struct ComLibrary {
    std::wstring id, version;  // the key names as registered ("1.a")
    std::uint16_t major = 0, minor = 0;  // the version the system reads from them (1.10)
    std::uint32_t lcid = 0;
    std::wstring name;             // the version key's default value
    std::wstring win32, win64;     // the file of each platform; "" where none is registered
    std::optional<std::uint32_t> flags;  // FLAGS (LIBFLAGS)
    std::wstring helpDir;          // HELPDIR
};

struct ComInterface {
    std::wstring id, name, proxyStub, numMethods, baseInterface, typeLib;
};

struct ComRegistration {
    std::vector<ComClass> classes;           // in the order their keys were written
    std::vector<ProgIdKey> progIds;
    std::vector<ComLibrary> libraries;
    std::vector<ComInterface> interfaces;
    unsigned keysOutside = 0;                // keys written outside the classes
    std::vector<std::wstring> associations;  // file name extensions (".abc") given a class or a program
    bool componentCategories = false;        // the Component Categories key
    bool appIds = false;                     // AppID keys (out-of-process servers, surrogates)
    std::vector<std::wstring> otherKeys;     // any other key directly under the classes
};

ComRegistration ReadComRegistration(const capture::Capture& capture);

// A registry key path split at its backslashes.
std::vector<std::wstring_view> KeyParts(std::wstring_view path);
// A hexadecimal number of one to `digits` digits, as the system reads a version part or a locale.
std::optional<std::uint32_t> HexNumber(std::wstring_view text, std::size_t digits);
std::wstring UpperCase(std::wstring_view text);

}  // namespace check
