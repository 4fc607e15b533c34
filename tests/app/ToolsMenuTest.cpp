// The window's Tools menu run on real components: a check's lines and icons, and an export that asks
// for its file with the real save dialog, answered from the test thread.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "DialogWatcher.h"
#include "MainWindowFixture.h"
#include "TestComponents.h"
#include "TestSupport.h"
#include "resource.h"
#include "windows/InstallDialog.h"
#include "win32/Handles.h"

namespace {

using testsupport::ComponentPath;
using testsupport::DialogInfo;
using testsupport::WindowText;

// The images of ImageList1 a line can show, counted from 0.
constexpr int kSuccessImage = 0;
constexpr int kProgramImage = 2;
constexpr int kWarningImage = 3;

class ToolsMenu : public testsupport::MainWindowFixture {
protected:
    void SetUp() override {
        testsupport::ForgetClass(VELQUIST_COMSERVER_CLSID);
        ASSERT_TRUE(SUCCEEDED(com_.Result()));
        ASSERT_NO_FATAL_FAILURE(MainWindowFixture::SetUp());
        ASSERT_TRUE(testsupport::CopyTo(ComponentPath(VELQUIST_COMSERVER_DLL), component));
        SingleFile(component);
    }
    void TearDown() override {
        MainWindowFixture::TearDown();
        testsupport::ForgetClass(VELQUIST_COMSERVER_CLSID);
    }

    void Choose(int command) { ::SendMessageA(form.Handle(), WM_COMMAND, MAKEWPARAM(command, 0), 0); }

    std::vector<testsupport::ListRow> Rows() {
        std::vector<testsupport::ListRow> rows;
        const int count = static_cast<int>(::SendMessageA(form.ListView1, LVM_GETITEMCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) rows.push_back(testsupport::RowOf(form.ListView1, i));
        return rows;
    }

    win32::ComScope com_{COINIT_APARTMENTTHREADED};
    testsupport::TempDir dir;
    const std::string component = dir / "a b.dll";
};

TEST_F(ToolsMenu, CheckTellsWhetherTheComponentIsRegisteredHere) {
    struct Case {
        bool registerFirst;
        std::string line;
        int image;
    };
    const Case cases[] = {
        {false, "Not registered : " + component, kWarningImage},
        {true, "Registered here : " + component, kSuccessImage},
    };
    for (const Case& c : cases) {
        if (c.registerFirst) Press(true);
        Choose(IDM_CHECK);
        const auto rows = Rows();
        ASSERT_EQ(rows.size(), 2u) << c.line;
        EXPECT_EQ(rows[0].text, c.line);
        EXPECT_EQ(rows[0].image, c.image) << c.line;
        EXPECT_EQ(rows[1].text, "Check completed");
        EXPECT_EQ(rows[1].image, kProgramImage);
    }
}

// A folder's check with both lanes held by hung components: Esc still reaches the window, stops both
// at once, and the check closes as stopped after the first file's line, trying nothing more.
TEST_F(ToolsMenu, AFolderCheckStopsAtOnceOnEscWithBothLanesBusy) {
    testsupport::TempDir folder;
    ASSERT_TRUE(testsupport::CopyTo(ComponentPath(VELQUIST_BLOCKING_DLL), folder / "a.dll"));
    ASSERT_TRUE(testsupport::CopyTo(ComponentPath(VELQUIST_BLOCKING_DLL), folder / "b.dll"));
    ASSERT_TRUE(testsupport::CopyTo(ComponentPath(VELQUIST_COMSERVER_DLL), folder / "c.dll"));
    Directory(folder.Path(), false);
    // Late enough for both lanes to be inside the hung entry points (the guard's first reading of the
    // Interface keys comes before them); the stop then saves the rest of their ten seconds.
    std::thread asker([&] {
        ::Sleep(3000);
        ::PostMessageA(form.ListView1, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    });
    const ULONGLONG start = ::GetTickCount64();
    Choose(IDM_CHECK);
    const ULONGLONG elapsed = ::GetTickCount64() - start;
    asker.join();
    EXPECT_LT(elapsed, 7000u);
    const auto rows = Rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].text, "Failed : " + (folder / "a.dll"));
    EXPECT_EQ(rows[1].text, "Check stopped");
}

// A component registered here whose DLL makes none of its classes (no DllGetClassObject): it does
// not work, under the warning icon.
TEST_F(ToolsMenu, TestSaysWhetherItsClassesAreMade) {
    Press(true);
    Choose(IDM_TEST);
    const auto rows = Rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].text, "Does not work : " + component);
    EXPECT_EQ(rows[0].image, kWarningImage);
    EXPECT_EQ(rows[1].text, "Test completed");
    EXPECT_EQ(rows[1].image, kProgramImage);
}

// Each export asks for its file once; Cancel writes nothing and leaves the last run's lines, a file
// typed into the dialog is written and the list shows the export.
TEST_F(ToolsMenu, ExportsAskForTheirFileWithTheSaveDialog) {
    struct Case {
        int command;
        std::string title, defaultName, file;
    };
    const Case cases[] = {
        {IDM_EXPORT, "Export registration", "Velquist registration.reg", "registration.reg"},
        {IDM_REMOVAL, "Export removal", "Velquist removal.reg", "removal.reg"},
        // A manifest is named after the components' folder, and saved in it.
        {IDM_MANIFEST, "Export manifest", ".components.manifest", "App.Controls.manifest"},
    };
    Show(SW_SHOWNOACTIVATE);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        Choose(IDM_CHECK);
        const auto before = Rows();
        ASSERT_EQ(before.size(), 2u);
        const std::string target = dir / c.file;
        for (const bool confirm : {false, true}) {
            std::string nameField = "<unread>";
            bool answered = false;
            testsupport::DialogWatcher watcher([&](HWND dialog) {
                testsupport::RunWhen(
                    [dialog] { return testsupport::FileDialogNameEdit(dialog) != nullptr &&
                                      testsupport::FindChild(dialog, "SysListView32") != nullptr; },
                    [&, dialog] {
                        answered = true;
                        nameField = WindowText(testsupport::FileDialogNameEdit(dialog));
                        if (confirm) ::SetWindowTextA(testsupport::FileDialogNameEdit(dialog), target.c_str());
                        testsupport::ClickButton(dialog, confirm ? IDOK : IDCANCEL);
                    });
            });
            Choose(c.command);
            EXPECT_TRUE(answered);
            ASSERT_EQ(watcher.Seen().size(), 1u) << "one dialog, and no message after it";
            EXPECT_EQ(watcher.Seen()[0].caption, c.title);
            EXPECT_NE(nameField.find(c.defaultName), std::string::npos) << nameField;
            const auto rows = Rows();
            if (!confirm) {
                EXPECT_EQ(::GetFileAttributesA(target.c_str()), INVALID_FILE_ATTRIBUTES);
                ASSERT_EQ(rows.size(), before.size());
                for (size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rows[i].text, before[i].text);
            } else {
                EXPECT_NE(::GetFileAttributesA(target.c_str()), INVALID_FILE_ATTRIBUTES);
                ASSERT_EQ(rows.size(), 2u);
                EXPECT_EQ(rows[0].text, "Exported : " + component);
                EXPECT_EQ(rows[0].image, kSuccessImage);
                EXPECT_EQ(rows[1].text, "Export completed");
            }
        }
    }
}

// Find broken registrations reads the machine, not the path boxes: a component registered and then
// deleted is named, though Text1 names no file at all.
TEST_F(ToolsMenu, FindBrokenRegistrationsNamesADeletedComponentWhateverThePathBoxesSay) {
    Press(true);
    ASSERT_TRUE(::DeleteFileA(component.c_str()));
    SingleFile(dir / "nowhere.dll");
    Choose(IDM_SCAN);
    const auto rows = Rows();
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows.back().text, "Scan completed");
    int named = 0;
    for (const auto& row : rows) {
        if (::lstrcmpiA(row.text.c_str(), ("Missing : " + component).c_str()) != 0) continue;
        ++named;
        EXPECT_EQ(row.image, kWarningImage);
    }
    EXPECT_EQ(named, 1);
}

// Remove broken registrations asks once, naming what it will remove; No leaves everything; Yes asks for
// the backup's file, writes it, and only then removes. The backup imported puts the prefix back.
TEST_F(ToolsMenu, RemoveBrokenRegistrationsAsksOnceThenForItsBackup) {
    Press(true);
    ASSERT_TRUE(::DeleteFileA(component.c_str()));
    const std::string backup = dir / "backup.reg";
    Show(SW_SHOWNOACTIVATE);
    for (const bool yes : {false, true}) {
        SCOPED_TRACE(yes ? "yes" : "no");
        std::string question, nameField;
        testsupport::DialogWatcher watcher([&](HWND dialog) {
            if (WindowText(dialog) == "Velquist!") {
                for (const auto& child : testsupport::Children(dialog)) {
                    if (child.text.find("Remove ") == 0) question = child.text;
                }
                testsupport::ClickButton(dialog, yes ? IDYES : IDNO);
                return;
            }
            testsupport::RunWhen([dialog] { return testsupport::FileDialogNameEdit(dialog) != nullptr; },
                                 [&, dialog] {
                                     nameField = WindowText(testsupport::FileDialogNameEdit(dialog));
                                     ::SetWindowTextA(testsupport::FileDialogNameEdit(dialog), backup.c_str());
                                     testsupport::ClickButton(dialog, IDOK);
                                 });
        });
        Choose(IDM_CLEAN);
        ASSERT_EQ(watcher.Seen().size(), yes ? 2u : 1u);
        EXPECT_NE(question.find(" that point at "), std::string::npos) << question;
        EXPECT_TRUE(question.ends_with("A backup that puts them back is written first.")) << question;
        EXPECT_EQ(testsupport::RegisteredServer(VELQUIST_COMSERVER_CLSID).empty(), yes);
        if (!yes) continue;
        EXPECT_EQ(watcher.Seen()[1].caption, "Back up the registrations to remove");
        EXPECT_NE(nameField.find("Velquist backup "), std::string::npos) << nameField;
        int removed = 0;
        for (const auto& row : Rows()) removed += ::lstrcmpiA(row.text.c_str(), ("Removed : " + component).c_str()) == 0;
        EXPECT_EQ(removed, 1);
        EXPECT_EQ(Rows().back().text, "Clean completed");
    }
    const testsupport::ProcessOutcome imported = testsupport::RunProcess(
        ::getenv("SystemRoot") + std::string(sizeof(void*) == 4 ? "\\Sysnative\\reg.exe" : "\\system32\\reg.exe"),
        "import \"" + backup + "\"", 30000);
    EXPECT_EQ(imported.exitCode, 0u);
    EXPECT_FALSE(testsupport::RegisteredServer(VELQUIST_COMSERVER_CLSID).empty());
}

}  // namespace

namespace {

// Tools > Call DllInstall...: its dialog's settings decide the calls; they are kept for the next time
// it opens; Esc cancels, Enter installs; the window is usable again afterwards.
TEST_F(ToolsMenu, CallDllInstallCallsWhatItsDialogSaysAndKeepsItsSettings) {
    const std::string installer = dir / "inst.dll";
    ASSERT_TRUE(testsupport::CopyTo(ComponentPath(VELQUIST_INSTALLER_DLL), installer));
    SingleFile(installer);
    testsupport::DeleteTree(HKEY_CURRENT_USER, VELQUIST_INSTALLER_KEY);
    const auto dialog = [] { return ::FindWindowA(velquist::kInstallDialogClass, nullptr); };
    struct Round {
        std::function<void(HWND)> answer;
        std::string shownText;  // what the dialog shows as it opens
        bool shownChecked;
        std::string firstRow;
        std::string calls;
    };
    const auto press = [](int key) {
        return [key](HWND box) { ::PostMessageA(::GetDlgItem(box, velquist::InstallIds::Text1), WM_KEYDOWN, key, 0); };
    };
    const Round rounds[] = {
        {[](HWND box) {
             ::SetWindowTextA(::GetDlgItem(box, velquist::InstallIds::Text1), "user");
             ::SendMessageA(::GetDlgItem(box, velquist::InstallIds::Check1), BM_SETCHECK, BST_UNCHECKED, 0);
             testsupport::ClickButton(box, velquist::InstallIds::Command2);
         },
         "", true, "Uninstalled : " + installer, "install(FALSE,\"user\")@1"},
        {press(VK_ESCAPE), "user", false, "Uninstalled : " + installer, "install(FALSE,\"user\")@1"},
        {[&](HWND box) {
             ::SendMessageA(::GetDlgItem(box, velquist::InstallIds::Check1), BM_SETCHECK, BST_CHECKED, 0);
             press(VK_RETURN)(box);
         },
         "user", false, "Registered : " + installer,
         "install(FALSE,\"user\")@1; register@1; install(TRUE,\"user\")@2"},
    };
    for (const Round& round : rounds) {
        std::string shownText = "<no dialog>";
        bool shownChecked = false;
        testsupport::RunWhen([&] { return dialog() != nullptr; },
                             [&] {
                                 HWND box = dialog();
                                 shownText = WindowText(::GetDlgItem(box, velquist::InstallIds::Text1));
                                 shownChecked = ::SendMessageA(::GetDlgItem(box, velquist::InstallIds::Check1),
                                                               BM_GETCHECK, 0, 0) == BST_CHECKED;
                                 EXPECT_FALSE(::IsWindowEnabled(form.Handle()));  // modal
                                 round.answer(box);
                             });
        Choose(IDM_DLLINSTALL);
        EXPECT_EQ(dialog(), nullptr) << round.firstRow;
        EXPECT_TRUE(::IsWindowEnabled(form.Handle()));
        EXPECT_EQ(shownText, round.shownText);
        EXPECT_EQ(shownChecked, round.shownChecked) << round.firstRow;
        const auto rows = Rows();
        ASSERT_FALSE(rows.empty()) << round.firstRow;
        EXPECT_EQ(rows[0].text, round.firstRow);
        EXPECT_EQ(testsupport::StringValue(HKEY_CURRENT_USER, VELQUIST_INSTALLER_KEY, "inst.dll"), round.calls);
    }
    testsupport::DeleteTree(HKEY_CURRENT_USER, VELQUIST_INSTALLER_KEY);
}

}  // namespace
