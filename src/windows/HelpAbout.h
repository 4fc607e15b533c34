// The Help and About windows: modeless, ownerless, at most one of each.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

namespace velquist {

namespace forms {
class Companion;
}

// The Help and About windows of one main window, which owns this: at most one of each, neither
// owned by the main window (each stands on its own on the screen) yet closed with it.
class Companions {
public:
    Companions() noexcept;
    ~Companions();  // closes both
    Companions(const Companions&) = delete;
    Companions& operator=(const Companions&) = delete;

    // Loads and shows the window, or shows and activates the one already open.
    void ShowHelp();
    void ShowAbout();
    // Closes whichever of the two is open (the main window is closing).
    void CloseAll() noexcept;
    // The open windows (nullptr when closed).
    HWND HelpWindow() const noexcept;
    HWND AboutWindow() const noexcept;
    // Keyboard navigation inside the two windows: true if msg was handled (IsDialogMessage).
    bool TranslateDialogMessage(MSG* msg) const noexcept;

private:
    // A closed window's object stays until the next request or CloseAll: nothing reaches it any more.
    std::unique_ptr<forms::Companion> help_;
    std::unique_ptr<forms::Companion> about_;
};

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

}  // namespace velquist
