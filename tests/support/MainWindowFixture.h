// The real main window, created hidden for each test, with the steps tests take on its controls.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "TestSupport.h"
#include "app/Elevation.h"
#include "window/velquistform.h"

namespace testsupport {

// A row of a list view as a user sees it: its text and the index of its image.
struct ListRow {
    std::string text;
    int image = -1;
};
// The row at `index` ("<no row>" and image -1 where there is none).
ListRow RowOf(HWND list, int index);

// Whether a button is checked (BST_CHECKED).
bool Checked(HWND button);

// The main window with the build's runners, created (hidden: showing a window costs Wine seconds)
// before each test and destroyed after it, its WM_QUIT not left for the next test.
class MainWindowFixture : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    void SetUp() override;
    void TearDown() override;

    // Shows the window and handles what that queued.
    void Show(int how = SW_SHOW);
    // Handles what is queued as the program's own loop would; true when that met WM_QUIT (taken).
    bool Pump();

    void Click(HWND control);
    // Presses Velquist! (register) or Un-Velquist!.
    void Press(bool registerButton);
    void SetText(HWND box, const std::string& text);
    // Clicks the check box until its state is `checked`.
    void SetChecked(HWND button, bool checked);
    // Selects single-file mode with Text1 = path.
    void SingleFile(const std::string& path);
    // Selects directory mode with Text2 = path and Check1 = subfolders.
    void Directory(const std::string& path, bool subfolders);

    velquist::velquistform form{velquist::SystemElevation(), BuildRunners()};
};

}  // namespace testsupport
