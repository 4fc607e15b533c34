/* Imports UnexportedFunction from lackingHelper.dll, which lies beside it but does not export it. */
#include <windows.h>

int PresentFunction(void);
int UnexportedFunction(void);

__declspec(dllexport) HRESULT WINAPI DllRegisterServer(void) {
    return PresentFunction() + UnexportedFunction() ? S_OK : E_FAIL;
}
__declspec(dllexport) HRESULT WINAPI DllUnregisterServer(void) { return S_OK; }
