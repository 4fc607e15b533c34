// The component file picker: the real file-open dialog, answered from the test thread.
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <cderr.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "DialogWatcher.h"
#include "PickerTestSupport.h"
#include "TestSupport.h"
#include "pickers/CommonDialogAPI.h"

namespace {

using namespace pickertest;
using testsupport::DialogWatcher;
using testsupport::FindChild;
using testsupport::WindowText;

constexpr int kFilterBox = 0x470;    // cmb1: "Files of type"
constexpr int kReadOnlyBox = 0x410;  // chx1

std::vector<std::string> ComboItems(HWND combo) {
    std::vector<std::string> items;
    const int count = static_cast<int>(::SendMessageA(combo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        std::string text(static_cast<size_t>(::SendMessageA(combo, CB_GETLBTEXTLEN, i, 0)) + 1, '\0');
        ::SendMessageA(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text.data()));
        items.push_back(text.c_str());
    }
    return items;
}

// The names the dialog lists in its current folder, sorted.
std::vector<std::string> ListedNames(HWND dialog) {
    std::vector<std::string> names;
    HWND list = FindChild(dialog, "SysListView32");
    const int count = list != nullptr ? static_cast<int>(::SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)) : 0;
    for (int i = 0; i < count; ++i) {
        char text[MAX_PATH + 1] = {};
        LVITEMA item{};
        item.iSubItem = 0;
        item.pszText = text;
        item.cchTextMax = static_cast<int>(std::size(text));
        ::SendMessageA(list, LVM_GETITEMTEXTA, i, reinterpret_cast<LPARAM>(&item));
        names.push_back(text);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Calls `answer` once the dialog shows a folder and its file list.
void WhenReady(HWND dialog, std::function<void(HWND)> answer) {
    testsupport::RunWhen([dialog] { return !testsupport::FileDialogFolder(dialog).empty() && FindChild(dialog, "SysListView32") != nullptr; },
                         [dialog, answer] { answer(dialog); });
}

void TypeAndOpen(HWND dialog, const std::string& name) {
    ::SetWindowTextA(testsupport::FileDialogNameEdit(dialog), name.c_str());
    testsupport::ClickButton(dialog, IDOK);
}

class FilePicker : public PickerTest {
protected:
    // Opens the dialog with the main window's arguments (unless given others) and lets `answer` act
    // on it once it is ready.
    std::string Run(std::function<void(HWND)> answer, const std::string& initialDir = kInitialDir,
                    const std::string& filter = kComponentFilter) {
        bool answered = false;
        DialogWatcher watcher([answer, &answered](HWND dialog) {
            WhenReady(dialog, [answer, &answered](HWND ready) {
                answered = true;
                answer(ready);
            });
        });
        std::string result = CommonDialogAPI::ShowOpenFileDialog(Owner(), filter, initialDir, kTitle);
        lastError_ = ::CommDlgExtendedError();
        dialogsSeen_ = watcher.Seen().size();
        EXPECT_EQ(watcher.TimedOut(), 0) << "the dialog was not answered";
        EXPECT_TRUE(answered) << "the dialog closed before the test could answer it";
        return result;
    }
    DWORD lastError_ = 0;
    size_t dialogsSeen_ = 0;
};

TEST_F(FilePicker, ConfirmedFileGivesExactlyItsFullPath) {
    testsupport::TempDir dir;
    const std::string file = dir / "Picked Control.ocx";
    ASSERT_TRUE(testsupport::WriteBytes(file, "MZ"));
    bool ownerDisabled = false;
    HWND seenOwner = nullptr;

    const std::string result = Run([&](HWND dialog) {
        ownerDisabled = !::IsWindowEnabled(Owner());
        seenOwner = ::GetWindow(dialog, GW_OWNER);
        TypeAndOpen(dialog, file);
    });

    EXPECT_EQ(result, file);
    EXPECT_EQ(result.find('\0'), std::string::npos);
    EXPECT_EQ(seenOwner, Owner());
    EXPECT_TRUE(ownerDisabled) << "the dialog is modal to its owner";
    EXPECT_TRUE(::IsWindowEnabled(Owner()));
}

TEST_F(FilePicker, CancelGivesEmptyAndTheNextOpeningStartsAfresh) {
    testsupport::TempDir dir;
    const std::string file = dir / "first.dll";
    ASSERT_TRUE(testsupport::WriteBytes(file, "MZ"));
    ASSERT_EQ(Run([&](HWND dialog) { TypeAndOpen(dialog, file); }), file);

    std::string nameField = "unread", folder;
    const std::string result = Run([&](HWND dialog) {
        nameField = WindowText(testsupport::FileDialogNameEdit(dialog));
        folder = testsupport::FileDialogFolder(dialog);
        testsupport::ClickButton(dialog, IDCANCEL);
    });

    EXPECT_EQ(result, "");
    EXPECT_EQ(lastError_, 0u) << "a cancel is not a failure";
    EXPECT_EQ(nameField, "");
    EXPECT_EQ(folder, "C:\\");
}

TEST_F(FilePicker, ClosingTheDialogGivesEmpty) {
    EXPECT_EQ(Run([](HWND dialog) { ::PostMessageA(dialog, WM_CLOSE, 0, 0); }), "");
}

TEST_F(FilePicker, OpensWithTheTitleFolderAndTheTwoFilters) {
    std::string caption, folder;
    std::vector<std::string> filters;
    int selected = -1;
    bool readOnlyShown = false;

    Run([&](HWND dialog) {
        caption = WindowText(dialog);
        folder = testsupport::FileDialogFolder(dialog);
        HWND filterBox = FindChild(dialog, "ComboBox", kFilterBox);
        filters = ComboItems(filterBox);
        selected = static_cast<int>(::SendMessageA(filterBox, CB_GETCURSEL, 0, 0));
        // No OFN_HIDEREADONLY: the read-only check box stays.
        HWND readOnly = FindChild(dialog, "Button", kReadOnlyBox);
        readOnlyShown = readOnly != nullptr && ::IsWindowVisible(readOnly);
        testsupport::ClickButton(dialog, IDCANCEL);
    });

    EXPECT_EQ(caption, "Select component");
    EXPECT_EQ(folder, "C:\\");
    EXPECT_EQ(filters, (std::vector<std::string>{"ActiveX Files (*.dll, *.ocx)", "All Files (*.*)"}));
    EXPECT_EQ(selected, 0);
    EXPECT_TRUE(readOnlyShown);
}

TEST_F(FilePicker, FilterPatternsSelectComponentsThenEverything) {
    // The patterns arrive intact: "*.DLL; *.ocx" matches either extension in any case, "*.*" all.
    testsupport::TempDir dir;
    for (const char* name : {"a.dll", "B.DLL", "c.ocx", "notes.txt"}) ASSERT_TRUE(testsupport::WriteBytes(dir / name, "x"));
    std::vector<std::string> first, second;

    Run(
        [&](HWND dialog) {
            first = ListedNames(dialog);
            HWND filterBox = FindChild(dialog, "ComboBox", kFilterBox);
            ::SendMessageA(filterBox, CB_SETCURSEL, 1, 0);
            // What a user's choice in the list sends.
            for (WORD notice : {CBN_SELCHANGE, CBN_SELENDOK})
                ::SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(kFilterBox, notice), reinterpret_cast<LPARAM>(filterBox));
            testsupport::RunWhen([dialog] { return ListedNames(dialog).size() == 4; },
                                 [dialog, &second] {
                                     second = ListedNames(dialog);
                                     testsupport::ClickButton(dialog, IDCANCEL);
                                 },
                                 3000);
        },
        dir.Path());

    EXPECT_EQ(first, (std::vector<std::string>{"B.DLL", "a.dll", "c.ocx"}));
    EXPECT_EQ(second, (std::vector<std::string>{"B.DLL", "a.dll", "c.ocx", "notes.txt"}));
}

TEST_F(FilePicker, FilterWithoutItsOwnLastNulIsStillEnded) {
    // A caller's list lacking the NUL after its last piece must not be read past its end.
    const std::string unended("All Files (*.*)\0*.*", 19);
    std::vector<std::string> filters;
    Run(
        [&](HWND dialog) {
            filters = ComboItems(FindChild(dialog, "ComboBox", kFilterBox));
            testsupport::ClickButton(dialog, IDCANCEL);
        },
        kInitialDir, unended);
    EXPECT_EQ(filters, (std::vector<std::string>{"All Files (*.*)"}));
}

TEST_F(FilePicker, TypedNameOfAMissingFileComesBackAsFullPath) {
    EXPECT_EQ(Run([](HWND dialog) { TypeAndOpen(dialog, "missing control.ocx"); }), "C:\\missing control.ocx");
    EXPECT_EQ(dialogsSeen_, 1u) << "no message about the missing file";

    testsupport::TempDir dir;
    const std::string missing = dir / "not there.dll";
    EXPECT_EQ(Run([&](HWND dialog) { TypeAndOpen(dialog, missing); }), missing);
}

TEST_F(FilePicker, PathOf256CharactersOrMoreGivesEmpty) {
    testsupport::TempDir dir;
    auto pathOfLength = [&](size_t length) {
        std::string path = dir.Path() + "\\";
        return path + std::string(length - path.size(), 'n');
    };
    // 255 characters and the NUL fill the 256 the buffer offers.
    const std::string fits = pathOfLength(255);
    EXPECT_EQ(Run([&](HWND dialog) { TypeAndOpen(dialog, fits); }), fits);

    // Up to MAX_PATH less its NUL only: Wine's dialog (8.0) stops answering when a typed path is longer
    // than MAX_PATH, before it returns to its caller.
    for (size_t length : {256u, 259u}) {
        const std::string tooLong = pathOfLength(length);
        EXPECT_EQ(Run([&](HWND dialog) { TypeAndOpen(dialog, tooLong); }), "") << length;
        EXPECT_EQ(lastError_, static_cast<DWORD>(FNERR_BUFFERTOOSMALL)) << length;
    }
}

}  // namespace
