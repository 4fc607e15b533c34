/* A proxy/stub DLL: one interface whose ProxyStubClsid32 is its own class, an IPSFactoryBuffer making no proxies. */
#include <windows.h>
#include <objbase.h>
#include <olectl.h>
#include <string.h>

#include "TestComponents.h"

#define INTERFACE_KEY "Interface\\" VELQUIST_PROXYSTUB_IID
#define CLASS_KEY "CLSID\\" VELQUIST_PROXYSTUB_PSCLSID

static HMODULE g_self;
/* References to the factory and server locks: the DLL may go only when none is left. */
static LONG g_activity;

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        g_self = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

static HRESULT WINAPI FactoryQueryInterface(IPSFactoryBuffer* self, REFIID riid, void** out) {
    if (out == NULL) return E_POINTER;
    if (!IsEqualIID(riid, &IID_IUnknown) && !IsEqualIID(riid, &IID_IPSFactoryBuffer)) {
        *out = NULL;
        return E_NOINTERFACE;
    }
    *out = self;
    self->lpVtbl->AddRef(self);
    return S_OK;
}

static ULONG WINAPI FactoryAddRef(IPSFactoryBuffer* self) {
    (void)self;
    return (ULONG)InterlockedIncrement(&g_activity);
}

static ULONG WINAPI FactoryRelease(IPSFactoryBuffer* self) {
    (void)self;
    return (ULONG)InterlockedDecrement(&g_activity);
}

/* The interface is never marshalled: finding the factory is all a client of the registration checks. */
static HRESULT WINAPI FactoryCreateProxy(IPSFactoryBuffer* self, IUnknown* outer, REFIID riid, IRpcProxyBuffer** proxy,
                                         void** out) {
    (void)self;
    (void)outer;
    (void)riid;
    if (proxy != NULL) *proxy = NULL;
    if (out != NULL) *out = NULL;
    return E_NOTIMPL;
}

static HRESULT WINAPI FactoryCreateStub(IPSFactoryBuffer* self, REFIID riid, IUnknown* server, IRpcStubBuffer** stub) {
    (void)self;
    (void)riid;
    (void)server;
    if (stub != NULL) *stub = NULL;
    return E_NOTIMPL;
}

static IPSFactoryBufferVtbl g_factoryVtbl = {FactoryQueryInterface, FactoryAddRef, FactoryRelease, FactoryCreateProxy,
                                             FactoryCreateStub};
static IPSFactoryBuffer g_factory = {&g_factoryVtbl};

__declspec(dllexport) HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** out) {
    WCHAR text[] = L"" VELQUIST_PROXYSTUB_PSCLSID;
    CLSID served;
    if (out == NULL) return E_POINTER;
    *out = NULL;
    if (FAILED(CLSIDFromString(text, &served)) || !IsEqualCLSID(clsid, &served)) return CLASS_E_CLASSNOTAVAILABLE;
    return FactoryQueryInterface(&g_factory, riid, out);
}

__declspec(dllexport) HRESULT WINAPI DllCanUnloadNow(void) { return g_activity == 0 ? S_OK : S_FALSE; }

static BOOL SetString(const char* key, const char* name, const char* value) {
    HKEY opened = NULL;
    LONG status = RegCreateKeyExA(HKEY_CLASSES_ROOT, key, 0, NULL, 0, KEY_WRITE, NULL, &opened, NULL);
    if (status != ERROR_SUCCESS) return FALSE;
    status = RegSetValueExA(opened, name, 0, REG_SZ, (const BYTE*)value, (DWORD)strlen(value) + 1);
    RegCloseKey(opened);
    return status == ERROR_SUCCESS;
}

__declspec(dllexport) HRESULT WINAPI DllRegisterServer(void) {
    char path[4 * MAX_PATH];
    DWORD length = GetModuleFileNameA(g_self, path, sizeof path);
    if (length == 0 || length >= sizeof path) return SELFREG_E_CLASS;
    BOOL ok = SetString(INTERFACE_KEY, NULL, VELQUIST_PROXYSTUB_INTERFACE_NAME) &&
              SetString(INTERFACE_KEY "\\ProxyStubClsid32", NULL, VELQUIST_PROXYSTUB_PSCLSID) &&
              SetString(INTERFACE_KEY "\\NumMethods", NULL, "3") &&
              SetString(CLASS_KEY, NULL, "Velquist proxy/stub factory") &&
              SetString(CLASS_KEY "\\InprocServer32", NULL, path) &&
              SetString(CLASS_KEY "\\InprocServer32", "ThreadingModel", "Both");
    return ok ? S_OK : SELFREG_E_CLASS;
}

__declspec(dllexport) HRESULT WINAPI DllUnregisterServer(void) {
    RegDeleteTreeA(HKEY_CLASSES_ROOT, INTERFACE_KEY);
    RegDeleteTreeA(HKEY_CLASSES_ROOT, CLASS_KEY);
    return S_OK;
}
