// The Help and About windows of one main window: showing, closing, and their keyboard navigation.
#include "windows/HelpAbout.h"

#include "windows/FixedForm.h"

namespace velquist {
namespace {

HWND WindowOf(const std::unique_ptr<forms::Companion>& slot) noexcept { return slot ? slot->Handle() : nullptr; }

// The open window of the slot comes forward; else a new one is loaded, so that a closed window
// comes back as fresh as the first time.
void Show(std::unique_ptr<forms::Companion>& slot, std::unique_ptr<forms::Companion> (*load)()) {
    if (WindowOf(slot) == nullptr) {
        slot.reset();
        slot = load();
        if (!slot) return;
    }
    slot->Present();
}

void Close(std::unique_ptr<forms::Companion>& slot) noexcept {
    // The window goes first: its controls' last messages still reach the object.
    if (HWND window = WindowOf(slot)) ::DestroyWindow(window);
    slot.reset();
}

}  // namespace

Companions::Companions() noexcept = default;

Companions::~Companions() { CloseAll(); }

void Companions::ShowHelp() { Show(help_, &forms::LoadHelp); }

void Companions::ShowAbout() { Show(about_, &forms::LoadAbout); }

void Companions::CloseAll() noexcept {
    Close(help_);
    Close(about_);
}

HWND Companions::HelpWindow() const noexcept { return WindowOf(help_); }

HWND Companions::AboutWindow() const noexcept { return WindowOf(about_); }

bool Companions::TranslateDialogMessage(MSG* msg) const noexcept {
    if (msg == nullptr || msg->hwnd == nullptr) return false;
    for (HWND form : {HelpWindow(), AboutWindow()}) {
        if (form != nullptr && (msg->hwnd == form || ::IsChild(form, msg->hwnd))) {
            return ::IsDialogMessageA(form, msg) != FALSE;
        }
    }
    return false;
}

}  // namespace velquist
