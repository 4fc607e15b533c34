// The directory picker: the shell's real folder browser, answered from the test thread.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <shellapi.h>

#include <functional>
#include <string>

#include "DialogWatcher.h"
#include "PickerTestSupport.h"
#include "TestSupport.h"
#include "pickers/CommonDialogAPI.h"
#include "win32/Handles.h"

namespace {

using namespace pickertest;
using testsupport::DialogWatcher;
using testsupport::FindChild;
using testsupport::WindowText;

constexpr int kPromptId = 0x3742;  // the static text above the tree

HWND Tree(HWND dialog) { return FindChild(dialog, "SysTreeView32"); }

// The shell's own name for a special folder, as the browser shows it.
std::string DisplayNameOf(int csidl) {
    PIDLIST_ABSOLUTE raw = nullptr;
    if (FAILED(::SHGetSpecialFolderLocation(nullptr, csidl, &raw))) return {};
    const win32::unique_cotaskmem<ITEMIDLIST> list(raw);
    SHFILEINFOA info{};
    ::SHGetFileInfoA(reinterpret_cast<LPCSTR>(list.get()), 0, &info, sizeof info, SHGFI_PIDL | SHGFI_DISPLAYNAME);
    return info.szDisplayName;
}

// Calls `answer` once the browser shows its tree with a selection.
void WhenReady(HWND dialog, std::function<void(HWND)> answer) {
    testsupport::RunWhen(
        [dialog] {
            HWND tree = Tree(dialog);
            return tree != nullptr && ::SendMessageA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0) != 0;
        },
        [dialog, answer] { answer(dialog); });
}

// Selects a folder in the tree by path, as a browse callback would, and presses `button` once the
// tree shows it selected.
void SelectPathAndPress(HWND dialog, const std::string& path, int button) {
    testsupport::RunWhen([dialog, path] { return testsupport::SelectInFolderBrowser(dialog, path); },
                         [dialog, button] { testsupport::ClickButton(dialog, button); });
}

class FolderPicker : public PickerTest {
protected:
    std::string Run(std::function<void(HWND)> answer, const std::string& prompt = kPrompt) {
        bool answered = false;
        DialogWatcher watcher([answer, &answered](HWND dialog) {
            WhenReady(dialog, [answer, &answered](HWND ready) {
                answered = true;
                answer(ready);
            });
        });
        std::string result = pickers::BrowseForFolder(Owner(), prompt);
        dialogsSeen_ = watcher.Seen().size();
        EXPECT_EQ(watcher.TimedOut(), 0) << "the browser was not answered";
        EXPECT_TRUE(answered) << "the browser closed before the test could answer it";
        return result;
    }
    size_t dialogsSeen_ = 0;
};

TEST_F(FolderPicker, ConfirmedFolderGivesItsFullPath) {
    testsupport::TempDir dir;
    const std::string folder = dir / "Controls folder";
    ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
    HWND seenOwner = nullptr;
    bool ownerDisabled = false;

    const std::string result = Run([&](HWND dialog) {
        seenOwner = ::GetWindow(dialog, GW_OWNER);
        ownerDisabled = !::IsWindowEnabled(Owner());
        SelectPathAndPress(dialog, folder, IDOK);
    });

    EXPECT_EQ(result, folder);
    EXPECT_EQ(result.find('\0'), std::string::npos);
    EXPECT_EQ(dialogsSeen_, 1u);
    EXPECT_EQ(seenOwner, Owner());
    EXPECT_TRUE(ownerDisabled) << "the browser is modal to its owner";
    EXPECT_TRUE(::IsWindowEnabled(Owner()));
}

TEST_F(FolderPicker, ADriveRootKeepsItsSeparator) {
    // The path is the shell's, unchanged: "C:\" for the drive itself.
    EXPECT_EQ(Run([](HWND dialog) {
SelectPathAndPress(dialog, "C:\\", IDOK);
              }),
              "C:\\");
}

TEST_F(FolderPicker, CancelOrCloseGivesEmpty) {
    testsupport::TempDir dir;
    EXPECT_EQ(Run([&](HWND dialog) {
SelectPathAndPress(dialog, dir.Path(), IDCANCEL);
              }),
              "");
    EXPECT_EQ(Run([](HWND dialog) { ::PostMessageA(dialog, WM_CLOSE, 0, 0); }), "");
}

TEST_F(FolderPicker, ShowsThePromptAboveATreeRootedAtTheDesktop) {
    std::string prompt, root;
    bool promptAboveTree = false;
    int rootCount = 0;

    Run([&](HWND dialog) {
        HWND label = FindChild(dialog, "Static", kPromptId);
        if (label == nullptr) label = testsupport::FindChildByText(dialog, "Static", kPrompt);
        prompt = WindowText(label);
        HWND tree = Tree(dialog);
        RECT labelRect{}, treeRect{};
        ::GetWindowRect(label, &labelRect);
        ::GetWindowRect(tree, &treeRect);
        promptAboveTree = labelRect.bottom <= treeRect.top;
        for (auto item = reinterpret_cast<HTREEITEM>(::SendMessageA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
             item != nullptr;
             item = reinterpret_cast<HTREEITEM>(::SendMessageA(tree, TVM_GETNEXTITEM, TVGN_NEXT,
                                                               reinterpret_cast<LPARAM>(item)))) {
            if (rootCount++ == 0) root = testsupport::TreeItemText(tree, item);
        }
        testsupport::ClickButton(dialog, IDCANCEL);
    });

    EXPECT_EQ(prompt, "Select directory containing ActiveX controls");
    EXPECT_TRUE(promptAboveTree);
    EXPECT_EQ(rootCount, 1) << "one root";
    EXPECT_FALSE(root.empty());
    EXPECT_EQ(root, DisplayNameOf(CSIDL_DESKTOP));
}

TEST_F(FolderPicker, AnItemWithoutAFileSystemPathGivesEmpty) {
    // "My Computer" is no folder on disk: the browser keeps OK disabled for it; confirmed anyway (as a
    // keyboard shortcut or an older shell might), its path cannot be read and the answer is "".
    bool okEnabled = true;
    const std::string result = Run([&](HWND dialog) {
        PIDLIST_ABSOLUTE raw = nullptr;
        ASSERT_TRUE(SUCCEEDED(::SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &raw)));
        const win32::unique_cotaskmem<ITEMIDLIST> computer(raw);
        ::SendMessageA(dialog, BFFM_SETSELECTIONA, FALSE, reinterpret_cast<LPARAM>(computer.get()));
        okEnabled = ::IsWindowEnabled(::GetDlgItem(dialog, IDOK)) != FALSE;
        ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    });
    EXPECT_FALSE(okEnabled);
    EXPECT_EQ(result, "");
}

TEST_F(FolderPicker, AnyPromptIsShownAsGiven) {
    const std::string prompt = "Pick one  folder:  trailing blanks  ";
    std::string shown;
    Run(
        [&](HWND dialog) {
            shown = WindowText(testsupport::FindChildByText(dialog, "Static", prompt));
            testsupport::ClickButton(dialog, IDCANCEL);
        },
        prompt);
    EXPECT_EQ(shown, prompt);
}

}  // namespace
