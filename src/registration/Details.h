// The detail of a result line: why a probe or call came out as it did, in a sentence or two for users.
#pragma once

#include <windows.h>

#include <string>

#include "registration/modRegister.h"

namespace modRegister {

// The detail for the line of the component at path that was probed and, if it passed, called.
// registerFlag says which entry point was asked for.
std::string Detail(const std::string& path, const Result& result, bool registerFlag,
                   DWORD waitLimitMs = kWaitLimitMs);

// True when the result is a probe's verdict on a file that is a component but could not be loaded
// (rather than no component at all).
bool IsUnloadableComponent(const Result& probe);

// True for the failures that administrator rights would mend: E_ACCESSDENIED (also the system's
// ERROR_ACCESS_DENIED as an HRESULT), TYPE_E_REGISTRYACCESS, REGDB_E_WRITEREGDB.
bool IsAccessDenied(const Result& result);

// A system or HRESULT code in words, from our own table for the codes users meet most, else from the
// system, else "" ; never with a trailing line break.
std::string CodeText(DWORD code);

// Digits grouped in thousands with commas: 1,204.
std::string Grouped(unsigned long long value);
// A count with its noun: "1 key", "1,204 keys".
std::string Counted(unsigned long long count, const char* one, const char* many);

// The closing line's summary: "3 registered, 1 failed, 1,204 files checked in 2.4 s."
std::string Summary(bool registerFlag, unsigned succeeded, unsigned failed, unsigned long long checked,
                    double seconds);
// The same with the word for what succeeded: "installed", "uninstalled", ...
std::string Summary(const char* done, unsigned succeeded, unsigned failed, unsigned long long checked,
                    double seconds);

}  // namespace modRegister
