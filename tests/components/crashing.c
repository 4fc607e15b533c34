/* Entry points that write through a null pointer. */
#include <windows.h>

static HRESULT Crash(void) {
    volatile int* nowhere = NULL;
    *nowhere = 42;
    return S_OK;
}

__declspec(dllexport) HRESULT WINAPI DllRegisterServer(void) { return Crash(); }
__declspec(dllexport) HRESULT WINAPI DllUnregisterServer(void) { return Crash(); }
