/* Loads a library of the system's by name in its registration and keeps it loaded, as components
   that use another component do: a later file of that library's name must still be loaded as itself. */
#include <windows.h>

__declspec(dllexport) HRESULT __stdcall DllRegisterServer(void) {
    return LoadLibraryA(HOLDER_LIBRARY) != NULL ? S_OK : E_FAIL;
}

__declspec(dllexport) HRESULT __stdcall DllUnregisterServer(void) { return S_OK; }
