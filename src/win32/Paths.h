// Paths every room needs: the program's own, a file's folder, the system folder, full forms, tests.
#pragma once

#include <windows.h>

#include <string>

namespace win32 {

// The full path of a loaded module (the program itself for nullptr), however long it is; "" on failure.
std::string ModulePath(HMODULE module = nullptr);

// The folder holding a file, without a trailing separator ("" when the path has none); a drive's
// root keeps its "C:\", as "C:" alone names the drive's current folder.
std::string FolderOf(const std::string& path);

// folder + "\" + name, without doubling a separator the folder already ends with ("C:\").
std::string JoinPath(const std::string& folder, const std::string& name);

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
