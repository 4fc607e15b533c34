// Where the delay-loaded system DLLs come from: the system folder only. The program's own folder is
// searched first by default, and a DLL of the same name placed there (a Downloads folder holds
// anything) would run as the user, or as administrator in an elevated window. Linked into every
// program that delay-loads (see cmake/DelayLoad.cmake).
#include <windows.h>
#include <delayimp.h>

#include <string>

namespace {

// The DLL of that name from the system folder, through the process's activation context, so that
// comctl32 is still the version 6 the manifest asks for.
HMODULE LoadFromSystemFolder(const char* name) {
    if (HMODULE module = ::LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) return module;
    // A system without the search flags refuses them: name the folder.
    if (::GetLastError() != ERROR_INVALID_PARAMETER) return nullptr;
    char system[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryA(system, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    const std::string path = std::string(system, length) + "\\" + name;
    return ::LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

FARPROC WINAPI SystemFolderOnly(unsigned notice, PDelayLoadInfo info) {
    if (notice != dliNotePreLoadLibrary) return nullptr;
    if (HMODULE module = LoadFromSystemFolder(info->szDll)) return reinterpret_cast<FARPROC>(module);
    // The helper would go on to LoadLibraryA and its default search: fail as it fails instead.
    info->dwLastError = ::GetLastError();
    ULONG_PTR argument = reinterpret_cast<ULONG_PTR>(info);
    ::RaiseException(VcppException(ERROR_SEVERITY_ERROR, ERROR_MOD_NOT_FOUND), 0, 1, &argument);
    return nullptr;
}

}  // namespace

extern "C" {
PfnDliHook __pfnDliNotifyHook2 = SystemFolderOnly;
}
