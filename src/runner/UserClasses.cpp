// The runner's per-user HKEY_CLASSES_ROOT: the override of the predefined key, and oleaut32's switch.
#include "runner/UserClasses.h"

#include <string>

#include "win32/Paths.h"

namespace runner {

DWORD UserClasses::Enter() {
    if (entered_) return ERROR_SUCCESS;
    HKEY created = nullptr;
    // Created if missing: a new profile (or Wine prefix) has no classes of its own yet.
    LONG error = ::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Classes", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                   &created, nullptr);
    if (error != ERROR_SUCCESS) return static_cast<DWORD>(error);
    const win32::unique_hkey classes(created);  // the override holds its own reference
    error = ::RegOverridePredefKey(HKEY_CLASSES_ROOT, classes.get());
    if (error != ERROR_SUCCESS) return static_cast<DWORD>(error);
    entered_ = true;
    EnablePerUserTypeLibraries();
    return ERROR_SUCCESS;
}

void UserClasses::Leave() noexcept {
    if (!entered_) return;
    ::RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    entered_ = false;
}

// Lets RegisterTypeLib follow HKEY_CLASSES_ROOT to the user's classes, where oleaut32 has the switch
// (Vista SP1 and later; Wine 8 has none). The setting is the process's and oleaut32 stays loaded to
// keep it; it matters only while HKEY_CLASSES_ROOT is overridden.
void UserClasses::EnablePerUserTypeLibraries() {
    if (typeLibrariesTried_) return;
    typeLibrariesTried_ = true;
    const std::string system = win32::SystemFolder();
    if (system.empty()) return;
    oleaut_.reset(::LoadLibraryA((system + "\\oleaut32.dll").c_str()));
    if (!oleaut_) return;
    using EnableFunction = void(WINAPI*)();
    if (auto enable = reinterpret_cast<EnableFunction>(
            reinterpret_cast<void*>(::GetProcAddress(oleaut_.get(), "OaEnablePerUserTLibRegistration")))) {
        enable();
    }
}

}  // namespace runner
