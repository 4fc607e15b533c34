/* Entry points that refuse as a component does when it may not write the registry keys it needs. */
#include <windows.h>

__declspec(dllexport) HRESULT WINAPI DllRegisterServer(void) { return E_ACCESSDENIED; }
__declspec(dllexport) HRESULT WINAPI DllUnregisterServer(void) { return E_ACCESSDENIED; }
