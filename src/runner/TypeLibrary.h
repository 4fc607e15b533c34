// Type library files (.tlb, .olb, program files holding TYPELIB resources): what one declares, and its
// registration machine-wide or for the current user, done in this process (a runner of its bitness).
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "runner/RunnerLoad.h"

namespace runner {

// What a type library says of itself (TLIBATTR and its name).
struct TypeLibraryFacts {
    GUID libid{};
    WORD major = 0, minor = 0;
    LCID lcid = 0;
    SYSKIND syskind = SYS_WIN32;
    std::string name;
    unsigned interfaces = 0;  // type descriptions of kind TKIND_INTERFACE or TKIND_DISPATCH
};

// Paths name a file, or a program file and the number of its TYPELIB resource after a backslash
// ("C:\\app\\control.ocx\\2"); without a number, a program file's first. A relative path is taken from the
// current folder, and the registry is given the full one.

// Reads the library without registering it: S_OK, or the failure of LoadTypeLibEx, which leaves facts as
// they were (Wine 8 gives TYPE_E_CANTLOADLIBRARY for a missing file, one that is no type library and a
// program file without the resource named).
HRESULT ReadTypeLibrary(const std::string& path, TypeLibraryFacts& facts);

// RegisterTypeLib, or for the current user RegisterTypeLibForUser with HKEY_CLASSES_ROOT redirected to
// HKEY_CURRENT_USER\Software\Classes for the call (see TypeLibrary.cpp for what Wine 8 makes of it). A
// caller that redirected HKEY_CLASSES_ROOT itself (runner::UserClasses) leaves it before the call.
HRESULT RegisterTypeLibraryFile(const std::string& path, bool perUser);

// Reads the file's library, then UnRegisterTypeLib (or UnRegisterTypeLibForUser, redirected as above)
// for its LIBID, version, locale and system kind.
HRESULT UnregisterTypeLibraryFile(const std::string& path, bool perUser);

// The machine whose processes use a library of this kind (IMAGE_FILE_MACHINE_I386 for SYS_WIN32,
// IMAGE_FILE_MACHINE_AMD64 for SYS_WIN64), 0 for any other.
std::uint16_t MachineOf(SYSKIND syskind);

// The facts as a probe's reply carries them to the program: name, LIBID, major, minor, locale, system
// kind and interfaces, each ended by a NUL; "" when they would not fit a reply.
std::string EncodeFacts(const TypeLibraryFacts& facts);
// The inverse: false for bytes a runner should not have sent (a field missing or out of its range, a
// name longer than 255 bytes or holding a control character), facts then as they were.
bool DecodeFacts(std::string_view bytes, TypeLibraryFacts& facts);

// The runner's answer to a type library's request (ProbeTypeLib, RegisterTypeLib, UnregisterTypeLib,
// CaptureTypeLib), in a single-threaded apartment.
Response ServeTypeLibrary(Request kind, const std::string& text, bool perUser);

// "Type library Grid 1.0 ({48BC6534-B85D-44DC-81BF-FAD077FBA850}), 5 interfaces."
std::string TypeLibraryDetail(const TypeLibraryFacts& facts);

}  // namespace runner
