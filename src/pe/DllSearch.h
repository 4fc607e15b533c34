// Where a runner's loads look for a library: one list, used by the load and by the load diagnosis.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace runner {

// The folders searched after a component's own folder, in order, as the system's registration tool
// (which lives in the system folder) searches them: the system folder, the 16-bit system folder, the
// Windows folder, then each PATH folder. Each folder once (letter case and trailing separators
// ignored), quotes around a PATH entry dropped; never `ownFolder` (the programs' folder, which may be
// a Downloads folder holding anything), nor a relative entry (it would name whatever folder is
// current), nor an empty one.
std::vector<std::string> LibraryFolders(const std::string& systemFolder, const std::string& windowsFolder,
                                        const std::string& pathVariable, const std::string& ownFolder);

// LibraryFolders for this process: its system and Windows folders, its PATH and its own folder.
std::vector<std::string> ProcessLibraryFolders();

// The order in which to hand `folders` to AddDllDirectory: the list, then the list backwards. Windows
// leaves the order of added folders unspecified; Wine searches the last added first. Read either way,
// this order finds each folder first where `folders` has it, and the second copy is never reached
// for a library the first one holds.
std::vector<std::string> AddOrder(const std::vector<std::string>& folders);

// Makes this process search only the system folders and PATH for every library loaded by name,
// never its own folder or the current one; a component is then loaded with LoadComponentFlags(),
// which puts the component's own folder first for its dependencies. False when the system refuses
// (then nothing is changed).
bool RestrictLibrarySearch();

// The LoadLibraryEx flags of a component's load after RestrictLibrarySearch(): its own folder, the
// folders added, the system folder. Not LOAD_LIBRARY_SEARCH_DEFAULT_DIRS, which includes the
// program's own folder.
unsigned long LoadComponentFlags();

// Whether `library` is the file at `path`, and not a module of its name that the loader handed back
// because one was loaded already from elsewhere (Wine does so for its own DLLs copied to another
// folder). By volume and file index; where either cannot be told, it is taken to be.
bool IsFileLoaded(HMODULE library, const std::string& path);

}  // namespace runner
