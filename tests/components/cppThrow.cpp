// A component built with g++ whose DllRegisterServer lets a C++ exception escape into its caller.
#include <windows.h>

#include <stdexcept>

extern "C" __declspec(dllexport) HRESULT WINAPI DllRegisterServer() {
    throw std::runtime_error("registration failed");
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllUnregisterServer() { return S_OK; }
