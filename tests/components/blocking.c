/* Entry points that never return. */
#include <windows.h>

static HRESULT Block(void) {
    Sleep(INFINITE);
    return S_OK;
}

__declspec(dllexport) HRESULT WINAPI DllRegisterServer(void) { return Block(); }
__declspec(dllexport) HRESULT WINAPI DllUnregisterServer(void) { return Block(); }
