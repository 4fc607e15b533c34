// modRegister: decides whether a file is an ActiveX component and runs its registration entry point.
#pragma once

#include <windows.h>

#include <string>

#include "registration/Outcome.h"
#include "registration/Session.h"

namespace modRegister {

// True if the file is a loadable library (32- or 64-bit) exporting "DllRegisterServer". The file is
// loaded in the runner of its own bitness, never in this process. Without a session, one is made for
// the call (its runners beside the program, machine-wide) and ended with it.
bool IsDLLActiveX(const std::string& path);
bool IsDLLActiveX(registration::Session& session, const std::string& path);

// Runs DllRegisterServer (registerFlag) or DllUnregisterServer in the runner of the file's bitness,
// waiting at most waitLimitMs; true only when it returned a success HRESULT in time.
bool RunServerEntry(const std::string& path, bool registerFlag, DWORD waitLimitMs = kWaitLimitMs);
bool RunServerEntry(registration::Session& session, const std::string& path, bool registerFlag,
                    DWORD waitLimitMs = kWaitLimitMs);

// The probe behind IsDLLActiveX and the call behind RunServerEntry, with why they came out as they did.
Result ProbeComponent(registration::Session& session, const std::string& path, DWORD waitLimitMs = kWaitLimitMs);
Result CallServerEntry(registration::Session& session, const std::string& path, bool registerFlag,
                       DWORD waitLimitMs = kWaitLimitMs);

// A short English description of a result ("timed out", "crashed (exception 0xC0000005)", ...).
std::string Describe(const Result& result);

}  // namespace modRegister
