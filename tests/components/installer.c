/* A component with DllInstall that records every call of its entry points, in the order they come, as
   the value named after its own file under HKEY_CURRENT_USER\VELQUIST_INSTALLER_KEY: "register@1;
   install(TRUE,"user")@2", where @N counts the calls made in one load of the library. With
   INSTALLER_FAILS its DllInstall returns E_FAIL; with INSTALLER_ALONE it exports DllInstall only. */
#include <windows.h>
#include <stdio.h>
#include <string.h>

#include "TestComponents.h"

static HMODULE g_self;
static int g_calls;

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        g_self = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

static void Record(const char* call) {
    char path[MAX_PATH] = {0};
    GetModuleFileNameA(g_self, path, MAX_PATH);
    const char* name = strrchr(path, '\\') != NULL ? strrchr(path, '\\') + 1 : path;
    HKEY key = NULL;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, VELQUIST_INSTALLER_KEY, 0, NULL, 0, KEY_READ | KEY_WRITE, NULL, &key,
                        NULL) != ERROR_SUCCESS) {
        return;
    }
    char text[2048] = {0};
    DWORD size = sizeof text - 1;
    DWORD type = 0;
    if (RegQueryValueExA(key, name, NULL, &type, (BYTE*)text, &size) != ERROR_SUCCESS || type != REG_SZ) text[0] = 0;
    size_t used = strlen(text);
    snprintf(text + used, sizeof text - used, "%s%s@%d", used > 0 ? "; " : "", call, ++g_calls);
    RegSetValueExA(key, name, 0, REG_SZ, (const BYTE*)text, (DWORD)strlen(text) + 1);
    RegCloseKey(key);
}

#ifndef INSTALLER_ALONE
__declspec(dllexport) HRESULT WINAPI DllRegisterServer(void) {
    Record("register");
    return S_OK;
}

__declspec(dllexport) HRESULT WINAPI DllUnregisterServer(void) {
    Record("unregister");
    return S_OK;
}
#endif

__declspec(dllexport) HRESULT WINAPI DllInstall(BOOL install, LPCWSTR commandLine) {
    char call[512];
    if (commandLine == NULL) {
        snprintf(call, sizeof call, "install(%s,NULL)", install ? "TRUE" : "FALSE");
    } else {
        char narrow[400] = {0};
        WideCharToMultiByte(CP_ACP, 0, commandLine, -1, narrow, sizeof narrow - 1, NULL, NULL);
        snprintf(call, sizeof call, "install(%s,\"%s\")", install ? "TRUE" : "FALSE", narrow);
    }
    Record(call);
#ifdef INSTALLER_FAILS
    return E_FAIL;
#else
    return S_OK;
#endif
}
