/* A component that can register but has no way to unregister. */
#include <windows.h>

__declspec(dllexport) HRESULT WINAPI DllRegisterServer(void) { return S_OK; }
