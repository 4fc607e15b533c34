// What is broken in the machine's registrations: the files that are gone, with everything that
// points at them, and the entries that point at nothing registered.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "machine/Registrations.h"

namespace machine {

// A file that registrations name and that does not exist.
struct MissingFile {
    std::string file;                  // as the registrations name it, expanded
    std::vector<std::string> classes;  // their ProgIDs, or CLSIDs
    std::size_t progIds = 0;           // ProgIDs of those classes
    std::vector<std::string> typeLibs; // "Grid 1.0"
    std::set<Place> places;
};

// An entry that names no file but points at something not registered.
struct BrokenEntry {
    std::string name;    // the ProgID, the interface's name (or IID)
    std::string detail;  // what it points at, and where it is
};

// An entry a clean may remove, by its index in what was read, and the missing file it points at ("" for
// a ProgID whose class is registered nowhere).
struct Removable {
    std::size_t index;
    std::string file;
};

struct Findings {
    std::vector<MissingFile> missing;  // in the order of their files' names
    std::vector<BrokenEntry> broken;   // ProgIDs, then interfaces
    // What a clean may remove: classes whose every file is missing, ProgIDs that name such a class or
    // no registered class, type library platforms whose file is missing. Never an interface.
    std::vector<Removable> classes, progIds, typeLibs;
};

// Judges what was read. A class is broken when every file it names is missing: one served through
// another of its server values, advertised by Windows Installer, managed without a CodeBase, or on a
// share or a drive that is not ready, is not. A ProgID is broken when its class is registered in
// neither hive of its view (a ProgID of the shared classes: of either view), or its CurVer names no
// ProgID; a type library version when its file is missing; an interface when its proxy/stub class is
// registered in neither hive of its view, or is broken, or when the type library it names is registered
// nowhere.
Findings Judge(const Registrations& registrations, FileLook& look);

// "A", "A and B", "A, B and C".
std::string ListedText(const std::vector<std::string>& parts);

// "The file does not exist. 3 classes (Grid.Control, Grid.Page, {...}), 2 ProgIDs and 1 type library
// (Grid 1.0) point at it: 32-bit, for all users."
std::string MissingDetail(const MissingFile& missing);

}  // namespace machine
