/* A component whose own dependency lies beside it, but whose dependency's dependency is nowhere. */
#include <windows.h>

__declspec(dllimport) int DeepHelperValue(void);

__declspec(dllexport) HRESULT WINAPI DllRegisterServer(void) { return DeepHelperValue() ? S_OK : E_FAIL; }
__declspec(dllexport) HRESULT WINAPI DllUnregisterServer(void) { return S_OK; }
