/* Entry points that refuse at once with a failure HRESULT. */
#include <windows.h>
#include <olectl.h>

__declspec(dllexport) HRESULT WINAPI DllRegisterServer(void) { return SELFREG_E_CLASS; }
__declspec(dllexport) HRESULT WINAPI DllUnregisterServer(void) { return SELFREG_E_CLASS; }
