// modRegister: decides whether a file is an ActiveX component and runs its registration entry point.
#pragma once

#include <windows.h>
#include <string>

namespace modRegister {

constexpr DWORD kWaitLimitMs = 10000;

// True if the file is a loadable library of this build's architecture exporting "DllRegisterServer".
bool IsDLLActiveX(const std::string& path);

// Runs DllRegisterServer (registerFlag) or DllUnregisterServer on a worker thread, waiting at most
// waitLimitMs; true only when it ended in time with a success HRESULT.
bool RunServerEntry(const std::string& path, bool registerFlag, DWORD waitLimitMs = kWaitLimitMs);

}  // namespace modRegister
