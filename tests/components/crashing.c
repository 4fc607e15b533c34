/* Entry points that fault: registration writes through a null pointer, unregistration raises an
   exception of its own that nobody handles. */
#include <windows.h>

static HRESULT Crash(void) {
    volatile int* nowhere = NULL;
    *nowhere = 42;
    return S_OK;
}

__declspec(dllexport) HRESULT WINAPI DllRegisterServer(void) { return Crash(); }
__declspec(dllexport) HRESULT WINAPI DllUnregisterServer(void) {
    RaiseException(0xE0C0FFEE, 0, 0, NULL);
    return S_OK;
}
