/* A DLL planted beside a program under the name of a system DLL. Loaded, it adds a line to
   planted.log beside itself (its own name, the process's command line) and refuses to load, so that the
   process goes on, or fails, without running anything else of it. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    char log[MAX_PATH + 16] = {0};
    DWORD length = GetModuleFileNameA(self, log, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return FALSE;
    char* slash = log + length;
    while (slash > log && slash[-1] != '\\') --slash;
    char name[MAX_PATH] = {0};
    lstrcpynA(name, slash, MAX_PATH);
    lstrcpyA(slash, "planted.log");

    char line[2048] = {0};
    lstrcpynA(line, name, MAX_PATH);
    lstrcatA(line, " ");
    lstrcpynA(line + lstrlenA(line), GetCommandLineA(), (int)sizeof line - lstrlenA(line) - 3);
    lstrcatA(line, "\r\n");
    HANDLE file = CreateFileA(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, line, (DWORD)lstrlenA(line), &written, NULL);
        CloseHandle(file);
    }
    return FALSE;
}
