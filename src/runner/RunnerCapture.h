// The runner's capture: the predefined keys redirected into a scratch key while a component registers.
#pragma once

#include <windows.h>

#include <string>

namespace runner {

// While entered, this process's HKEY_CLASSES_ROOT, HKEY_LOCAL_MACHINE, HKEY_USERS and HKEY_CURRENT_USER
// are subkeys of the scratch key (kScratch* under HKEY_CURRENT_USER\<scratchKey>), so that what a
// component writes through the registry API lands there and nowhere else.
class ScratchOverrides {
public:
    ScratchOverrides() = default;
    ScratchOverrides(const ScratchOverrides&) = delete;
    ScratchOverrides& operator=(const ScratchOverrides&) = delete;
    ~ScratchOverrides() { Leave(); }

    // Empties the scratch key (a request tried again finds the first try's writes), lays out its
    // subkeys and redirects the four keys, HKEY_CURRENT_USER last. ERROR_SUCCESS, or the system error
    // that left every key as it was.
    DWORD Enter(const std::string& scratchKey);
    // Gives the keys back, HKEY_CURRENT_USER first.
    void Leave() noexcept;

private:
    int entered_ = 0;  // how many of the four, in the order they are entered, are redirected
};

}  // namespace runner
