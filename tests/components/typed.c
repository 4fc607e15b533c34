/* A component that registers as full ones do: a class with a ProgID, a type library with one interface
   (made beside the DLL at each registration, registered with RegisterTypeLib), and a value under
   HKEY_LOCAL_MACHINE\SOFTWARE outside the classes. */
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <olectl.h>
#include <string.h>

#include "TestComponents.h"

static HMODULE g_self;

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        g_self = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

static BOOL SetString(HKEY root, const char* key, const char* name, const char* value) {
    HKEY opened = NULL;
    LONG status = RegCreateKeyExA(root, key, 0, NULL, 0, KEY_WRITE, NULL, &opened, NULL);
    if (status != ERROR_SUCCESS) return FALSE;
    if (value != NULL) status = RegSetValueExA(opened, name, 0, REG_SZ, (const BYTE*)value, (DWORD)strlen(value) + 1);
    RegCloseKey(opened);
    return status == ERROR_SUCCESS;
}

static HRESULT GuidOf(const char* text, GUID* guid) {
    WCHAR wide[64];
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 64);
    return CLSIDFromString(wide, guid);
}

#ifdef _WIN64
#define TYPED_SYSKIND SYS_WIN64
#else
#define TYPED_SYSKIND SYS_WIN32
#endif

/* The type library file beside the DLL: "<dll>.tlb", made at each registration (for this bitness) with
   one oleautomation interface. */
static HRESULT MakeTypeLibrary(const WCHAR* path) {
    ICreateTypeLib2* library = NULL;
    ICreateTypeInfo* info = NULL;
    ITypeLib* stdole = NULL;
    ITypeInfo* unknown = NULL;
    HREFTYPE unknownRef = 0;
    GUID libraryGuid, interfaceGuid;
    HRESULT hr = GuidOf(VELQUIST_TYPED_LIBID, &libraryGuid);
    if (SUCCEEDED(hr)) hr = GuidOf(VELQUIST_TYPED_IID, &interfaceGuid);
    if (SUCCEEDED(hr)) hr = CreateTypeLib2(TYPED_SYSKIND, path, &library);
    if (SUCCEEDED(hr)) hr = library->lpVtbl->SetName(library, L"VelquistTyped");
    if (SUCCEEDED(hr)) hr = library->lpVtbl->SetGuid(library, &libraryGuid);
    if (SUCCEEDED(hr)) hr = library->lpVtbl->SetVersion(library, 1, 0);
    if (SUCCEEDED(hr)) hr = library->lpVtbl->SetLcid(library, LOCALE_NEUTRAL);
    if (SUCCEEDED(hr)) hr = library->lpVtbl->CreateTypeInfo(library, L"ITyped", TKIND_INTERFACE, &info);
    if (SUCCEEDED(hr)) hr = info->lpVtbl->SetGuid(info, &interfaceGuid);
    if (SUCCEEDED(hr)) hr = info->lpVtbl->SetTypeFlags(info, TYPEFLAG_FOLEAUTOMATION);
    if (SUCCEEDED(hr)) hr = LoadTypeLibEx(L"stdole2.tlb", REGKIND_NONE, &stdole);
    if (SUCCEEDED(hr)) hr = stdole->lpVtbl->GetTypeInfoOfGuid(stdole, &IID_IUnknown, &unknown);
    if (SUCCEEDED(hr)) hr = info->lpVtbl->AddRefTypeInfo(info, unknown, &unknownRef);
    if (SUCCEEDED(hr)) hr = info->lpVtbl->AddImplType(info, 0, unknownRef);
    if (SUCCEEDED(hr)) hr = info->lpVtbl->LayOut(info);
    if (SUCCEEDED(hr)) hr = library->lpVtbl->SaveAllChanges(library);
    if (unknown) unknown->lpVtbl->Release(unknown);
    if (stdole) stdole->lpVtbl->Release(stdole);
    if (info) info->lpVtbl->Release(info);
    if (library) library->lpVtbl->Release(library);
    return hr;
}

static HRESULT RegisterTypeLibrary(const char* dllPath) {
    WCHAR path[4 * MAX_PATH];
    ITypeLib* library = NULL;
    HRESULT hr;
    if (MultiByteToWideChar(CP_ACP, 0, dllPath, -1, path, 4 * MAX_PATH - 8) == 0) return E_FAIL;
    wcscat(path, L".tlb");
    hr = MakeTypeLibrary(path);
    if (FAILED(hr)) return hr;
    hr = LoadTypeLibEx(path, REGKIND_NONE, &library);
    if (FAILED(hr)) return hr;
    hr = RegisterTypeLib(library, path, NULL);
    library->lpVtbl->Release(library);
    return hr;
}

__declspec(dllexport) HRESULT WINAPI DllRegisterServer(void) {
    char path[4 * MAX_PATH];
    const DWORD build = 7;
    HKEY product = NULL;
    BOOL ok;
    HRESULT hr;
    DWORD length = GetModuleFileNameA(g_self, path, sizeof path);
    if (length == 0 || length >= sizeof path - 8) return SELFREG_E_CLASS;
    ok = SetString(HKEY_CLASSES_ROOT, VELQUIST_TYPED_CLASS_KEY, NULL, VELQUIST_TYPED_NAME) &&
         SetString(HKEY_CLASSES_ROOT, VELQUIST_TYPED_CLASS_KEY "\\InprocServer32", NULL, path) &&
         SetString(HKEY_CLASSES_ROOT, VELQUIST_TYPED_CLASS_KEY "\\InprocServer32", "ThreadingModel", "Both") &&
         SetString(HKEY_CLASSES_ROOT, VELQUIST_TYPED_CLASS_KEY "\\ProgID", NULL, VELQUIST_TYPED_PROGID ".1") &&
         SetString(HKEY_CLASSES_ROOT, VELQUIST_TYPED_CLASS_KEY "\\VersionIndependentProgID", NULL, VELQUIST_TYPED_PROGID) &&
         SetString(HKEY_CLASSES_ROOT, VELQUIST_TYPED_CLASS_KEY "\\TypeLib", NULL, VELQUIST_TYPED_LIBID) &&
         SetString(HKEY_CLASSES_ROOT, VELQUIST_TYPED_CLASS_KEY "\\Programmable", NULL, NULL) &&
         SetString(HKEY_CLASSES_ROOT, VELQUIST_TYPED_PROGID ".1", NULL, VELQUIST_TYPED_NAME) &&
         SetString(HKEY_CLASSES_ROOT, VELQUIST_TYPED_PROGID ".1\\CLSID", NULL, VELQUIST_TYPED_CLSID) &&
         SetString(HKEY_CLASSES_ROOT, VELQUIST_TYPED_PROGID, NULL, VELQUIST_TYPED_NAME) &&
         SetString(HKEY_CLASSES_ROOT, VELQUIST_TYPED_PROGID "\\CLSID", NULL, VELQUIST_TYPED_CLSID) &&
         SetString(HKEY_CLASSES_ROOT, VELQUIST_TYPED_PROGID "\\CurVer", NULL, VELQUIST_TYPED_PROGID ".1") &&
         SetString(HKEY_LOCAL_MACHINE, VELQUIST_TYPED_PRODUCT_KEY, "Path", path);
    if (!ok) return SELFREG_E_CLASS;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, VELQUIST_TYPED_PRODUCT_KEY, 0, KEY_WRITE, &product) != ERROR_SUCCESS)
        return SELFREG_E_CLASS;
    ok = RegSetValueExA(product, "Build", 0, REG_DWORD, (const BYTE*)&build, sizeof build) == ERROR_SUCCESS;
    RegCloseKey(product);
    if (!ok) return SELFREG_E_CLASS;
    hr = RegisterTypeLibrary(path);
    return FAILED(hr) ? SELFREG_E_TYPELIB : S_OK;
}

__declspec(dllexport) HRESULT WINAPI DllUnregisterServer(void) {
    GUID libraryGuid;
    RegDeleteTreeA(HKEY_CLASSES_ROOT, VELQUIST_TYPED_CLASS_KEY);
    RegDeleteTreeA(HKEY_CLASSES_ROOT, VELQUIST_TYPED_PROGID ".1");
    RegDeleteTreeA(HKEY_CLASSES_ROOT, VELQUIST_TYPED_PROGID);
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, VELQUIST_TYPED_PRODUCT_KEY);
    if (SUCCEEDED(GuidOf(VELQUIST_TYPED_LIBID, &libraryGuid))) {
        UnRegisterTypeLib(&libraryGuid, 1, 0, LOCALE_NEUTRAL, TYPED_SYSKIND);
    }
    return S_OK;
}
