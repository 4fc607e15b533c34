/* In-process COM servers whose classes a client makes, one build per component: its define chooses its classes
   and what making one does (TestComponents.h says what a client gets from each). */
#include <windows.h>
#include <objbase.h>
#include <ocidl.h>
#include <oleauto.h>
#include <olectl.h>
#include <stdio.h>
#include <string.h>

#include "TestComponents.h"

struct Class {
    const char* clsid;
    const char* name;
    const char* progId;
    const char* threadingModel;
};

static const struct Class g_classes[] = {
#if defined(CREATABLE)
    {VELQUIST_CREATABLE_CLSID, "Velquist creatable class (apartment)", VELQUIST_CREATABLE_PROGID, "Apartment"},
    {VELQUIST_CREATABLE_FREE_CLSID, "Velquist creatable class (free)", VELQUIST_CREATABLE_FREE_PROGID, "Free"},
#define LIBRARY_ID VELQUIST_CREATABLE_LIBID
#elif defined(LICENSED)
    {VELQUIST_LICENSED_CLSID, "Velquist licensed control", VELQUIST_LICENSED_PROGID, "Apartment"},
#elif defined(UNKNOWN_CLASS)
    {VELQUIST_UNKNOWNCLASS_CLSID, "Velquist class nobody serves", VELQUIST_UNKNOWNCLASS_PROGID, "Apartment"},
#elif defined(DELAY_MISSING)
    {VELQUIST_DELAYMISSING_CLSID, "Velquist class needing a missing library", VELQUIST_DELAYMISSING_PROGID,
     "Apartment"},
#elif defined(CRASHING_CLASS)
    {VELQUIST_CRASHINGCLASS_CLSID, "Velquist class that crashes", VELQUIST_CRASHINGCLASS_PROGID, "Apartment"},
#elif defined(HANGING_CLASS)
    {VELQUIST_HANGINGCLASS_CLSID, "Velquist class that hangs", VELQUIST_HANGINGCLASS_PROGID, "Apartment"},
#elif defined(MISSING_TYPELIB)
    {VELQUIST_MISSINGTYPELIB_CLSID, "Velquist class of a missing type library", VELQUIST_MISSINGTYPELIB_PROGID,
     "Apartment"},
#define LIBRARY_ID VELQUIST_MISSINGTYPELIB_LIBID
#else
#error "classes.c needs the define of its component"
#endif
};
#define CLASS_COUNT (sizeof g_classes / sizeof g_classes[0])

#ifdef _WIN64
#define PLATFORM_KEY "win64"
#define LIBRARY_SYSKIND SYS_WIN64
#else
#define PLATFORM_KEY "win32"
#define LIBRARY_SYSKIND SYS_WIN32
#endif

#ifdef DELAY_MISSING
/* Delay-imported: the library is looked for at the first call, so the DLL itself loads. */
__declspec(dllimport) void DelayGhostFunction(void);
#endif

static HMODULE g_self;
/* Live objects, factory references and server locks: the DLL may go only when none is left. */
static LONG g_activity;

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        g_self = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

static HRESULT GuidOf(const char* text, GUID* guid) {
    WCHAR wide[64];
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 64);
    return CLSIDFromString(wide, guid);
}

/* The object: IUnknown, and IPersist, whose class tells a client the object really came from here. */
typedef struct {
    IPersist iface;
    LONG refs;
    CLSID clsid;
} Object;

static HRESULT WINAPI ObjectQueryInterface(IPersist* self, REFIID riid, void** out) {
    if (out == NULL) return E_POINTER;
    if (!IsEqualIID(riid, &IID_IUnknown) && !IsEqualIID(riid, &IID_IPersist)) {
        *out = NULL;
        return E_NOINTERFACE;
    }
    *out = self;
    self->lpVtbl->AddRef(self);
    return S_OK;
}

static ULONG WINAPI ObjectAddRef(IPersist* self) { return (ULONG)InterlockedIncrement(&((Object*)self)->refs); }

static ULONG WINAPI ObjectRelease(IPersist* self) {
    LONG refs = InterlockedDecrement(&((Object*)self)->refs);
    if (refs == 0) {
        HeapFree(GetProcessHeap(), 0, self);
        InterlockedDecrement(&g_activity);
    }
    return (ULONG)refs;
}

static HRESULT WINAPI ObjectGetClassID(IPersist* self, CLSID* clsid) {
    if (clsid == NULL) return E_POINTER;
    *clsid = ((Object*)self)->clsid;
    return S_OK;
}

static IPersistVtbl g_objectVtbl = {ObjectQueryInterface, ObjectAddRef, ObjectRelease, ObjectGetClassID};

static HRESULT NewObject(const CLSID* clsid, REFIID riid, void** out) {
    HRESULT hr;
    Object* object = HeapAlloc(GetProcessHeap(), 0, sizeof *object);
    if (object == NULL) return E_OUTOFMEMORY;
    object->iface.lpVtbl = &g_objectVtbl;
    object->refs = 1;
    object->clsid = *clsid;
    InterlockedIncrement(&g_activity);
    hr = ObjectQueryInterface(&object->iface, riid, out);
    ObjectRelease(&object->iface);
    return hr;
}

/* One static factory per class; the licensed control's also answers IClassFactory2. */
typedef struct {
    IClassFactory2 iface;
    const struct Class* of;
} Factory;

static HRESULT WINAPI FactoryQueryInterface(IClassFactory2* self, REFIID riid, void** out) {
    if (out == NULL) return E_POINTER;
    *out = NULL;
    if (!IsEqualIID(riid, &IID_IUnknown) && !IsEqualIID(riid, &IID_IClassFactory)) {
#ifdef LICENSED
        if (!IsEqualIID(riid, &IID_IClassFactory2)) return E_NOINTERFACE;
#else
        return E_NOINTERFACE;
#endif
    }
    *out = self;
    self->lpVtbl->AddRef(self);
    return S_OK;
}

static ULONG WINAPI FactoryAddRef(IClassFactory2* self) {
    (void)self;
    return (ULONG)InterlockedIncrement(&g_activity);
}

static ULONG WINAPI FactoryRelease(IClassFactory2* self) {
    (void)self;
    return (ULONG)InterlockedDecrement(&g_activity);
}

static HRESULT WINAPI FactoryCreateInstance(IClassFactory2* self, IUnknown* outer, REFIID riid, void** out) {
    CLSID clsid;
    if (out == NULL) return E_POINTER;
    *out = NULL;
    if (outer != NULL) return CLASS_E_NOAGGREGATION;
#if defined(LICENSED)
    return CLASS_E_NOTLICENSED;
#elif defined(DELAY_MISSING)
    DelayGhostFunction();
#elif defined(CRASHING_CLASS)
    {
        /* Both volatile, or the compiler drops the write or puts a trap of its own in its place. */
        volatile int* volatile nowhere = NULL;
        *nowhere = 42;
    }
#elif defined(HANGING_CLASS)
    Sleep(INFINITE);
#endif
    if (FAILED(GuidOf(((Factory*)self)->of->clsid, &clsid))) return E_UNEXPECTED;
    return NewObject(&clsid, riid, out);
}

static HRESULT WINAPI FactoryLockServer(IClassFactory2* self, BOOL lock) {
    (void)self;
    if (lock) InterlockedIncrement(&g_activity);
    else InterlockedDecrement(&g_activity);
    return S_OK;
}

/* A licence is needed and none is here: no key to hand out, none verified on this machine. */
static HRESULT WINAPI FactoryGetLicInfo(IClassFactory2* self, LICINFO* info) {
    (void)self;
    if (info == NULL) return E_POINTER;
    info->cbLicInfo = sizeof *info;
    info->fRuntimeKeyAvail = FALSE;
    info->fLicVerified = FALSE;
    return S_OK;
}

static HRESULT WINAPI FactoryRequestLicKey(IClassFactory2* self, DWORD reserved, BSTR* key) {
    (void)self;
    (void)reserved;
    if (key != NULL) *key = NULL;
    return CLASS_E_NOTLICENSED;
}

static HRESULT WINAPI FactoryCreateInstanceLic(IClassFactory2* self, IUnknown* outer, IUnknown* reserved,
                                               REFIID riid, BSTR key, void** out) {
    (void)self;
    (void)outer;
    (void)reserved;
    (void)riid;
    (void)key;
    if (out != NULL) *out = NULL;
    return CLASS_E_NOTLICENSED;
}

static IClassFactory2Vtbl g_factoryVtbl = {FactoryQueryInterface, FactoryAddRef, FactoryRelease,
                                           FactoryCreateInstance, FactoryLockServer, FactoryGetLicInfo,
                                           FactoryRequestLicKey, FactoryCreateInstanceLic};

static Factory g_factories[CLASS_COUNT];

__declspec(dllexport) HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** out) {
    if (out == NULL) return E_POINTER;
    *out = NULL;
#ifdef UNKNOWN_CLASS
    return CLASS_E_CLASSNOTAVAILABLE;
#endif
    for (size_t i = 0; i < CLASS_COUNT; ++i) {
        GUID served;
        if (SUCCEEDED(GuidOf(g_classes[i].clsid, &served)) && IsEqualCLSID(clsid, &served)) {
            g_factories[i].iface.lpVtbl = &g_factoryVtbl;
            g_factories[i].of = &g_classes[i];
            return FactoryQueryInterface(&g_factories[i].iface, riid, out);
        }
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

__declspec(dllexport) HRESULT WINAPI DllCanUnloadNow(void) { return g_activity == 0 ? S_OK : S_FALSE; }

static BOOL SetString(const char* key, const char* name, const char* value) {
    HKEY opened = NULL;
    LONG status = RegCreateKeyExA(HKEY_CLASSES_ROOT, key, 0, NULL, 0, KEY_WRITE, NULL, &opened, NULL);
    if (status != ERROR_SUCCESS) return FALSE;
    if (value != NULL) status = RegSetValueExA(opened, name, 0, REG_SZ, (const BYTE*)value, (DWORD)strlen(value) + 1);
    RegCloseKey(opened);
    return status == ERROR_SUCCESS;
}

/* "CLSID\{clsid}" and the subkey given (or none). */
static char* ClassKey(char key[128], const struct Class* c, const char* subkey) {
    snprintf(key, 128, "CLSID\\%s%s", c->clsid, subkey);
    return key;
}

static BOOL RegisterServedClass(const struct Class* c, const char* path) {
    char key[128];
    BOOL ok = SetString(ClassKey(key, c, ""), NULL, c->name) &&
              SetString(ClassKey(key, c, "\\ProgID"), NULL, c->progId) &&
#ifdef LIBRARY_ID
              SetString(ClassKey(key, c, "\\TypeLib"), NULL, LIBRARY_ID) &&
#endif
              SetString(ClassKey(key, c, "\\InprocServer32"), NULL, path) &&
              SetString(key, "ThreadingModel", c->threadingModel) && SetString(c->progId, NULL, c->name);
    snprintf(key, sizeof key, "%s\\CLSID", c->progId);
    return ok && SetString(key, NULL, c->clsid);
}

#if defined(CREATABLE)
/* "<dll>.tlb" beside the DLL, an empty library remade at each registration and registered with RegisterTypeLib. */
static HRESULT RegisterLibrary(const char* dllPath) {
    WCHAR path[4 * MAX_PATH];
    ICreateTypeLib2* made = NULL;
    ITypeLib* library = NULL;
    GUID libraryGuid;
    if (MultiByteToWideChar(CP_ACP, 0, dllPath, -1, path, 4 * MAX_PATH - 8) == 0) return E_FAIL;
    wcscat(path, L".tlb");
    HRESULT hr = GuidOf(LIBRARY_ID, &libraryGuid);
    if (SUCCEEDED(hr)) hr = CreateTypeLib2(LIBRARY_SYSKIND, path, &made);
    if (SUCCEEDED(hr)) hr = made->lpVtbl->SetName(made, L"VelquistCreatable");
    if (SUCCEEDED(hr)) hr = made->lpVtbl->SetGuid(made, &libraryGuid);
    if (SUCCEEDED(hr)) hr = made->lpVtbl->SetVersion(made, 1, 0);
    if (SUCCEEDED(hr)) hr = made->lpVtbl->SetLcid(made, LOCALE_NEUTRAL);
    if (SUCCEEDED(hr)) hr = made->lpVtbl->SaveAllChanges(made);
    if (made) made->lpVtbl->Release(made);
    if (SUCCEEDED(hr)) hr = LoadTypeLibEx(path, REGKIND_NONE, &library);
    if (SUCCEEDED(hr)) {
        hr = RegisterTypeLib(library, path, NULL);
        library->lpVtbl->Release(library);
    }
    return hr;
}

static void UnregisterLibrary(void) {
    GUID libraryGuid;
    if (SUCCEEDED(GuidOf(LIBRARY_ID, &libraryGuid)))
        UnRegisterTypeLib(&libraryGuid, 1, 0, LOCALE_NEUTRAL, LIBRARY_SYSKIND);
}
#elif defined(MISSING_TYPELIB)
#define LIBRARY_KEY "TypeLib\\" LIBRARY_ID
#define LIBRARY_VERSION_KEY LIBRARY_KEY "\\1.0"

/* Written as RegisterTypeLib would, but naming "missingTypeLib.tlb" beside the DLL, which is never made. */
static HRESULT RegisterLibrary(const char* dllPath) {
    char path[4 * MAX_PATH];
    char* name;
    strcpy(path, dllPath);
    name = strrchr(path, '\\');
    if (name == NULL) return E_FAIL;
    *name = '\0';
    BOOL ok = SetString(LIBRARY_VERSION_KEY, NULL, "Velquist missing type library") &&
              SetString(LIBRARY_VERSION_KEY "\\FLAGS", NULL, "0") &&
              SetString(LIBRARY_VERSION_KEY "\\HELPDIR", NULL, path);
    strcpy(name, "\\" VELQUIST_MISSINGTYPELIB_TLB);
    ok = ok && SetString(LIBRARY_VERSION_KEY "\\0\\" PLATFORM_KEY, NULL, path);
    return ok ? S_OK : E_FAIL;
}

/* Only this bitness's file goes; the version, then the library, once nothing else is left under them (RegDeleteKey
   refuses a key that still has subkeys). */
static void UnregisterLibrary(void) {
    LONG status;
    RegDeleteKeyA(HKEY_CLASSES_ROOT, LIBRARY_VERSION_KEY "\\0\\" PLATFORM_KEY);
    status = RegDeleteKeyA(HKEY_CLASSES_ROOT, LIBRARY_VERSION_KEY "\\0");
    if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND)
        RegDeleteTreeA(HKEY_CLASSES_ROOT, LIBRARY_VERSION_KEY);
    RegDeleteKeyA(HKEY_CLASSES_ROOT, LIBRARY_KEY);
}
#endif

__declspec(dllexport) HRESULT WINAPI DllRegisterServer(void) {
    char path[4 * MAX_PATH];
    DWORD length = GetModuleFileNameA(g_self, path, sizeof path);
    if (length == 0 || length >= sizeof path - 8) return SELFREG_E_CLASS;
    for (size_t i = 0; i < CLASS_COUNT; ++i) {
        if (!RegisterServedClass(&g_classes[i], path)) return SELFREG_E_CLASS;
    }
#ifdef LIBRARY_ID
    if (FAILED(RegisterLibrary(path))) return SELFREG_E_TYPELIB;
#endif
    return S_OK;
}

__declspec(dllexport) HRESULT WINAPI DllUnregisterServer(void) {
    char key[128];
    for (size_t i = 0; i < CLASS_COUNT; ++i) {
        RegDeleteTreeA(HKEY_CLASSES_ROOT, ClassKey(key, &g_classes[i], ""));
        RegDeleteTreeA(HKEY_CLASSES_ROOT, g_classes[i].progId);
    }
#ifdef LIBRARY_ID
    UnregisterLibrary();
#endif
    return S_OK;
}
