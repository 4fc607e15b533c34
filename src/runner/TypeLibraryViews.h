// The other registry view's machine-wide Interface keys of a type library's interfaces, which Wine's
// type library registration writes and deletes past a per-user redirection of HKEY_CLASSES_ROOT.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>
#include <vector>

namespace runner {

// A GUID in the registry's form: braces, upper-case hexadecimal.
std::string GuidText(const GUID& guid);

// Wine 8's RegisterTypeLibForUser and UnRegisterTypeLibForUser are RegisterTypeLib and UnRegisterTypeLib,
// which write HKEY_CLASSES_ROOT: the machine's classes there, so the user's call is redirected. But Wine
// also gives each interface a key in the other registry view, through HKEY_CLASSES_ROOT opened with
// KEY_WOW64_32KEY or KEY_WOW64_64KEY, and those go past the redirection to the machine's classes. The
// other view's Interface keys a per-user registration made there are removed again. A per-user
// unregistration likewise deletes the other view's machine-wide Interface keys of the library's
// interfaces, those of a machine-wide registration of it too: they are copied aside first and put back.
class OtherViewInterfaces {
public:
    // Notes which of the library's interfaces have a key of the other view among the machine's classes.
    explicit OtherViewInterfaces(ITypeLib* library);
    ~OtherViewInterfaces();  // deletes what KeepPresent copied
    OtherViewInterfaces(const OtherViewInterfaces&) = delete;
    OtherViewInterfaces& operator=(const OtherViewInterfaces&) = delete;

    // Deletes the keys noted absent that exist now.
    void RemoveMade() const;
    // Copies the keys noted present into a key of the user's (deleted with this), for PutBackKept.
    void KeepPresent();
    // Puts back, as they were, the kept keys that are gone now.
    void PutBackKept() const;

private:
    std::vector<std::string> absent_;
    std::vector<std::string> present_;
    std::string keptKey_;  // under HKEY_CURRENT_USER; "" while nothing is kept
};

}  // namespace runner
