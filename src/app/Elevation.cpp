// The system's administrator rights: the process token, and a restart through the shell's "runas".
#include "app/Elevation.h"

#include <shellapi.h>

#include "win32/Handles.h"
#include "win32/Paths.h"

namespace velquist {
namespace {

class SystemRights final : public Elevation {
public:
    bool IsElevated() override {
        HANDLE raw = nullptr;
        if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return false;
        win32::unique_handle token(raw);
        TOKEN_ELEVATION elevation{};
        DWORD size = 0;
        return ::GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size) &&
               elevation.TokenIsElevated != 0;
    }

    bool Relaunch(HWND owner, const std::string& parameters, const std::string& folder) override {
        const std::string program = win32::ModulePath();
        win32::EnterApartment();
        SHELLEXECUTEINFOA info{};
        info.cbSize = sizeof info;
        info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
        info.hwnd = owner;
        info.lpVerb = "runas";
        info.lpFile = program.c_str();
        info.lpParameters = parameters.c_str();
        info.lpDirectory = folder.empty() ? nullptr : folder.c_str();
        info.nShow = SW_SHOWNORMAL;
        return !program.empty() && ::ShellExecuteExA(&info);  // a refused prompt fails with ERROR_CANCELLED
    }
};

}  // namespace

Elevation& SystemElevation() {
    static SystemRights rights;
    return rights;
}

}  // namespace velquist
