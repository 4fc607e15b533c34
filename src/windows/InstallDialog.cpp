// The DllInstall dialog: a fixed frame with its table of controls, and its own modal loop.
#include "windows/InstallDialog.h"

#include "resource.h"
#include "windows/FixedForm.h"
#include "win32/WindowText.h"

namespace velquist {
namespace {

constexpr int kClientWidth = 5400;
constexpr int kClientHeight = 1935;

// In tab order. Enter presses Install, or the button with the focus; Esc cancels.
constexpr win32::ControlSpec kControls[] = {
    {InstallIds::Label1, "Label1", "STATIC", "&Command line for DllInstall (empty for none):", 120, 120, 5160, 255,
     SS_LEFT},
    {InstallIds::Text1, "Text1", "EDIT", "", 120, 405, 5160, 315, ES_AUTOHSCROLL | WS_TABSTOP | WS_GROUP,
     WS_EX_CLIENTEDGE},
    {InstallIds::Check1, "Check1", "BUTTON", "&Also call DllRegisterServer / DllUnregisterServer", 120, 870, 5160, 255,
     BS_AUTOCHECKBOX | WS_TABSTOP | WS_GROUP},
    {InstallIds::Command1, "Command1", "BUTTON", "&Install", 1560, 1410, 1140, 375,
     BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP},
    {InstallIds::Command2, "Command2", "BUTTON", "&Uninstall", 2850, 1410, 1140, 375, BS_PUSHBUTTON | WS_TABSTOP},
    {InstallIds::Command3, "Command3", "BUTTON", "Cancel", 4140, 1410, 1140, 375, BS_PUSHBUTTON | WS_TABSTOP},
};

class InstallForm : public forms::FixedForm<InstallForm> {
public:
    static const char* ClassName() { return kInstallDialogClass; }

    bool Load(HWND owner, const InstallChoice& choice) {
        if (!CreateForm("Call DllInstall", kControls, kClientWidth, kClientHeight, IDI_PROGRAM, InstallIds::Text1,
                        owner)) {
            return false;
        }
        ::SetWindowTextA(Control(InstallIds::Text1), choice.commandLine.c_str());
        ::SendMessageA(Control(InstallIds::Check1), BM_SETCHECK, choice.alsoRegister ? BST_CHECKED : BST_UNCHECKED, 0);
        return true;
    }

    bool Done() const noexcept { return done_; }
    InstallAnswer Answer() const noexcept { return answer_; }
    InstallChoice Choice() const {
        return {win32::WindowText(Control(InstallIds::Text1)),
                ::SendMessageA(Control(InstallIds::Check1), BM_GETCHECK, 0, 0) == BST_CHECKED};
    }

    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
        switch (msg) {
        case WM_COMMAND:
            OnCommand(LOWORD(wParam));
            return 0;
        case WM_CLOSE:
            Close(InstallAnswer::Cancelled);
            return 0;
        default:
            break;
        }
        LRESULT result = 0;
        HandleCommon(msg, wParam, lParam, result);
        return result;
    }

private:
    friend class forms::FixedForm<InstallForm>;
    friend class win32::Window<InstallForm>;

    void ApplyDpi(int /*dpi*/) noexcept {}

    void OnCommand(int id) noexcept {
        // Enter comes through the dialog manager as IDOK: the focused button, else Install.
        if (id == IDOK) {
            const int focused = ::GetDlgCtrlID(::GetFocus());
            id = focused == InstallIds::Command2 || focused == InstallIds::Command3 ? focused : InstallIds::Command1;
        }
        switch (id) {
        case InstallIds::Command1: Close(InstallAnswer::Install); break;
        case InstallIds::Command2: Close(InstallAnswer::Uninstall); break;
        case InstallIds::Command3:
        case IDCANCEL: Close(InstallAnswer::Cancelled); break;
        default: break;
        }
    }

    void Close(InstallAnswer answer) noexcept {
        answer_ = answer;
        done_ = true;
    }

    bool done_ = false;
    InstallAnswer answer_ = InstallAnswer::Cancelled;
};

}  // namespace

InstallAnswer AskInstall(HWND owner, InstallChoice& choice) {
    InstallForm form;
    if (!form.Load(owner, choice)) return InstallAnswer::Cancelled;
    ::EnableWindow(owner, FALSE);
    ::ShowWindow(form.Handle(), SW_SHOW);
    ::SetForegroundWindow(form.Handle());
    MSG msg{};
    while (!form.Done()) {
        const BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0) {
            ::PostQuitMessage(static_cast<int>(msg.wParam));  // the owner's loop ends on it
            break;
        }
        if (got < 0) break;
        if (!::IsDialogMessageA(form.Handle(), &msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
    }
    const InstallAnswer answer = form.Answer();
    if (answer != InstallAnswer::Cancelled) choice = form.Choice();
    // The owner is enabled again before the dialog goes, so that it, not another program, is activated.
    ::EnableWindow(owner, TRUE);
    ::DestroyWindow(form.Handle());
    return answer;
}

}  // namespace velquist
