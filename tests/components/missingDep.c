/* Imports a function of ghostdep.dll, a library that is never built, so this one cannot load. */
#include <windows.h>

int GhostFunction(void);

__declspec(dllexport) HRESULT WINAPI DllRegisterServer(void) { return GhostFunction() ? S_OK : E_FAIL; }
__declspec(dllexport) HRESULT WINAPI DllUnregisterServer(void) { return S_OK; }
