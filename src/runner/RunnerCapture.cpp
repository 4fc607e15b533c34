// The runner's redirection of the predefined keys into a scratch key for a capture.
#include "runner/RunnerCapture.h"

#include <iterator>

#include "runner/RunnerProtocol.h"
#include "win32/Handles.h"

namespace runner {
namespace {

struct Redirect {
    HKEY predefined;
    const char* subkey;  // under the scratch key
};

// HKEY_CURRENT_USER goes last: the scratch key is found through it until then.
const Redirect kRedirects[] = {
    {HKEY_CLASSES_ROOT, kScratchClasses},
    {HKEY_LOCAL_MACHINE, kScratchMachine},
    {HKEY_USERS, kScratchUsers},
    {HKEY_CURRENT_USER, kScratchUser},
};

LONG Create(const std::string& path, win32::unique_hkey& key) {
    HKEY created = nullptr;
    const LONG error =
        ::RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &created, nullptr);
    key.reset(created);
    return error;
}

}  // namespace

DWORD ScratchOverrides::Enter(const std::string& scratchKey) {
    Leave();
    const LONG cleared = ::RegDeleteTreeA(HKEY_CURRENT_USER, scratchKey.c_str());
    if (cleared != ERROR_SUCCESS && cleared != ERROR_FILE_NOT_FOUND) return static_cast<DWORD>(cleared);
    // Type library registration opens HKEY_LOCAL_MACHINE\Software\Classes and fails without it.
    win32::unique_hkey machineClasses;
    LONG error = Create(scratchKey + '\\' + kScratchMachine + "\\Software\\Classes", machineClasses);
    if (error != ERROR_SUCCESS) return static_cast<DWORD>(error);

    win32::unique_hkey targets[std::size(kRedirects)];
    for (std::size_t i = 0; i < std::size(kRedirects); ++i) {
        error = Create(scratchKey + '\\' + kRedirects[i].subkey, targets[i]);
        if (error != ERROR_SUCCESS) return static_cast<DWORD>(error);
    }
    for (std::size_t i = 0; i < std::size(kRedirects); ++i) {
        // The override holds its own reference to the key; ours closes when `targets` goes.
        error = ::RegOverridePredefKey(kRedirects[i].predefined, targets[i].get());
        if (error != ERROR_SUCCESS) {
            Leave();
            return static_cast<DWORD>(error);
        }
        ++entered_;
    }
    return ERROR_SUCCESS;
}

void ScratchOverrides::Leave() noexcept {
    while (entered_ > 0) {
        --entered_;
        ::RegOverridePredefKey(kRedirects[entered_].predefined, nullptr);
    }
}

}  // namespace runner
