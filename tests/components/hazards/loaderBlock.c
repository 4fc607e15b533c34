/* An entry point that gets stuck inside the system's library loader: it loads stuckInit.dll from its
   own folder, whose initialisation never ends, so its thread holds the loader's lock for good. */
#include <windows.h>
#include <string.h>

static HMODULE g_self;

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) g_self = instance;
    return TRUE;
}

static HRESULT LoadStuck(void) {
    char path[4 * MAX_PATH];
    DWORD length = GetModuleFileNameA(g_self, path, sizeof path - 16);
    char* cut = strrchr(path, '\\');
    if (length == 0 || cut == NULL) return E_FAIL;
    strcpy(cut + 1, "stuckInit.dll");
    return LoadLibraryA(path) != NULL ? S_OK : E_FAIL;
}

__declspec(dllexport) HRESULT WINAPI DllRegisterServer(void) { return LoadStuck(); }
__declspec(dllexport) HRESULT WINAPI DllUnregisterServer(void) { return LoadStuck(); }
