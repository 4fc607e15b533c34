/* A small in-process COM server that registers one class (COMSERVER_CLSID) under HKEY_CLASSES_ROOT.
   Built with SEEK, its registration also needs depHelper.dll (imported, beside it) and loads
   version.dll by its bare name, as components load what they use late: it fails unless that came
   from the system folder. */
#include <windows.h>
#include <objbase.h>
#include <olectl.h>
#include <string.h>

#define CLASS_KEY "CLSID\\" COMSERVER_CLSID

static HMODULE g_self;

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        g_self = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

static BOOL SetString(HKEY key, const char* name, const char* value) {
    return RegSetValueExA(key, name, 0, REG_SZ, (const BYTE*)value, (DWORD)strlen(value) + 1) == ERROR_SUCCESS;
}

/* The caller must have made this thread a single-threaded apartment, as registration tools do. */
static HRESULT CheckApartment(void) {
    HRESULT hr = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    if (hr == RPC_E_CHANGED_MODE) return hr;
    CoUninitialize();
    return hr == S_FALSE ? S_OK : CO_E_NOTINITIALIZED;
}

#ifdef SEEK
__declspec(dllimport) int DepHelperValue(void);

/* version.dll, loaded by name, is the one in the system folder. */
static BOOL VersionFromSystem(void) {
    char system[MAX_PATH], loaded[MAX_PATH];
    HMODULE version = LoadLibraryA("version.dll");
    UINT systemLength = GetSystemDirectoryA(system, MAX_PATH);
    BOOL fromSystem = FALSE;
    if (version == NULL) return FALSE;
    if (systemLength > 0 && systemLength < MAX_PATH && GetModuleFileNameA(version, loaded, MAX_PATH) > systemLength) {
        fromSystem = CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, loaded, (int)systemLength, system,
                                    (int)systemLength) == CSTR_EQUAL && loaded[systemLength] == '\\';
    }
    FreeLibrary(version);
    return fromSystem;
}
#endif

__declspec(dllexport) HRESULT WINAPI DllRegisterServer(void) {
    char path[4 * MAX_PATH];
    HKEY classKey = NULL, serverKey = NULL;
    BOOL ok;
    HRESULT hr = CheckApartment();
    if (FAILED(hr)) return hr;
#ifdef SEEK
    if (DepHelperValue() != 42 || !VersionFromSystem()) return E_FAIL;
#endif
    DWORD length = GetModuleFileNameA(g_self, path, sizeof path);
    if (length == 0 || length >= sizeof path) return SELFREG_E_CLASS;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, CLASS_KEY, 0, NULL, 0, KEY_WRITE, NULL, &classKey, NULL) != ERROR_SUCCESS)
        return SELFREG_E_CLASS;
    ok = SetString(classKey, NULL, COMSERVER_NAME) &&
         RegCreateKeyExA(classKey, "InprocServer32", 0, NULL, 0, KEY_WRITE, NULL, &serverKey, NULL) == ERROR_SUCCESS &&
         SetString(serverKey, NULL, path) && SetString(serverKey, "ThreadingModel", "Apartment");
    if (serverKey) RegCloseKey(serverKey);
    RegCloseKey(classKey);
    return ok ? S_OK : SELFREG_E_CLASS;
}

__declspec(dllexport) HRESULT WINAPI DllUnregisterServer(void) {
    LONG status = RegDeleteTreeA(HKEY_CLASSES_ROOT, CLASS_KEY);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? S_OK : SELFREG_E_CLASS;
}
