// The main window: frame, controls, menus, mode switching, layout per DPI, and closing.
#include "app/velquistform.h"

#include <windowsx.h>
#include <commdlg.h>
#include <shobjidl.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "app/CommandLine.h"
#include "app/Commands.h"
#include "registration/Details.h"
#include "results/Report.h"
#include "win32/Paths.h"
#include "win32/WindowText.h"
#include "pickers/CommonDialogAPI.h"
#include "resource.h"
#include "windows/HelpAbout.h"

namespace velquist {
namespace {

using namespace std::string_literals;

// No WS_CLIPCHILDREN: the window erases under its labels, which paint without a background of
// their own (see WM_CTLCOLORSTATIC).
constexpr DWORD kFrameStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kFrameExStyle = WS_EX_APPWINDOW;

constexpr DWORD kOption = BS_AUTORADIOBUTTON | WS_TABSTOP;
constexpr DWORD kTextBox = ES_LEFT | ES_AUTOHSCROLL | WS_TABSTOP;
constexpr DWORD kButton = BS_PUSHBUTTON | WS_TABSTOP;
constexpr DWORD kLabel = SS_LEFT | SS_NOPREFIX;
constexpr DWORD kList = LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SHAREIMAGELISTS |
                        LVS_NOCOLUMNHEADER | WS_TABSTOP;

constexpr char kLabel2Text[] =
    "This application will register a single ActiveX control (DLL or OCX) or it will allow you to select an "
    "entire directory to register all the files within that directory.  This can be useful in the event of an "
    "application not working/installing correctly.  Please be aware that incorrectly registering a DLL or OCX "
    "file can adversely affect software and may prevent applications from running at all.   See Help for more "
    "information";
constexpr char kLabel1Text[] =
    "If this program fails to register your ActiveX controls correctly, try running this application as "
    "Administrator.";
constexpr char kLabel3Text[] = "By using this program you acknowledge that you are aware of the risks involved. ";

// Creation order is tab order. WS_GROUP on Option1 opens the option group and on Text2 closes it,
// so the two option buttons exclude each other. Single-file mode is the initial state.
constexpr std::array<win32::ControlSpec, 14> kControls{{
    // id            name         class            caption                              left  top   width height style
    {kIdOption1, "Option1", WC_BUTTONA, "Register single file", 285, 1935, 1890, 270, kOption | WS_GROUP},
    {kIdText1, "Text1", WC_EDITA, "", 2760, 1890, 4710, 330, kTextBox, WS_EX_CLIENTEDGE},
    {kIdCommand3, "Command3", WC_BUTTONA, "...", 7545, 1890, 360, 330, kButton},
    {kIdOption2, "Option2", WC_BUTTONA, "Register all files in directory", 285, 2310, 2625, 240, kOption},
    {kIdText2, "Text2", WC_EDITA, "", 2760, 2280, 4710, 330, kTextBox | WS_GROUP | WS_DISABLED, WS_EX_CLIENTEDGE},
    {kIdCommand4, "Command4", WC_BUTTONA, "...", 7545, 2280, 360, 330, kButton | WS_DISABLED},
    {kIdCheck1, "Check1", WC_BUTTONA, "Include sub-directories", 2760, 2625, 2880, 315,
     BS_AUTOCHECKBOX | WS_TABSTOP | WS_DISABLED},
    {kIdListView1, "ListView1", WC_LISTVIEWA, "", 300, 2985, 7635, 1245, kList, WS_EX_CLIENTEDGE},
    {kIdCommand5, "Command5", WC_BUTTONA, "Velquist!", 3480, 4305, 1455, 405, kButton},
    {kIdCommand1, "Command1", WC_BUTTONA, "Un-Velquist!", 4980, 4305, 1455, 405, kButton},
    {kIdCommand2, "Command2", WC_BUTTONA, "Close", 6480, 4305, 1455, 405, kButton},
    {kIdLabel2, "Label2", WC_STATICA, kLabel2Text, 270, 150, 7755, 885, kLabel},
    {kIdLabel3, "Label3", WC_STATICA, kLabel3Text, 300, 1440, 7515, 435, kLabel},
    {kIdLabel1, "Label1", WC_STATICA, kLabel1Text, 300, 1080, 7695, 435, kLabel},
}};

// The component picker's filter: four pieces, each ending in NUL; c_str() adds the list's final NUL.
const std::string kComponentFilter = "ActiveX Files (*.dll, *.ocx)\0*.DLL; *.ocx\0All Files (*.*)\0*.*\0"s;

HICON LoadIconSized(int id, int size) noexcept {
    return static_cast<HICON>(::LoadImageA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), IMAGE_ICON, size,
                                           size, LR_DEFAULTCOLOR | LR_SHARED));
}

}  // namespace

std::span<const win32::ControlSpec> MainWindowControls() noexcept { return kControls; }

int HimetricToPixels(int himetric, int dpi) noexcept { return ::MulDiv(himetric, dpi, 2540); }

velquistform::velquistform(const registration::RunnerPrograms& runners) : session_(runners) {}

velquistform::~velquistform() {
    if (Handle() != nullptr && ::IsWindow(Handle())) ::DestroyWindow(Handle());
    if (ImageList1 != nullptr) ::ImageList_Destroy(ImageList1);
}

bool velquistform::Create() {
    HICON big = LoadIconSized(IDI_PROGRAM, ::GetSystemMetrics(SM_CXICON));
    HICON small = LoadIconSized(IDI_PROGRAM, ::GetSystemMetrics(SM_CXSMICON));
    accelerators_ = ::LoadAcceleratorsA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_ACCELERATORS));
    // Created at no size; Layout gives it the designed client area for the DPI of its monitor.
    if (CreateTopLevel(kFrameExStyle, "Velquist", kFrameStyle, 0, 0, 0, 0, nullptr, nullptr, big, small) ==
        nullptr) {
        return false;
    }
    // The window class may have been registered without icons (an earlier window of this process).
    ::SendMessageA(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    ::SendMessageA(Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));

    dpi_ = win32::WindowDpi(Handle());
    Layout(POINT{0, 0});
    RECT frame{};
    ::GetWindowRect(Handle(), &frame);
    const POINT centred =
        win32::CenteredOnScreen(Handle(), SIZE{frame.right - frame.left, frame.bottom - frame.top});
    ::SetWindowPos(Handle(), nullptr, centred.x, centred.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    return true;
}

void velquistform::OnCreate() {
    CreateMenuBar();
    win32::CreateControls(Handle(), kControls, ::GetModuleHandleA(nullptr));
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

    CreateImageList();
    ::SendMessageA(ListView1, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(ImageList1));
    ::SendMessageA(ListView1, LVM_SETIMAGELIST, LVSIL_NORMAL, reinterpret_cast<LPARAM>(ImageList1));
    HWND header = reinterpret_cast<HWND>(::SendMessageA(ListView1, LVM_GETHEADER, 0, 0));
    if (header != nullptr) ::SendMessageA(header, HDM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(ImageList1));
    // The detail of the row under the pointer shows as its tip.
    ::SendMessageA(ListView1, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP,
                   LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP);
    LVCOLUMNA column{};
    column.mask = LVCF_WIDTH | LVCF_FMT;
    column.fmt = LVCFMT_LEFT;
    column.cx = HimetricToPixels(kResultColumnHimetric, 96);
    ::SendMessageA(ListView1, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&column));
    results_ = std::make_unique<ListViewResultList>(ListView1);

    // Files and folders dropped from Explorer; also when we run elevated and Explorer does not.
    ::DragAcceptFiles(Handle(), TRUE);
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
    // Of several items, the first; read in Unicode, so that any name survives.
    const UINT length = ::DragQueryFileW(drop, 0, nullptr, 0);
    std::wstring wide(length + 1, L'\0');
    const UINT got = length > 0 ? ::DragQueryFileW(drop, 0, wide.data(), length + 1) : 0;
    ::DragFinish(drop);
    if (got == 0 || running_) return;
    wide.resize(got);
    const int bytes = ::WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string path(static_cast<size_t>(bytes > 0 ? bytes : 1), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, path.data(), bytes, nullptr, nullptr);
    path.resize(std::strlen(path.c_str()));
    const bool subfolders = ::SendMessageA(Check1, BM_GETCHECK, 0, 0) == BST_CHECKED;
    FillInputs(path, subfolders);
}

void velquistform::CreateImageList() {
    ImageList1 = ::ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 3, 0);
    for (int id : {IDI_CHECK, IDI_CROSS, IDI_PROGRAM}) {
        ::ImageList_AddIcon(ImageList1, LoadIconSized(id, 16));
    }
}

void velquistform::CreateMenuBar() {
    HMENU bar = ::CreateMenu();
    HMENU mnufile = ::CreatePopupMenu();
    ::AppendMenuA(mnufile, MF_STRING, IDM_SAVE, "Save results...\tCtrl+S");
    ::AppendMenuA(mnufile, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuA(mnufile, MF_STRING, IDM_PERUSER, "Register for current user only");
    ::AppendMenuA(mnufile, MF_STRING, IDM_RESTART, "Restart as administrator");
    ::AppendMenuA(mnufile, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuA(mnufile, MF_STRING, IDM_EXIT, "Exit");
    shield_.reset(CreateShieldBitmap());
    if (shield_) {
        MENUITEMINFOA item{};
        item.cbSize = sizeof item;
        item.fMask = MIIM_BITMAP;
        item.hbmpItem = shield_.get();
        ::SetMenuItemInfoA(mnufile, IDM_RESTART, FALSE, &item);
    }
    HMENU mnuhelp = ::CreatePopupMenu();
    ::AppendMenuA(mnuhelp, MF_STRING, IDM_CONTENTS, "Contents\tF1");
    ::AppendMenuA(mnuhelp, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuA(mnuhelp, MF_STRING, IDM_ABOUT, "About");
    ::AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(mnufile), "File");
    ::AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(mnuhelp), "Help");
    ::SetMenu(Handle(), bar);  // destroyed with the window
}

namespace {
// The interface font for dpi, its height scaled from 96 DPI and rounded down, so that text that
// fits the twips layout at 96 DPI does not need an extra line at another DPI.
HFONT CreateLayoutFont(int dpi) noexcept {
    win32::unique_gdi<HFONT> base(win32::CreateInterfaceFont(96));
    LOGFONTA logFont{};
    if (!base || ::GetObjectA(base.get(), sizeof logFont, &logFont) != sizeof logFont) {
        return win32::CreateInterfaceFont(dpi);
    }
    logFont.lfHeight = static_cast<LONG>(static_cast<long long>(logFont.lfHeight) * dpi / 96);
    logFont.lfWidth = static_cast<LONG>(static_cast<long long>(logFont.lfWidth) * dpi / 96);
    return ::CreateFontIndirectA(&logFont);
}
}  // namespace

void velquistform::Layout(POINT origin) {
    win32::unique_gdi<HFONT> font(CreateLayoutFont(dpi_));
    win32::ApplyFont(Handle(), font.get());
    font_ = std::move(font);  // the old font is released only after no control uses it
    win32::PlaceControls(Handle(), kControls, dpi_);
    FitLabels();
    ::SendMessageA(ListView1, LVM_SETCOLUMNWIDTH, 0, HimetricToPixels(kResultColumnHimetric, dpi_));

    const int wantWidth = win32::TwipsToPixels(kClientWidthTwips, dpi_);
    const int wantHeight = win32::TwipsToPixels(kClientHeightTwips, dpi_);
    SIZE size = win32::WindowSizeForClient(kClientWidthTwips, kClientHeightTwips, kFrameStyle, kFrameExStyle, true,
                                           dpi_);
    ::SetWindowPos(Handle(), nullptr, origin.x, origin.y, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
    // The frame and menu bar actually drawn may differ from the computed ones (a menu bar that
    // wraps, metrics of another DPI): correct by what the client area really came out as.
    RECT client{};
    ::GetClientRect(Handle(), &client);
    const int dx = wantWidth - (client.right - client.left);
    const int dy = wantHeight - (client.bottom - client.top);
    if (dx != 0 || dy != 0) {
        ::SetWindowPos(Handle(), nullptr, 0, 0, size.cx + dx, size.cy + dy,
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void velquistform::FitLabels() {
    // The labels' boxes hold their texts in the font the layout was drawn for; the system's font may
    // be wider (Tahoma, Segoe UI). Rather than cut the last line off, such a label gets a smaller font.
    const HWND labels[] = {Label1, Label2, Label3};
    const int minHeight = ::MulDiv(9, dpi_, 96);
    for (size_t i = 0; i < labelFonts_.size(); ++i) {
        win32::unique_gdi<HFONT> fitting(win32::CreateFittingFont(labels[i], font_.get(), minHeight));
        if (fitting) ::SendMessageA(labels[i], WM_SETFONT, reinterpret_cast<WPARAM>(fitting.get()), TRUE);
        labelFonts_[i] = std::move(fitting);  // the label no longer uses the font released here
    }
}

void velquistform::OnDpiChanged(int dpi, const RECT& suggested) {
    dpi_ = dpi;
    Layout(POINT{suggested.left, suggested.top});
    ::InvalidateRect(Handle(), nullptr, TRUE);
}

std::string velquistform::BrowseForFolder(HWND hwndOwner, const std::string& sPrompt) {
    return pickers::BrowseForFolder(hwndOwner, sPrompt);
}

void velquistform::Option1_Click() {
    ::EnableWindow(Text2, FALSE);
    ::EnableWindow(Command4, FALSE);
    ::EnableWindow(Check1, FALSE);
    ::EnableWindow(Text1, TRUE);
    ::EnableWindow(Command3, TRUE);
}

void velquistform::Option2_Click() {
    ::EnableWindow(Text2, TRUE);
    ::EnableWindow(Command4, TRUE);
    ::EnableWindow(Check1, TRUE);
    ::EnableWindow(Text1, FALSE);
    ::EnableWindow(Command3, FALSE);
}

namespace {

// The task bar button's progress, where the shell has one.
class TaskbarProgress final : public velquistform::ProgressDisplay {
public:
    void Walking(HWND window) override { Set(window, TBPF_INDETERMINATE); }
    void Idle(HWND window) override { Set(window, TBPF_NOPROGRESS); }

private:
    static void Set(HWND window, TBPFLAG state) {
        ITaskbarList3* taskbar = nullptr;
        if (FAILED(::CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                      reinterpret_cast<void**>(&taskbar)))) {
            return;
        }
        if (SUCCEEDED(taskbar->HrInit())) taskbar->SetProgressState(window, state);
        taskbar->Release();
    }
};

}  // namespace

// A run of this window: its progress in the caption and on the task bar, its stop, its input.
class velquistform::WindowRun final : public RunControl {
public:
    WindowRun(velquistform& form, bool walking) : form_(form), walking_(walking) {
        if (walking_) Display().Walking(form_.Handle());
    }
    ~WindowRun() override {
        if (!walking_) return;
        ::SetWindowTextA(form_.Handle(), "Velquist");
        Display().Idle(form_.Handle());
    }
    void FileChecked() override {
        const std::string caption = "Velquist - " + modRegister::Grouped(checked) + " files checked";
        ::SetWindowTextA(form_.Handle(), caption.c_str());
    }
    bool StopRequested() override { return form_.stopRequested_; }
    void OnInput() override { form_.HandleInputDuringRun(); }

private:
    ProgressDisplay& Display() {
        static TaskbarProgress taskbar;
        return form_.progress_ != nullptr ? *form_.progress_ : taskbar;
    }
    velquistform& form_;
    bool walking_;
};

void velquistform::HandleInputDuringRun() {
    MSG msg;
    // Close requests posted to the window (the task bar's Close, another program's WM_CLOSE).
    while (::PeekMessageA(&msg, Handle(), WM_CLOSE, WM_CLOSE, PM_REMOVE)) ::DispatchMessageA(&msg);
    while (::PeekMessageA(&msg, Handle(), WM_SYSCOMMAND, WM_SYSCOMMAND, PM_REMOVE)) {
        if ((msg.wParam & 0xFFF0) == SC_CLOSE) ::DispatchMessageA(&msg);
    }
    // Keys and clicks, whether typed or posted.
    const std::pair<UINT, UINT> ranges[] = {{WM_KEYFIRST, WM_KEYLAST}, {WM_MOUSEFIRST, WM_MOUSELAST},
                                            {WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK}};
    for (const auto& [first, last] : ranges) {
        while (::PeekMessageA(&msg, nullptr, first, last, PM_REMOVE)) {
            if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) {
                stopRequested_ = true;
                continue;
            }
            const bool onClose = msg.hwnd == Command2 && msg.message >= WM_MOUSEFIRST && msg.message <= WM_MOUSELAST;
            const bool closeBox = msg.hwnd == Handle() && msg.wParam == HTCLOSE &&
                                  (msg.message == WM_NCLBUTTONDOWN || msg.message == WM_NCLBUTTONUP);
            const bool altF4 = msg.message == WM_SYSKEYDOWN && msg.wParam == VK_F4;
            if (onClose || closeBox || altF4) {
                ::TranslateMessage(&msg);
                ::DispatchMessageA(&msg);
            }
        }
    }
}

RunRequest velquistform::ReadRequest(bool registerFlag) const {
    RunRequest request;
    const bool directory = ::SendMessageA(Option1, BM_GETCHECK, 0, 0) != BST_CHECKED;
    request.mode = directory ? RunRequest::Mode::Directory : RunRequest::Mode::SingleFile;
    request.path = win32::WindowText(directory ? Text2 : Text1);
    request.subfolders = ::SendMessageA(Check1, BM_GETCHECK, 0, 0) == BST_CHECKED;
    request.registerFlag = registerFlag;
    request.perUser = perUser_;
    return request;
}

namespace {

// Forwards every line to the window's list and then paints whatever of the window is invalid, so
// that a long run shows its progress even where another window uncovered it. Painting takes no input.
class PaintingList : public ResultList {
public:
    PaintingList(ResultList& inner, HWND window) : inner_(inner), window_(window) {}
    void Clear() override {
        inner_.Clear();
        Paint();
    }
    int Count() const override { return inner_.Count(); }
    void Add(const std::string& key, const ResultLine& line) override {
        inner_.Add(key, line);
        Paint();
    }

private:
    void Paint() {
        if (window_ != nullptr) ::RedrawWindow(window_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    }
    ResultList& inner_;
    HWND window_;
};

// The hourglass for the length of a run; input given meanwhile is dropped when the run ends, so that
// a click on a button while the window was busy cannot start a second run that clears the results.
class BusyScope {
public:
    // The window itself keeps its place on the screen: WinMain turned off the "Not Responding" ghost.
    BusyScope() {
        previous_ = ::SetCursor(::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT)));
    }
    ~BusyScope() {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
        }
        while (::PeekMessageA(&msg, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
        }
        while (::PeekMessageA(&msg, nullptr, WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK, PM_REMOVE)) {
        }
        if (previous_ == nullptr) previous_ = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
        ::SetCursor(previous_);
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    HCURSOR previous_ = nullptr;
};

}  // namespace

void velquistform::Run(bool registerFlag) {
    if (running_) return;
    RunSummary summary;
    const RunRequest request = ReadRequest(registerFlag);
    {
        struct Running {
            bool& flag;
            explicit Running(bool& f) : flag(f) { flag = true; }
            ~Running() { flag = false; }
        } running(running_);
        stopRequested_ = false;
        WindowRun run(*this, request.mode == RunRequest::Mode::Directory);
        BusyScope busy;
        PaintingList list(*results_, Handle());
        summary = Execute(request, session_, list,
                          [this](const std::string& message) {
                              ::MessageBoxA(Handle(), message.c_str(), "Velquist!", MB_OK | MB_ICONERROR);
                          },
                          &run);
    }
    if (closePending_) {
        closePending_ = false;
        Form_Unload();
        return;
    }
    if (!summary.stopped && summary.accessDenied && !Rights().IsElevated()) OfferElevation(request);
}

void velquistform::Command5_Click() { Run(true); }

void velquistform::Command1_Click() { Run(false); }

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

void velquistform::SetPerUser(bool perUser) {
    perUser_ = perUser;
    if (HMENU menu = ::GetMenu(Handle())) {
        ::CheckMenuItem(menu, IDM_PERUSER, MF_BYCOMMAND | (perUser_ ? MF_CHECKED : MF_UNCHECKED));
    }
}

void velquistform::mnuperuser_Click() { SetPerUser(!perUser_); }

void velquistform::mnurestart_Click() {
    if (Rights().IsElevated()) return;
    char folder[MAX_PATH * 4] = {};
    ::GetCurrentDirectoryA(static_cast<DWORD>(std::size(folder)), folder);
    if (Rights().Relaunch(Handle(), RelaunchParameters(ReadRequest(true), false), folder)) Form_Unload();
}

void velquistform::OfferElevation(const RunRequest& request) {
    const std::string question = std::string("Some components could not be ") +
                                 (request.registerFlag ? "registered" : "unregistered") +
                                 " because access was denied.\n\nRestart Velquist as administrator and run this again?";
    if (::MessageBoxA(Handle(), question.c_str(), "Velquist!", MB_YESNO | MB_ICONQUESTION) != IDYES) return;
    char folder[MAX_PATH * 4] = {};
    ::GetCurrentDirectoryA(static_cast<DWORD>(std::size(folder)), folder);
    // A refused prompt leaves everything as it was; an accepted start hands the run on.
    if (Rights().Relaunch(Handle(), RelaunchParameters(request, true), folder)) Form_Unload();
}

void velquistform::mnusave_Click() {
    const auto& lines = results_->Lines();
    if (lines.empty()) return;
    char file[MAX_PATH * 4] = "Velquist results.csv";
    static const char kFilter[] = "CSV files (*.csv)\0*.csv\0All files (*.*)\0*.*\0";
    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = Handle();
    dialog.lpstrFilter = kFilter;
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file;
    dialog.nMaxFile = static_cast<DWORD>(std::size(file));
    dialog.lpstrTitle = "Save results";
    dialog.lpstrDefExt = "csv";
    dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_EXPLORER;
    if (!::GetSaveFileNameA(&dialog)) return;
    DWORD error = ERROR_SUCCESS;
    if (!SaveReport(file, lines, error)) {
        const std::string reason = modRegister::CodeText(error);
        const std::string text = "The results could not be saved to " + std::string(file) + "." +
                                 (reason.empty() ? "" : "\n\n" + reason);
        ::MessageBoxA(Handle(), text.c_str(), "Velquist!", MB_OK | MB_ICONERROR);
    }
}

void velquistform::CopyRows() {
    const std::wstring text = ClipboardText(results_->SelectedLines());
    if (text.empty() && results_->SelectedLines().empty()) return;
    if (!::OpenClipboard(Handle())) return;
    ::EmptyClipboard();
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    if (HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, bytes)) {
        if (void* target = ::GlobalLock(memory)) {
            std::memcpy(target, text.c_str(), bytes);
            ::GlobalUnlock(memory);
            if (::SetClipboardData(CF_UNICODETEXT, memory) == nullptr) ::GlobalFree(memory);
        } else {
            ::GlobalFree(memory);
        }
    }
    ::CloseClipboard();
}

void velquistform::ShowRowDetail(int row) {
    const ResultLine* line = results_->Line(row);
    if (line == nullptr) return;
    const std::string text = line->detail.empty() ? line->Text() : line->Text() + "\n\n" + line->detail;
    ::MessageBoxA(Handle(), text.c_str(), "Velquist!",
                  MB_OK | (line->kind == LineKind::Failed ? MB_ICONERROR : MB_ICONINFORMATION));
}

void velquistform::ShowListMenu(POINT at) {
    if (at.x == -1 && at.y == -1) {  // from the keyboard: at the focused row, or the list's corner
        RECT place{};
        const int row = results_->FocusedRow();
        if (row >= 0) {
            place.left = LVIR_LABEL;
            ::SendMessageA(ListView1, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&place));
        }
        at = POINT{place.left, place.bottom};
        ::ClientToScreen(ListView1, &at);
    }
    HMENU menu = ::CreatePopupMenu();
    if (menu == nullptr) return;
    const bool any = results_->Count() > 0;
    const bool selected = ::SendMessageA(ListView1, LVM_GETSELECTEDCOUNT, 0, 0) > 0;
    ::AppendMenuA(menu, MF_STRING | (selected ? 0 : MF_GRAYED), IDM_COPY, "Copy\tCtrl+C");
    ::AppendMenuA(menu, MF_STRING | (any ? 0 : MF_GRAYED), IDM_SELECTALL, "Select all\tCtrl+A");
    ::AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuA(menu, MF_STRING | (any ? 0 : MF_GRAYED), IDM_SAVE, "Save results...");
    const int command = static_cast<int>(::TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY,
                                                           at.x, at.y, 0, Handle(), nullptr));
    ::DestroyMenu(menu);
    if (command != 0) OnCommand(command, 0);
}

LRESULT velquistform::OnListNotify(const NMHDR& header) {
    switch (header.code) {
        case LVN_GETINFOTIPA: {
            auto& tip = const_cast<NMLVGETINFOTIPA&>(reinterpret_cast<const NMLVGETINFOTIPA&>(header));
            const ResultLine* line = results_->Line(tip.iItem);
            if (line != nullptr && !line->detail.empty() && tip.pszText != nullptr && tip.cchTextMax > 0) {
                // Replaces the row's own text, which the control puts there first.
                const size_t count = std::min(line->detail.size(), static_cast<size_t>(tip.cchTextMax - 1));
                std::memcpy(tip.pszText, line->detail.data(), count);
                tip.pszText[count] = '\0';
            }
            return 0;
        }
        case LVN_GETINFOTIPW: {
            auto& tip = const_cast<NMLVGETINFOTIPW&>(reinterpret_cast<const NMLVGETINFOTIPW&>(header));
            const ResultLine* line = results_->Line(tip.iItem);
            if (line != nullptr && !line->detail.empty() && tip.pszText != nullptr && tip.cchTextMax > 0) {
                const std::wstring detail = Wide(line->detail);
                const size_t count = std::min(detail.size(), static_cast<size_t>(tip.cchTextMax - 1));
                std::memcpy(tip.pszText, detail.data(), count * sizeof(wchar_t));
                tip.pszText[count] = L'\0';
            }
            return 0;
        }
        case NM_DBLCLK: {
            const auto& activate = reinterpret_cast<const NMITEMACTIVATE&>(header);
            if (!running_) ShowRowDetail(activate.iItem);
            return 0;
        }
        case LVN_KEYDOWN: {
            const auto& key = reinterpret_cast<const NMLVKEYDOWN&>(header);
            if (running_ || ::GetKeyState(VK_CONTROL) >= 0) return 0;
            if (key.wVKey == 'C') CopyRows();
            if (key.wVKey == 'A') results_->SelectAll();
            return 0;
        }
        default:
            return 0;
    }
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
    if (running_) {
        // The run is inside this window's code: destroying the window now would pull it from under it.
        // It stops, and the window closes once it has unwound.
        closePending_ = true;
        stopRequested_ = true;
        return;
    }
    companions_.CloseAll();
    if (Handle() != nullptr) ::DestroyWindow(Handle());
    ::PostQuitMessage(0);
}

void velquistform::OnCommand(int id, int code) {
    // During a run only Close is heard (it stops the run); every other command waits for its end.
    if (running_ && id != kIdCommand2) return;
    switch (id) {
        case kIdOption1: if (code == BN_CLICKED) Option1_Click(); break;
        case kIdOption2: if (code == BN_CLICKED) Option2_Click(); break;
        case kIdCommand1: if (code == BN_CLICKED) Command1_Click(); break;
        case kIdCommand2: if (code == BN_CLICKED) Command2_Click(); break;
        case kIdCommand3: if (code == BN_CLICKED) Command3_Click(); break;
        case kIdCommand4: if (code == BN_CLICKED) Command4_Click(); break;
        case kIdCommand5: if (code == BN_CLICKED) Command5_Click(); break;
        case IDM_EXIT: mnuexit_Click(); break;
        case IDM_SAVE: mnusave_Click(); break;
        case IDM_PERUSER: mnuperuser_Click(); break;
        case IDM_RESTART: mnurestart_Click(); break;
        case IDM_COPY: CopyRows(); break;
        case IDM_SELECTALL: results_->SelectAll(); break;
        case IDOK:
            // Enter, which dialog navigation turns into IDOK: on the list, the focused row's detail.
            if (::GetFocus() == ListView1) ShowRowDetail(results_->FocusedRow());
            break;
        case IDM_CONTENTS: mnucontents_Click(); break;
        case IDM_ABOUT: mnuabout_Click(); break;
        default: break;
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
                if (header != nullptr && header->hwndFrom == ListView1) return OnListNotify(*header);
                break;
            }
            case WM_DROPFILES:
                OnDropFiles(reinterpret_cast<HDROP>(wParam));
                return 0;
            case WM_CONTEXTMENU:
                if (reinterpret_cast<HWND>(wParam) == ListView1 && !running_) {
                    ShowListMenu(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
                    return 0;
                }
                break;
            case WM_INITMENUPOPUP:
                // Save results... only when there is something to save.
                ::EnableMenuItem(reinterpret_cast<HMENU>(wParam), IDM_SAVE,
                                 MF_BYCOMMAND | (results_ && results_->Count() > 0 ? MF_ENABLED : MF_GRAYED));
                // Restart as administrator only when we are not already.
                ::EnableMenuItem(reinterpret_cast<HMENU>(wParam), IDM_RESTART,
                                 MF_BYCOMMAND | (Rights().IsElevated() ? MF_GRAYED : MF_ENABLED));
                return 0;
            case WM_GETDPISCALEDSIZE: {
                // Moving to a monitor of another DPI: ask for the size that keeps the client area
                // in twips, rather than the frame scaled as a whole.
                auto* size = reinterpret_cast<SIZE*>(lParam);
                *size = win32::WindowSizeForClient(kClientWidthTwips, kClientHeightTwips, kFrameStyle,
                                                   kFrameExStyle, true, static_cast<int>(wParam));
                return TRUE;
            }
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
            case WM_CTLCOLORSTATIC: {
                // The labels' boxes overlap where a wrapped line runs into the next label; painted
                // without a background, neither label hides the other's text.
                const HWND control = reinterpret_cast<HWND>(lParam);
                if (control == Label1 || control == Label2 || control == Label3) {
                    HDC dc = reinterpret_cast<HDC>(wParam);
                    ::SetBkMode(dc, TRANSPARENT);
                    ::SetTextColor(dc, ::GetSysColor(COLOR_BTNTEXT));
                    return reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH));
                }
                break;
            }
            default:
                break;
        }
    } catch (...) {
        // Nothing may cross the window procedure; a handler that failed leaves the window as it is.
    }
    return ::DefWindowProcA(Handle(), msg, wParam, lParam);
}

}  // namespace velquist
