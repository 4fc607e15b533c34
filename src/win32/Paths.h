// Paths every room needs: the program's own, a file's folder, the system folder, full forms, tests.
#pragma once

#include <windows.h>

#include <string>

namespace win32 {

// The full path of a loaded module (the program itself for nullptr), however long it is; "" on failure.
std::string ModulePath(HMODULE module = nullptr);

// The folder part of a path, without the last separator ("" when the path has none).
std::string FolderOf(const std::string& path);

// The program's own folder.
std::string ProgramFolder();

// The system folder of this process's bitness ("" when the system will not say).
std::string SystemFolder();

// The absolute form of path; "" with the system error in `error` when it has none.
std::string FullPath(const std::string& path, DWORD& error);
// The absolute form of path, or path itself when it has none.
std::string FullPathOr(const std::string& path);

// An ordinary file (not a folder, hidden or system file), and a folder. Neither matches wildcards:
// the text must name the file or folder itself.
bool IsOrdinaryFile(const std::string& path);
bool IsFolder(const std::string& path);

}  // namespace win32
