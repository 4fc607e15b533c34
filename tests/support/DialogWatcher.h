// Catches the modal windows a test opens on its own thread (message boxes, common dialogs) and
// answers them: a thread-local WH_CBT hook sees each dialog as it is activated.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

#include "win32/Handles.h"

namespace testsupport {

struct ChildInfo {
    HWND hwnd = nullptr;
    int id = 0;
    std::string className;
    std::string text;
    LONG style = 0;
};

struct DialogInfo {
    HWND hwnd = nullptr;
    std::string className;
    std::string caption;
    std::vector<ChildInfo> children;  // every descendant, in z-order, as at activation
};

// Reads a window's text and class.
std::string WindowText(HWND hwnd);
std::string ClassNameOf(HWND hwnd);
// Every descendant of a window with its id, class, text and style.
std::vector<ChildInfo> Children(HWND parent);
DialogInfo Describe(HWND dialog);
// The first descendant with this class (case-insensitive; nullptr: any class) and, when id >= 0,
// this control id; nullptr when there is none.
HWND FindChild(HWND parent, const char* className, int id = -1);
// The first descendant with this class whose text is exactly `text`.
HWND FindChildByText(HWND parent, const char* className, const std::string& text);
// Presses the dialog's button `id` as a user would (BM_CLICK, posted so the press runs in the
// dialog's own loop); without such a button, posts WM_COMMAND(id) to the dialog (IDOK, IDCANCEL).
void ClickButton(HWND dialog, int id);
// The icon a static control shows (SS_ICON), or nullptr.
HICON StaticIcon(HWND control);
// The file-open dialog's current folder (CDM_GETFOLDERPATH), and its file-name field (the edit
// control itself, also where the field is a combo box).
std::string FileDialogFolder(HWND dialog);
HWND FileDialogNameEdit(HWND dialog);
// The text of one item of a tree view.
std::string TreeItemText(HWND tree, HTREEITEM item);
// Asks the shell's folder browser to select `path` (BFFM_SETSELECTION) and tells whether its tree now
// shows that folder selected. A browser still filling its tree may not follow yet: callers poll.
bool SelectInFolderBrowser(HWND dialog, const std::string& path);

// Runs `action` once, `delayMs` later, from the thread's message loop (the modal loop of whatever
// dialog is open then). Thread timers need no window, so this works before the dialog exists.
UINT_PTR RunLater(UINT delayMs, std::function<void()> action);
// Drops a RunLater action that has not run yet.
void CancelRun(UINT_PTR id);
// Polls every `periodMs` until `ready()` holds, then runs `action`; gives up after `timeoutMs`.
void RunWhen(std::function<bool()> ready, std::function<void()> action, UINT timeoutMs = 10000,
             UINT periodMs = 50);

// While alive, records every dialog-class ("#32770") window activated on this thread and calls
// `onActivate` once for each new one. A dialog still open `timeoutMs` after its activation is
// cancelled, so a test that fails to answer it fails instead of hanging. One watcher per thread.
class DialogWatcher {
public:
    using Action = std::function<void(HWND)>;

    explicit DialogWatcher(Action onActivate = {}, UINT timeoutMs = 20000);
    ~DialogWatcher();
    DialogWatcher(const DialogWatcher&) = delete;
    DialogWatcher& operator=(const DialogWatcher&) = delete;

    void SetAction(Action onActivate) { onActivate_ = std::move(onActivate); }
    const std::vector<DialogInfo>& Seen() const { return seen_; }
    // Dialogs the watcher had to cancel itself.
    int TimedOut() const { return timedOut_; }

private:
    static LRESULT CALLBACK HookProc(int code, WPARAM wParam, LPARAM lParam);
    void OnActivate(HWND hwnd);

    Action onActivate_;
    UINT timeoutMs_;
    std::vector<DialogInfo> seen_;
    int timedOut_ = 0;
    win32::unique_hhook hook_;
    DialogWatcher* previous_ = nullptr;
    std::vector<UINT_PTR> timers_;
};

}  // namespace testsupport
