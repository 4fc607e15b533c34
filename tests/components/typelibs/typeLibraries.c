/* typeLibraries.dll: no entry points, only its TYPELIB resources (typeLibraries.rc). */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance;
    (void)reason;
    (void)reserved;
    return TRUE;
}
