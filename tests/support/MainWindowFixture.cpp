// The main window fixture shared by the tests of the window.
#include "MainWindowFixture.h"

#include <commctrl.h>

#include <iterator>

#include "TestSupport.h"
#include "app/MessageLoop.h"

namespace testsupport {

ListRow RowOf(HWND list, int index) {
    char text[1024] = {};
    LVITEMA item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE;
    item.iItem = index;
    item.pszText = text;
    item.cchTextMax = static_cast<int>(std::size(text));
    if (!::SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) return {"<no row>", -1};
    return {text, item.iImage};
}

bool Checked(HWND button) { return ::SendMessageA(button, BM_GETCHECK, 0, 0) == BST_CHECKED; }

void MainWindowFixture::SetUpTestSuite() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
}

void MainWindowFixture::SetUp() {
    DrainQuit();
    ASSERT_TRUE(form.Create());
}

void MainWindowFixture::TearDown() {
    if (::IsWindow(form.Handle())) ::DestroyWindow(form.Handle());
    DrainQuit();
}

void MainWindowFixture::Show(int how) {
    ::ShowWindow(form.Handle(), how);
    Pump();
}

bool MainWindowFixture::Pump() {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) return true;
        if (velquist::TranslateMainWindowMessage(form.Handle(), form.Accelerators(), &msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    return false;
}

void MainWindowFixture::Click(HWND control) { ::SendMessageA(control, BM_CLICK, 0, 0); }

void MainWindowFixture::Press(bool registerButton) { Click(registerButton ? form.Command5 : form.Command1); }

void MainWindowFixture::SetText(HWND box, const std::string& text) {
    ::SendMessageA(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void MainWindowFixture::SetChecked(HWND button, bool checked) {
    for (int i = 0; i < 3 && Checked(button) != checked; ++i) Click(button);
    ASSERT_EQ(Checked(button), checked);
}

void MainWindowFixture::SingleFile(const std::string& path) {
    Click(form.Option1);
    ASSERT_EQ(::SendMessageA(form.Option1, BM_GETCHECK, 0, 0), BST_CHECKED);
    SetText(form.Text1, path);
}

void MainWindowFixture::Directory(const std::string& path, bool subfolders) {
    Click(form.Option2);
    ASSERT_EQ(::SendMessageA(form.Option2, BM_GETCHECK, 0, 0), BST_CHECKED);
    ASSERT_EQ(::SendMessageA(form.Option1, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    SetText(form.Text2, path);
    SetChecked(form.Check1, subfolders);
}

}  // namespace testsupport
