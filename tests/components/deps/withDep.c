/* A component that needs depHelper.dll, found only beside it. */
#include <windows.h>

__declspec(dllimport) int DepHelperValue(void);

__declspec(dllexport) HRESULT WINAPI DllRegisterServer(void) { return DepHelperValue() == 42 ? S_OK : E_FAIL; }
__declspec(dllexport) HRESULT WINAPI DllUnregisterServer(void) { return DepHelperValue() == 42 ? S_OK : E_FAIL; }
