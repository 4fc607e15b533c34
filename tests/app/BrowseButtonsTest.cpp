// The two "..." buttons of the real main window: the real file-open dialog and folder browser they
// open, answered from the test thread, and what lands in the path boxes.
#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>
#include <commdlg.h>
#include <shlobj.h>

#include <functional>
#include <string>

#include "DialogWatcher.h"
#include "MainWindowFixture.h"
#include "TestSupport.h"
#include "win32/Handles.h"

namespace {

using testsupport::DialogWatcher;
using testsupport::FindChild;
using testsupport::TempDir;
using testsupport::WindowText;

constexpr int kFilterBox = 0x470;    // cmb1: "Files of type"

bool IsFileDialogReady(HWND dialog) {
    return !testsupport::FileDialogFolder(dialog).empty() && FindChild(dialog, "SysListView32") != nullptr;
}

bool IsFolderBrowserReady(HWND dialog) {
    HWND tree = FindChild(dialog, "SysTreeView32");
    return tree != nullptr && ::SendMessageA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0) != 0;
}

class BrowseButtons : public testsupport::MainWindowFixture {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(com_.Result()));
        ASSERT_NO_FATAL_FAILURE(MainWindowFixture::SetUp());
        Show(SW_SHOWNOACTIVATE);
    }

    // Presses `button`; the dialog it opens is answered by `answer` once `ready` holds for it.
    void PressAndAnswer(HWND button, std::function<bool(HWND)> ready, std::function<void(HWND)> answer) {
        bool answered = false;
        DialogWatcher watcher([this, ready, answer, &answered](HWND dialog) {
            lastOwner_ = ::GetWindow(dialog, GW_OWNER);
            testsupport::RunWhen([dialog, ready] { return ready(dialog); },
                                 [dialog, answer, &answered] {
                                     answered = true;
                                     answer(dialog);
                                 });
        });
        Click(button);
        EXPECT_EQ(watcher.TimedOut(), 0) << "the dialog was not answered";
        EXPECT_TRUE(answered) << "the dialog closed before the test could answer it";
        seen_ += watcher.Seen().size();
    }
    void PickFile(std::function<void(HWND)> answer) {
        Click(form.Option1);
        PressAndAnswer(form.Command3, IsFileDialogReady, answer);
    }
    void PickFolder(std::function<void(HWND)> answer) {
        Click(form.Option2);
        PressAndAnswer(form.Command4, IsFolderBrowserReady, answer);
    }

    // The pickers are the shell's, in a single-threaded apartment.
    win32::ComScope com_{COINIT_APARTMENTTHREADED};
    size_t seen_ = 0;
    HWND lastOwner_ = nullptr;
};

TEST_F(BrowseButtons, AConfirmedFileReplacesTheTypedPath) {
    TempDir dir;
    const std::string file = dir / "My Control.ocx";
    ASSERT_TRUE(testsupport::WriteBytes(file, "MZ"));
    SetText(form.Text1, "C:\\typed\\before.dll");
    std::string title, folder, nameField = "unread";
    int filter = -1;

    PickFile([&](HWND dialog) {
        title = WindowText(dialog);
        folder = testsupport::FileDialogFolder(dialog);
        nameField = WindowText(testsupport::FileDialogNameEdit(dialog));
        filter = static_cast<int>(::SendMessageA(FindChild(dialog, "ComboBox", kFilterBox), CB_GETCURSEL, 0, 0));
        ::SetWindowTextA(testsupport::FileDialogNameEdit(dialog), file.c_str());
        testsupport::ClickButton(dialog, IDOK);
    });

    EXPECT_EQ(WindowText(form.Text1), file);
    EXPECT_EQ(title, "Select component");
    EXPECT_EQ(folder, "C:\\");
    EXPECT_EQ(nameField, "") << "the file-name field starts empty";
    EXPECT_EQ(filter, 0);
    EXPECT_EQ(lastOwner_, form.Handle());
}

TEST_F(BrowseButtons, CancellingTheFileDialogEmptiesTheBox) {
    SetText(form.Text1, "C:\\typed\\before.dll");
    PickFile([](HWND dialog) { testsupport::ClickButton(dialog, IDCANCEL); });
    EXPECT_EQ(WindowText(form.Text1), "");
    EXPECT_EQ(seen_, 1u) << "no message follows a cancel";
}

TEST_F(BrowseButtons, ATypedMissingFileLandsInTheBoxAndTheRunSaysNoFileSelected) {
    TempDir dir;
    const std::string missing = dir / "gone.ocx";
    PickFile([&](HWND dialog) {
        ::SetWindowTextA(testsupport::FileDialogNameEdit(dialog), missing.c_str());
        testsupport::ClickButton(dialog, IDOK);
    });
    ASSERT_EQ(WindowText(form.Text1), missing);

    std::string message;
    {
        DialogWatcher watcher([&](HWND box) {
            message = WindowText(FindChild(box, "Static", 0xFFFF));
            testsupport::ClickButton(box, IDOK);
        });
        Press(true);
        ASSERT_EQ(watcher.Seen().size(), 1u);
        EXPECT_EQ(watcher.Seen()[0].caption, "Velquist!");
    }
    EXPECT_EQ(message, "No file selected");
    EXPECT_EQ(::SendMessageA(form.ListView1, LVM_GETITEMCOUNT, 0, 0), 0);
}

TEST_F(BrowseButtons, AConfirmedFolderReplacesTheDirectoryBox) {
    TempDir dir;
    const std::string folder = dir / "controls";
    ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
    SetText(form.Text2, "C:\\typed");
    std::string prompt;

    PickFolder([&](HWND dialog) {
        prompt = WindowText(testsupport::FindChildByText(dialog, "Static",
                                                         "Select directory containing ActiveX controls"));
        testsupport::RunWhen([dialog, folder] { return testsupport::SelectInFolderBrowser(dialog, folder); },
                             [dialog] { testsupport::ClickButton(dialog, IDOK); });
    });

    EXPECT_EQ(WindowText(form.Text2), folder);
    EXPECT_EQ(prompt, "Select directory containing ActiveX controls");
    EXPECT_EQ(lastOwner_, form.Handle());
}

TEST_F(BrowseButtons, CancellingTheFolderBrowserKeepsTheBoxAsItWas) {
    TempDir dir;
    for (const std::string& before : {std::string(), std::string("C:\\typed  path  ")}) {
        SetText(form.Text2, before);
        PickFolder([&](HWND dialog) {
            testsupport::RunWhen([dialog, &dir] { return testsupport::SelectInFolderBrowser(dialog, dir.Path()); },
                                 [dialog] { testsupport::ClickButton(dialog, IDCANCEL); });
        });
        EXPECT_EQ(WindowText(form.Text2), before);
    }
    EXPECT_EQ(seen_, 2u) << "no message follows a cancel";
}

}  // namespace
