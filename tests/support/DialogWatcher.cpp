// Catching and answering modal windows from the test thread.
#include "DialogWatcher.h"

#include "win32/WindowText.h"

#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <map>
#include <memory>

namespace testsupport {

namespace {

thread_local DialogWatcher* tCurrentWatcher = nullptr;
thread_local std::map<UINT_PTR, std::function<void()>>* tPending = nullptr;

void CALLBACK OnThreadTimer(HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    if (tPending == nullptr) return;
    auto it = tPending->find(id);
    if (it == tPending->end()) return;
    std::function<void()> action = std::move(it->second);
    tPending->erase(it);
    if (action) action();
}

BOOL CALLBACK CollectChild(HWND hwnd, LPARAM lParam) {
    auto* children = reinterpret_cast<std::vector<ChildInfo>*>(lParam);
    ChildInfo info;
    info.hwnd = hwnd;
    info.id = ::GetDlgCtrlID(hwnd);
    info.className = ClassNameOf(hwnd);
    info.text = WindowText(hwnd);
    info.style = static_cast<LONG>(::GetWindowLongPtrA(hwnd, GWL_STYLE));
    children->push_back(std::move(info));
    return TRUE;
}

bool SameClass(const std::string& a, const char* b) {
    return b == nullptr || ::lstrcmpiA(a.c_str(), b) == 0;
}

}  // namespace

std::string WindowText(HWND hwnd) { return win32::WindowText(hwnd); }

std::string ClassNameOf(HWND hwnd) {
    char name[256] = {};
    ::GetClassNameA(hwnd, name, static_cast<int>(std::size(name)));
    return name;
}

std::vector<ChildInfo> Children(HWND parent) {
    std::vector<ChildInfo> children;
    ::EnumChildWindows(parent, &CollectChild, reinterpret_cast<LPARAM>(&children));
    return children;
}

DialogInfo Describe(HWND dialog) {
    DialogInfo info;
    info.hwnd = dialog;
    info.className = ClassNameOf(dialog);
    info.caption = WindowText(dialog);
    info.children = Children(dialog);
    return info;
}

HWND FindChild(HWND parent, const char* className, int id) {
    for (const ChildInfo& child : Children(parent)) {
        if (SameClass(child.className, className) && (id < 0 || child.id == id)) return child.hwnd;
    }
    return nullptr;
}

HWND FindChildByText(HWND parent, const char* className, const std::string& text) {
    for (const ChildInfo& child : Children(parent)) {
        if (SameClass(child.className, className) && child.text == text) return child.hwnd;
    }
    return nullptr;
}

void ClickButton(HWND dialog, int id) {
    HWND button = ::GetDlgItem(dialog, id);
    if (button != nullptr && SameClass(ClassNameOf(button), "Button") && ::IsWindowEnabled(button)) {
        ::PostMessageA(button, BM_CLICK, 0, 0);
        return;
    }
    ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

HICON StaticIcon(HWND control) {
    return reinterpret_cast<HICON>(::SendMessageA(control, STM_GETICON, 0, 0));
}

UINT_PTR RunLater(UINT delayMs, std::function<void()> action) {
    if (tPending == nullptr) tPending = new std::map<UINT_PTR, std::function<void()>>();  // lives with the thread
    const UINT_PTR id = ::SetTimer(nullptr, 0, delayMs, &OnThreadTimer);
    if (id != 0) (*tPending)[id] = std::move(action);
    return id;
}

void CancelRun(UINT_PTR id) {
    ::KillTimer(nullptr, id);
    if (tPending != nullptr) tPending->erase(id);
}

void RunWhen(std::function<bool()> ready, std::function<void()> action, UINT timeoutMs, UINT periodMs) {
    if (ready()) {
        action();
        return;
    }
    if (timeoutMs == 0) return;
    const UINT left = timeoutMs > periodMs ? timeoutMs - periodMs : 0;
    RunLater(periodMs, [ready = std::move(ready), action = std::move(action), left, periodMs]() mutable {
        RunWhen(std::move(ready), std::move(action), left, periodMs);
    });
}

DialogWatcher::DialogWatcher(Action onActivate, UINT timeoutMs)
    : onActivate_(std::move(onActivate)), timeoutMs_(timeoutMs) {
    previous_ = tCurrentWatcher;
    tCurrentWatcher = this;
    hook_.reset(::SetWindowsHookExA(WH_CBT, &DialogWatcher::HookProc, nullptr, ::GetCurrentThreadId()));
}

DialogWatcher::~DialogWatcher() {
    hook_.reset();
    for (UINT_PTR id : timers_) CancelRun(id);
    tCurrentWatcher = previous_;
}

LRESULT CALLBACK DialogWatcher::HookProc(int code, WPARAM wParam, LPARAM lParam) {
    DialogWatcher* self = tCurrentWatcher;
    if (code == HCBT_ACTIVATE && self != nullptr) self->OnActivate(reinterpret_cast<HWND>(wParam));
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

void DialogWatcher::OnActivate(HWND hwnd) {
    if (ClassNameOf(hwnd) != "#32770") return;
    const bool known = std::any_of(seen_.begin(), seen_.end(), [hwnd](const DialogInfo& d) { return d.hwnd == hwnd; });
    if (known) return;
    seen_.push_back(Describe(hwnd));
    // A dialog nobody answers is cancelled, and counted, so the test ends.
    timers_.push_back(RunLater(timeoutMs_, [this, hwnd] {
        if (!::IsWindow(hwnd)) return;
        ++timedOut_;
        ::PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        ::PostMessageA(hwnd, WM_CLOSE, 0, 0);
    }));
    if (onActivate_) onActivate_(hwnd);
}

}  // namespace testsupport

namespace testsupport {

bool SelectInFolderBrowser(HWND dialog, const std::string& path) {
    ::SendMessageA(dialog, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(path.c_str()));
    HWND tree = FindChild(dialog, "SysTreeView32");
    if (tree == nullptr) return false;
    const auto caret = reinterpret_cast<HTREEITEM>(::SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
    if (caret == nullptr) return false;
    SHFILEINFOA info{};
    if (::SHGetFileInfoA(path.c_str(), 0, &info, sizeof info, SHGFI_DISPLAYNAME) == 0) return false;
    return TreeItemText(tree, caret) == info.szDisplayName;
}

std::string TreeItemText(HWND tree, HTREEITEM item) {
    char text[MAX_PATH + 1] = {};
    TVITEMA tv{};
    tv.mask = TVIF_TEXT;
    tv.hItem = item;
    tv.pszText = text;
    tv.cchTextMax = static_cast<int>(std::size(text));
    ::SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&tv));
    return text;
}

std::string FileDialogFolder(HWND dialog) {
    char path[MAX_PATH + 1] = {};
    ::SendMessageA(dialog, CDM_GETFOLDERPATH, std::size(path), reinterpret_cast<LPARAM>(path));
    return path;
}

HWND FileDialogNameEdit(HWND dialog) {
    constexpr int kFileNameBox = 0x47C;  // cmb13, or edt1 where the dialog has no combo box
    HWND box = FindChild(dialog, nullptr, kFileNameBox);
    if (box != nullptr && ClassNameOf(box) == "Edit") return box;
    return box != nullptr ? FindChild(box, "Edit") : nullptr;
}

}  // namespace testsupport
