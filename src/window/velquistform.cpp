// The main window: creation, mode switching, its messages and commands, and closing (its runs:
// velquistformRuns.cpp).
#include "window/velquistform.h"

#include <windowsx.h>

#include <cstring>
#include <string>
#include <vector>

#include "tasks/Commands.h"
#include "tasks/Tasks.h"
#include "pickers/CommonDialogAPI.h"
#include "resource.h"
#include "win32/Icons.h"
#include "win32/Paths.h"
#include "win32/Text.h"
#include "win32/WindowText.h"

namespace velquist {
namespace {

using namespace std::string_literals;

// The component picker's filter: four pieces, each ending in NUL; c_str() adds the list's final NUL.
const std::string kComponentFilter = "ActiveX Files (*.dll, *.ocx)\0*.DLL; *.ocx\0All Files (*.*)\0*.*\0"s;

// The first item dropped on a window, in the program's code page; "" when there is none.
std::string DroppedPath(HDROP drop) {
    const UINT length = ::DragQueryFileW(drop, 0, nullptr, 0);
    std::wstring wide(length + 1, L'\0');
    const UINT got = length > 0 ? ::DragQueryFileW(drop, 0, wide.data(), length + 1) : 0;
    if (got == 0) return {};
    wide.resize(got);
    return win32::Narrow(wide);
}

// The window's shortcuts: the resource's (F1, Ctrl+S, Ctrl+Z) and each task's Ctrl+key.
win32::unique_haccel CreateAccelerators() {
    std::vector<ACCEL> keys;
    if (HACCEL resource = ::LoadAcceleratorsA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_ACCELERATORS))) {
        keys.resize(static_cast<std::size_t>(::CopyAcceleratorTableA(resource, nullptr, 0)));
        keys.resize(static_cast<std::size_t>(::CopyAcceleratorTableA(resource, keys.data(), static_cast<int>(keys.size()))));
    }
    for (const TaskSpec& task : Tasks()) {
        if (task.key != 0) keys.push_back({FVIRTKEY | FCONTROL, static_cast<WORD>(task.key), static_cast<WORD>(task.menuId)});
    }
    return win32::unique_haccel(::CreateAcceleratorTableA(keys.data(), static_cast<int>(keys.size())));
}

}  // namespace

velquistform::velquistform(Elevation& rights, const registration::RunnerPrograms& runners)
    : elevation_(&rights), session_(runners) {}

velquistform::~velquistform() {
    if (Handle() != nullptr && ::IsWindow(Handle())) ::DestroyWindow(Handle());
}

bool velquistform::Create() {
    HICON big = win32::SharedIcon(IDI_PROGRAM, ::GetSystemMetrics(SM_CXICON));
    HICON small = win32::SharedIcon(IDI_PROGRAM, ::GetSystemMetrics(SM_CXSMICON));
    accelerators_ = CreateAccelerators();
    // Created where it will show, for the system's DPI: each later move or resize of a frame costs
    // the window system a round of messages. The layout corrects it for the DPI of its monitor.
    const SIZE size = MainLayout::WindowSize(win32::SystemDpi());
    const POINT at = win32::CenteredOnScreen(nullptr, size);
    if (CreateTopLevel(kFrameExStyle, "Velquist", kFrameStyle, at.x, at.y, size.cx, size.cy, nullptr, nullptr, big,
                       small) == nullptr) {
        return false;
    }
    // The window class may have been registered without icons (an earlier window of this process).
    ::SendMessageA(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    ::SendMessageA(Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));

    dpi_ = win32::WindowDpi(Handle());
    layout_.Apply(Handle(), dpi_, at);
    // A frame of another size than computed (another DPI, a wrapped menu bar) is centred as it came out.
    RECT frame{};
    ::GetWindowRect(Handle(), &frame);
    const POINT centred =
        win32::CenteredOnScreen(Handle(), SIZE{frame.right - frame.left, frame.bottom - frame.top});
    if (centred.x != frame.left || centred.y != frame.top) {
        ::SetWindowPos(Handle(), nullptr, centred.x, centred.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return true;
}

void velquistform::OnCreate() {
    menus_.Create(Handle());
    win32::CreateControls(Handle(), MainWindowControls(), ::GetModuleHandleA(nullptr), win32::WindowDpi(Handle()));
    auto item = [this](int id) { return ::GetDlgItem(Handle(), id); };
    Option1 = item(kIdOption1);
    Text1 = item(kIdText1);
    Command3 = item(kIdCommand3);
    Option2 = item(kIdOption2);
    Text2 = item(kIdText2);
    Command4 = item(kIdCommand4);
    Check1 = item(kIdCheck1);
    ListView1 = item(kIdListView1);
    Command5 = item(kIdCommand5);
    Command1 = item(kIdCommand1);
    Command2 = item(kIdCommand2);
    Label2 = item(kIdLabel2);
    Label3 = item(kIdLabel3);
    Label1 = item(kIdLabel1);

    ::SendMessageA(Option1, BM_SETCHECK, BST_CHECKED, 0);
    list_ = std::make_unique<ResultListView>(Handle(), ListView1);
    ImageList1 = list_->Images();
    run_ = std::make_unique<RunState>(Handle(), Command2);
    run_->SetUndoRecord(&lastRun_);

    // Files and folders dropped from Explorer; also when we run elevated and Explorer does not.
    // (the style DragAcceptFiles sets, without loading the shell before the window shows)
    ::SetWindowLongPtrA(Handle(), GWL_EXSTYLE, ::GetWindowLongPtrA(Handle(), GWL_EXSTYLE) | WS_EX_ACCEPTFILES);
    for (UINT message : {static_cast<UINT>(WM_DROPFILES), static_cast<UINT>(WM_COPYDATA), 0x0049u /* WM_COPYGLOBALDATA */}) {
        ::ChangeWindowMessageFilterEx(Handle(), message, MSGFLT_ALLOW, nullptr);
    }
}

void velquistform::FillInputs(const std::string& path, bool subfolders) {
    if (win32::IsFolder(path)) {
        ::SendMessageA(Option2, BM_CLICK, 0, 0);
        ::SetWindowTextA(Text2, path.c_str());
        ::SendMessageA(Check1, BM_SETCHECK, subfolders ? BST_CHECKED : BST_UNCHECKED, 0);
    } else {
        ::SendMessageA(Option1, BM_CLICK, 0, 0);
        ::SetWindowTextA(Text1, path.c_str());
    }
}

void velquistform::OnDropFiles(HDROP drop) {
    const std::string path = DroppedPath(drop);
    ::DragFinish(drop);
    if (path.empty() || Busy()) return;
    FillInputs(path, ::SendMessageA(Check1, BM_GETCHECK, 0, 0) == BST_CHECKED);
}

void velquistform::OnDpiChanged(int dpi, const RECT& suggested) {
    dpi_ = dpi;
    layout_.Apply(Handle(), dpi_, POINT{suggested.left, suggested.top});
    ::InvalidateRect(Handle(), nullptr, TRUE);
}

std::string velquistform::BrowseForFolder(HWND hwndOwner, const std::string& sPrompt) {
    return pickers::BrowseForFolder(hwndOwner, sPrompt);
}

void velquistform::EnableMode(bool directory) {
    for (HWND control : {Text2, Command4, Check1}) ::EnableWindow(control, directory);
    for (HWND control : {Text1, Command3}) ::EnableWindow(control, !directory);
}

void velquistform::Option1_Click() { EnableMode(false); }

void velquistform::Option2_Click() { EnableMode(true); }

void velquistform::Command2_Click() { Form_Unload(); }

void velquistform::Command3_Click() {
    // A cancelled dialog gives "", which empties the box: the box always shows the last choice.
    SetWindowTextA(Text1,
                   CommonDialogAPI::ShowOpenFileDialog(Handle(), kComponentFilter, "C:\\", "Select component").c_str());
}

void velquistform::Command4_Click() {
    const std::string folder = BrowseForFolder(Handle(), "Select directory containing ActiveX controls");
    if (!folder.empty()) ::SetWindowTextA(Text2, folder.c_str());
}

void velquistform::mnuexit_Click() { Form_Unload(); }

void velquistform::mnusave_Click() { list_->SaveResults(); }

void velquistform::mnurestart_Click() {
    // A refused prompt leaves everything as it was; an accepted start hands the run on.
    if (!Rights().IsElevated() && RestartElevated(Handle(), Rights(), ReadRequest(true), false)) Form_Unload();
}

void velquistform::mnucontents_Click() { companions_.ShowHelp(); }

void velquistform::mnuabout_Click() { companions_.ShowAbout(); }

const Companions* velquistform::CompanionsOf(HWND main) noexcept {
    // Only a main window of this thread: its class keeps the object in GWLP_USERDATA (win32::Window).
    if (main == nullptr || ::GetWindowThreadProcessId(main, nullptr) != ::GetCurrentThreadId()) return nullptr;
    char name[64] = {};
    ::GetClassNameA(main, name, static_cast<int>(std::size(name)));
    if (std::strcmp(name, ClassName()) != 0) return nullptr;
    const auto* form = reinterpret_cast<const velquistform*>(::GetWindowLongPtrA(main, GWLP_USERDATA));
    return form != nullptr ? &form->companions_ : nullptr;
}

void velquistform::Form_Unload() {
    // During a run, destroying the window would pull it from under the run: the run stops, and the
    // window closes once it has unwound.
    if (run_ && run_->DeferClose()) return;
    companions_.CloseAll();
    if (Handle() != nullptr) ::DestroyWindow(Handle());
    ::PostQuitMessage(0);
}

void velquistform::OnCommand(int id, int code) {
    // During a run only Close is heard (it stops the run); every other command waits for its end.
    if (Busy() && id != kIdCommand2) return;
    const bool clicked = code == BN_CLICKED;
    switch (id) {
        case kIdOption1: if (clicked) Option1_Click(); break;
        case kIdOption2: if (clicked) Option2_Click(); break;
        case kIdCommand1: if (clicked) Command1_Click(); break;
        case kIdCommand2: if (clicked) Command2_Click(); break;
        case kIdCommand3: if (clicked) Command3_Click(); break;
        case kIdCommand4: if (clicked) Command4_Click(); break;
        case kIdCommand5: if (clicked) Command5_Click(); break;
        case IDM_EXIT: mnuexit_Click(); break;
        case IDM_SAVE: mnusave_Click(); break;
        case IDM_PERUSER: mnuperuser_Click(); break;
        case IDM_FORCE: mnuforce_Click(); break;
        case IDM_TYPELIBS: mnutypelibs_Click(); break;
        case IDM_UNDO: mnuundo_Click(code == 1); break;
        case IDM_SAVEUNDO: mnusaveundo_Click(); break;
        case IDM_RESTART: mnurestart_Click(); break;
        case IDM_DLLINSTALL: mnudllinstall_Click(); break;
        case IDM_COPY: list_->CopyRows(); break;
        case IDM_SELECTALL: list_->Rows().SelectAll(); break;
        case IDOK:
            // Enter, which dialog navigation turns into IDOK: on the list, the focused row's detail.
            if (::GetFocus() == ListView1) list_->ShowRowDetail(list_->Rows().FocusedRow());
            break;
        case IDM_CONTENTS: mnucontents_Click(); break;
        case IDM_ABOUT: mnuabout_Click(); break;
        default:
            if (const TaskSpec* task = TaskOfMenu(id)) RunTool(task->task);
            break;
    }
}

LRESULT velquistform::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
    try {
        switch (msg) {
            case WM_CREATE:
                OnCreate();
                return 0;
            case WM_COMMAND:
                OnCommand(LOWORD(wParam), HIWORD(wParam));
                return 0;
            case WM_NOTIFY: {
                const auto* header = reinterpret_cast<const NMHDR*>(lParam);
                if (header != nullptr && header->hwndFrom == ListView1 && list_) return list_->OnNotify(*header, Busy());
                break;
            }
            case WM_DROPFILES:
                OnDropFiles(reinterpret_cast<HDROP>(wParam));
                return 0;
            case WM_CONTEXTMENU:
                if (reinterpret_cast<HWND>(wParam) == ListView1 && !Busy()) {
                    const int command = list_->TrackMenu(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
                    if (command != 0) OnCommand(command, 0);
                    return 0;
                }
                break;
            case WM_INITMENUPOPUP:
                menus_.ShowShield(reinterpret_cast<HMENU>(wParam));
                MainMenus::Enable(reinterpret_cast<HMENU>(wParam), list_ && list_->Rows().Count() > 0,
                                  Rights().IsElevated(), lastRun_.Changed());
                return 0;
            case WM_GETDPISCALEDSIZE:
                // Moving to a monitor of another DPI: ask for the size that keeps the client area
                // in twips, rather than the frame scaled as a whole.
                *reinterpret_cast<SIZE*>(lParam) = MainLayout::WindowSize(static_cast<int>(wParam));
                return TRUE;
            case WM_DPICHANGED:
                OnDpiChanged(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
                return 0;
            case WM_CLOSE:
                Form_Unload();
                return 0;
            case WM_ENDSESSION:
                // The session ends: unload as if the user had closed the window.
                if (wParam) Form_Unload();
                return 0;
            case WM_CTLCOLORSTATIC:
                if (HBRUSH brush = MainLayout::LabelColours(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam))) {
                    return reinterpret_cast<LRESULT>(brush);
                }
                break;
            default:
                break;
        }
    } catch (...) {
        // Nothing may cross the window procedure; a handler that failed leaves the window as it is.
    }
    return ::DefWindowProcA(Handle(), msg, wParam, lParam);
}

}  // namespace velquist
