// Removing what a scan found broken: the keys that may go, a backup of each of them whole that puts
// them back, and their deletion only once that backup is written.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "machine/Scan.h"

namespace machine {

// A key the clean removes whole, with its subkeys and values.
struct Removal {
    enum class Kind { Class, ProgId, TypeLib };  // TypeLib: a platform, a version or a library key
    Kind kind;
    HKEY hive;
    REGSAM view;
    std::wstring path;  // below the hive
    Place place;
    std::string file;   // the missing file it points at; "" for a ProgID whose class is registered nowhere
    std::string name;   // the ProgID's name, the class's CLSID, "{libid} 1.0"
};

// What may be removed of what was read and judged from these roots: a class key whose every server is
// missing; the ProgIDs that name such a class or no registered class; a type library's platform key
// whose file is missing, or its version key when all of that version's platforms are, or the library
// key when all its versions go. Never a container key, an interface, anything not checked, advertised
// or managed, nor anything that something present still uses (those are not judged broken; nor is a
// ProgID that is also a file type: an extension names it, or it has shell verbs).
std::vector<Removal> PlanClean(const std::vector<ClassesRoot>& roots, const Registrations& registrations,
                               const Findings& findings);

// The .reg file, in regedit's format, that puts the removals' keys back as they are now, each whole in
// its own place; ERROR_SUCCESS, or the error that kept a key from being read (nothing may go then).
// A key that is already gone is left out.
LONG BackupText(const std::vector<Removal>& removals, const std::wstring& date, std::wstring& text);

// Deletes each removal's key whole: ERROR_SUCCESS for each, or the error that kept it (access denied
// for the machine's keys without administrator rights). A key already gone counts as removed.
std::vector<LONG> Remove(const std::vector<Removal>& removals);

}  // namespace machine
