// The Help and About windows: modeless, ownerless, at most one of each.
#pragma once

#include <windows.h>

#include <string>

namespace velquist {

// Loads and shows the window, or shows and activates the one already open.
void ShowHelp();
void ShowAbout();
// Closes whichever of the two is open (the program is ending).
void CloseHelpAndAbout();
// The open windows (nullptr when closed).
HWND HelpWindow();
HWND AboutWindow();
// Keyboard navigation inside the two windows: true if msg was handled (IsDialogMessage).
bool TranslateHelpAboutMessage(MSG* msg);

// Child-window identifiers of the two windows' controls.
namespace HelpIds {
constexpr int Text1 = 101;
}
namespace AboutIds {
constexpr int Frame1 = 201;
constexpr int Command1 = 202;
constexpr int Label5 = 203;
constexpr int Label4 = 204;
constexpr int Label3 = 205;
constexpr int Label1 = 206;
constexpr int Image1 = 207;
}  // namespace AboutIds

// The About box's version line for a version: "v" major "." minor, plain decimals ("v1.1", "v1.10").
std::string FormatVersionLine(unsigned major, unsigned minor);
// The running program's version line from its own version record; empty if it has none.
std::string ProgramVersionLine();
// The folder holding a file, without a trailing backslash (a drive's root keeps its "C:\").
std::string FolderOfFile(const std::string& path);
// The folder holding the running program.
std::string ProgramFolder();

// How the link asks the shell to open an address: ShellExecuteA's own signature.
using ShellExecuteFn = HINSTANCE(WINAPI*)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT);
// The show state the link passes to the shell.
constexpr int kLinkShowState = SW_SHOWNORMAL;
// Replaces the shell call behind the link (nullptr restores ShellExecuteA); returns the one before.
ShellExecuteFn SetLinkShellExecute(ShellExecuteFn fn) noexcept;

}  // namespace velquist
