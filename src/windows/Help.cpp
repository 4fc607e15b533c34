// The Help window: the program's paragraphs of help in a pale yellow text box.
#include <windows.h>

#include <commctrl.h>

#include <memory>
#include <string>

#include "resource.h"
#include "windows/FixedForm.h"
#include "windows/HelpAbout.h"
#include "win32/WindowText.h"

namespace velquist {
namespace {

constexpr int kClientWidth = 7410;
constexpr int kClientHeight = 4455;
constexpr COLORREF kTextBackground = RGB(255, 255, 192);

// The box covers the client area, its left border one pixel outside it.
constexpr win32::ControlSpec kControls[] = {
    {HelpIds::Text1, "Text1", "EDIT", "", -15, 0, 7410, 4455,
     WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | ES_LEFT, WS_EX_CLIENTEDGE},
};

constexpr const char* kParagraphs[] = {
    "This application will register or unregister ActiveX components on your computer.  Some "
    "applications require ActiveX components that need to be registered before they can be used in "
    "the system.  Most applications will automatically register these controls at initial install, "
    "but sometimes installations fail or they conflict with existing applications.  In this case, "
    "Velquist! can perform the necessary registration for you.",
    "To register a single ActiveX control, type the full name (including path) of the control, or hit "
    "the browse button to find the control on your computer.  Once the full name and path of the "
    "control is in the box, just hit the 'Velquist!' button or the the 'Un-Velquist!' button.",
    "To register all the controls in an entire directory (this can be useful in the case of a failed "
    "application install), type or find the desired directory in the 'Register all files in "
    "directory' box.  If you want the program to search all the sub-directories and register any "
    "files it finds, click the 'Include sub-directories' option as well.  This will find all Activex "
    "controls within the specified directory and attempt to register them.",
    "There is a danger when registering ActiveX controls that they may conflict with an existing "
    "control - possibly one with a similar name or different version of the same control registered "
    "elsewhere.  In this event, you may find the application you are trying to fix is now fixed, but "
    "something else has stopped working since the version of control is now different from the one "
    "it was expecting.  There is no easy solution for this other than trial and error on the "
    "offending ActiveX controls.",
    // The unregister guard, and its File menu item.
    "Unregistering one copy of a control while another copy is the one registered would remove the "
    "other copy's registration, and break the applications that use it.  So 'Un-Velquist!' first "
    "checks each control and leaves alone one whose classes are registered for another file, with a "
    "line naming that file.  To unregister such copies all the same, choose 'Unregister copies "
    "registered elsewhere' on the File menu.",
    // The undo of the last run.
    "Every register or unregister run can be undone.  'Undo last run' on the File menu (Ctrl+Z) puts "
    "the registry back as it was before the last run, and leaves alone, naming it, anything something "
    "else changed since; 'Save undo file...' writes a file that does the same when imported.  When "
    "putting back what a machine-wide run changed needs administrator rights, Velquist offers to "
    "restart as administrator and put the rest back there.  Velquist keeps this only until the next "
    "run, and not once it is closed.",
    // The class test of the Tools menu.
    "To find out whether the registered components work, choose 'Test classes' on the Tools menu.  "
    "For each component registered on this computer, Velquist makes every class it registers and "
    "loads its type libraries, as an application that uses it would, and shows 'Works' or 'Does not "
    "work' with the reason: a control that needs a licence, a class its file does not make, a "
    "library that is missing, a crash.  Nothing is registered or unregistered, but making an object "
    "runs the component's own code, as any application would.",
    // The manifest export of the Tools menu.
    "To let an application use the components without registering them at all, choose 'Export "
    "manifest...' on the Tools menu.  Velquist writes one manifest for the components of the folder, "
    "saved in that folder; an application that names it in its own manifest uses those components with "
    "nothing registered, and two applications can each use their own copy of a control.  The "
    "components of one manifest are all 32-bit or all 64-bit.",
    // The scan of the Tools menu.
    "To find what is broken in this computer's own registrations, choose 'Find broken registrations' "
    "on the Tools menu.  Velquist reads every class, ProgID, type library and interface registered, for "
    "all users and for you, 32-bit and 64-bit, and shows 'Missing' for each file they name that does not "
    "exist, with everything that points at it, and 'Broken' for each entry that points at nothing "
    "registered.  Nothing is changed.  'Remove broken registrations...' removes what may go of them "
    "after asking once, and only after it has written a backup file that puts them back.",
};

class HelpForm : public forms::FixedForm<HelpForm> {
public:
    static const char* ClassName() { return "VelquistHelp"; }

    bool Load() {
        textBrush_.reset(::CreateSolidBrush(kTextBackground));
        if (!CreateForm("Velquist Help", kControls, kClientWidth, kClientHeight, IDI_PROGRAM, HelpIds::Text1)) {
            return false;
        }
        ::SetWindowSubclass(Control(HelpIds::Text1), &HelpForm::Text1Proc, 0, 0);
        Form_Load();
        return true;
    }

    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
        if (msg == WM_CTLCOLOREDIT && reinterpret_cast<HWND>(lParam) == Control(HelpIds::Text1)) {
            HDC dc = reinterpret_cast<HDC>(wParam);
            ::SetBkColor(dc, kTextBackground);
            ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
            return reinterpret_cast<LRESULT>(textBrush_.get());
        }
        LRESULT result = 0;
        HandleCommon(msg, wParam, lParam, result);
        return result;
    }

private:
    friend class forms::FixedForm<HelpForm>;
    friend class win32::Window<HelpForm>;
    void ApplyDpi(int) noexcept {}

    // Fills the box: paragraph 1, then each further one after an empty line.
    void Form_Load() {
        HWND text1 = Control(HelpIds::Text1);
        ::SetWindowTextA(text1, kParagraphs[0]);
        for (size_t i = 1; i < std::size(kParagraphs); ++i) {
            const std::string text = win32::WindowText(text1) + "\r\n\r\n" + kParagraphs[i];
            ::SetWindowTextA(text1, text.c_str());
        }
        ::SendMessageA(text1, EM_SETSEL, 0, 0);
        ::SendMessageA(text1, EM_SCROLLCARET, 0, 0);
    }

    // A multi-line box under the dialog manager answers Escape by closing its window; this window has
    // no cancel button, so Escape does nothing here, as it does in the About box.
    static LRESULT CALLBACK Text1Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR) {
        if (msg == WM_KEYDOWN && wParam == VK_ESCAPE) return 0;
        if (msg == WM_NCDESTROY) ::RemoveWindowSubclass(hwnd, &HelpForm::Text1Proc, id);
        return ::DefSubclassProc(hwnd, msg, wParam, lParam);
    }

    win32::unique_gdi<HBRUSH> textBrush_;
};

}  // namespace

std::unique_ptr<forms::Companion> forms::LoadHelp() {
    auto form = std::make_unique<HelpForm>();
    if (!form->Load()) return nullptr;
    return form;
}

}  // namespace velquist
