// The runner's switch of HKEY_CLASSES_ROOT to the current user's classes, for per-user registration.
#pragma once

#include <windows.h>

#include "win32/Handles.h"

namespace runner {

// While entered, this process's HKEY_CLASSES_ROOT is HKEY_CURRENT_USER\Software\Classes: what a component
// registers there is for the current user only and needs no administrator.
class UserClasses {
public:
    UserClasses() = default;
    UserClasses(const UserClasses&) = delete;
    UserClasses& operator=(const UserClasses&) = delete;
    ~UserClasses() { Leave(); }

    // ERROR_SUCCESS, or the system error that left HKEY_CLASSES_ROOT as it was.
    DWORD Enter();
    void Leave() noexcept;

private:
    void EnablePerUserTypeLibraries();

    bool entered_ = false;
    bool typeLibrariesTried_ = false;
    win32::unique_hmodule oleaut_;  // keeps oleaut32's per-user switch in force
};

}  // namespace runner
