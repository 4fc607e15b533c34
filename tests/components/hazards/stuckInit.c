/* A library whose initialisation never ends. It exports no entry point, so no probe should load it. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance;
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) Sleep(INFINITE);
    return TRUE;
}

__declspec(dllexport) int StuckInit(void) { return 0; }
