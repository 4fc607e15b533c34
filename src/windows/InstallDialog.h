// Tools > Call DllInstall...: the small modal dialog that asks for DllInstall's command line and
// whether DllRegisterServer / DllUnregisterServer go with it.
#pragma once

#include <windows.h>

#include <string>

namespace velquist {

// What the dialog shows and the user set: kept by the main window for its session.
struct InstallChoice {
    std::string commandLine;   // "" : none (DllInstall gets NULL)
    bool alsoRegister = true;  // also DllRegisterServer / DllUnregisterServer
};

enum class InstallAnswer { Cancelled, Install, Uninstall };

// Shows the dialog over `owner`, which is disabled meanwhile, until a button or Esc closes it; on
// Install or Uninstall, `choice` holds what the user set. A WM_QUIT that arrives meanwhile is
// posted again for the owner's loop.
InstallAnswer AskInstall(HWND owner, InstallChoice& choice);

namespace InstallIds {
constexpr int Label1 = 401;
constexpr int Text1 = 402;
constexpr int Check1 = 403;
constexpr int Command1 = 404;  // Install
constexpr int Command2 = 405;  // Uninstall
constexpr int Command3 = 406;  // Cancel
}  // namespace InstallIds

// The dialog's window class, for whoever looks for it on the screen.
inline constexpr char kInstallDialogClass[] = "VelquistInstall";

}  // namespace velquist
