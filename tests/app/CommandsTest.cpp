// The register and un-register buttons of the real main window, pressed as a user would, with real
// components, the real registry and the real message boxes.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <cstring>
#include <regex>
#include <functional>
#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "CallRecorder.h"
#include "DialogWatcher.h"
#include "MainWindowFixture.h"
#include "TestComponents.h"
#include "TestSupport.h"
#include "tasks/Commands.h"
#include "app/Elevation.h"
#include "app/MessageLoop.h"
#include "window/MainMenus.h"
#include "resource.h"
#include "results/Report.h"

namespace {

using testsupport::CallRecorder;
using testsupport::ComponentPath;
using testsupport::CopyTo;
using testsupport::MakeDirs;
using testsupport::TempDir;
using testsupport::ForgetClass;
using testsupport::RegisteredServer;

struct Line {
    std::string key, text;
    int icon;
    bool operator==(const Line&) const = default;
};

void PrintTo(const Line& line, std::ostream* os) { *os << "{" << line.key << ", \"" << line.text << "\", " << line.icon << "}"; }

// Message boxes are answered with `answer` (OK) and kept.
class Commands : public testsupport::MainWindowFixture {
protected:
    void SetUp() override {
        ForgetClass(VELQUIST_COMSERVER_CLSID);
        ForgetClass(VELQUIST_COMSERVER2_CLSID);
        MainWindowFixture::SetUp();
    }
    void TearDown() override {
        MainWindowFixture::TearDown();
        ForgetClass(VELQUIST_COMSERVER_CLSID);
        ForgetClass(VELQUIST_COMSERVER2_CLSID);
    }

    std::vector<Line> Lines() {
        std::vector<Line> lines;
        const int count = static_cast<int>(::SendMessageA(form.ListView1, LVM_GETITEMCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            const testsupport::ListRow row = testsupport::RowOf(form.ListView1, i);
            lines.push_back({form.ResultLines().Key(i), row.text, row.image + 1});
        }
        return lines;
    }

    std::string Detail(int row) {
        const velquist::ResultLine* line = form.ResultLines().Line(row);
        return line != nullptr ? line->detail : "<no row>";
    }

    // The one message box seen since the last call: its text, after checking its frame.
    std::string TheMessage() {
        const auto& seen = watcher.Seen();
        if (seen.size() != checkedDialogs + 1) {
            ADD_FAILURE() << "expected one message box, saw " << seen.size() - checkedDialogs;
            checkedDialogs = seen.size();
            return {};
        }
        const testsupport::DialogInfo& box = seen.back();
        ++checkedDialogs;
        EXPECT_EQ(box.caption, "Velquist!");
        EXPECT_EQ(owners.back(), form.Handle());
        EXPECT_EQ(boxIcons.back(), ::LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_ERROR)));
        std::string text;
        int buttons = 0, icons = 0;
        for (const auto& child : box.children) {
            if (_stricmp(child.className.c_str(), "Button") == 0) {
                ++buttons;
                EXPECT_EQ(child.id, IDOK) << child.text;
            } else if (_stricmp(child.className.c_str(), "Static") == 0) {
                if ((child.style & SS_TYPEMASK) == SS_ICON) {
                    ++icons;
                } else if (!child.text.empty()) {
                    text = child.text;
                }
            }
        }
        EXPECT_EQ(buttons, 1);
        EXPECT_EQ(icons, 1);
        return text;
    }
    bool NoMessage() { return watcher.Seen().size() == checkedDialogs; }

    std::vector<HWND> owners;
    std::vector<HICON> boxIcons;
    testsupport::DialogWatcher watcher{[this](HWND box) {
        char caption[64] = {};
        ::GetWindowTextA(box, caption, sizeof caption);
        if (std::string(caption) == "Save results") {  // the save dialog: cancelled
            testsupport::ClickButton(box, IDCANCEL);
            return;
        }
        owners.push_back(::GetWindow(box, GW_OWNER));
        // The icon can only be read while the box is open.
        HICON icon = nullptr;
        for (const auto& child : testsupport::Children(box)) {
            if ((child.style & SS_TYPEMASK) == SS_ICON) icon = testsupport::StaticIcon(child.hwnd);
        }
        boxIcons.push_back(icon);
        testsupport::ClickButton(box, answer);
    }};
    size_t checkedDialogs = 0;
    int answer = IDOK;  // the button that answers message boxes
    TempDir dir;
};

TEST_F(Commands, ASingleComponentIsRegisteredAndUnregisteredWithTheSameKeysEachTime) {
    const std::string path = dir / "a.dll";
    ASSERT_TRUE(CopyTo(ComponentPath(VELQUIST_COMSERVER_DLL), path));
    SingleFile(path);

    for (int press = 0; press < 2; ++press) {
        Press(true);
        EXPECT_EQ(Lines(), (std::vector<Line>{{"a1", "Registered : " + path, 1},
                                               {"a2", "Register operation completed", 3}}));
        EXPECT_EQ(RegisteredServer(VELQUIST_COMSERVER_CLSID), path);
    }
    Press(false);
    EXPECT_EQ(Lines(), (std::vector<Line>{{"a1", "Unregistered : " + path, 1},
                                           {"a2", "Unregister operation completed", 3}}));
    EXPECT_EQ(RegisteredServer(VELQUIST_COMSERVER_CLSID), "");
    EXPECT_TRUE(NoMessage());
}

TEST_F(Commands, TheLineKeepsThePathExactlyAsTyped) {
    // Trailing blanks name the same file for the system, but the line shows what the user typed.
    const std::string path = dir / "Blank.dll";
    ASSERT_TRUE(CopyTo(ComponentPath(VELQUIST_COMSERVER_DLL), path));
    SingleFile(path + "  ");
    Press(true);
    EXPECT_EQ(Lines(), (std::vector<Line>{{"a1", "Registered : " + path + "  ", 1},
                                           {"a2", "Register operation completed", 3}}));
    EXPECT_TRUE(NoMessage());
}

TEST_F(Commands, AComponentWithoutUnregistrationFailsAndTheRunStillCloses) {
    const std::string path = dir / "keep.dll";
    ASSERT_TRUE(CopyTo(ComponentPath(VELQUIST_NOUNREGISTER_DLL), path));
    SingleFile(path);
    Press(false);
    EXPECT_EQ(Lines(), (std::vector<Line>{{"a1", "Failed : " + path, 2},
                                           {"a2", "Unregister operation completed", 3}}));
}

TEST_F(Commands, BadSingleFileInputShowsAMessageAndLeavesTheListEmpty) {
    const std::string component = dir / "a.dll";
    ASSERT_TRUE(CopyTo(ComponentPath(VELQUIST_COMSERVER_DLL), component));
    const std::string hidden = dir / "hidden.dll";
    ASSERT_TRUE(CopyTo(ComponentPath(VELQUIST_COMSERVER_DLL), hidden));
    ASSERT_TRUE(::SetFileAttributesA(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN));
    const std::string text = dir / "notes.txt";
    ASSERT_TRUE(testsupport::WriteBytes(text, "not a library"));
    const std::string plain = dir / "plain.dll";
    ASSERT_TRUE(CopyTo(ComponentPath(VELQUIST_NOENTRY_DLL), plain));
    const std::string unloadable = dir / "initFails.dll";
    ASSERT_TRUE(CopyTo(ComponentPath(VELQUIST_INITFAILS_DLL), unloadable));

    struct Case {
        std::string text1;
        bool registerButton;
        const char* message;
    };
    const Case cases[] = {
        {dir / "missing.dll", true, "No file selected"},
        {"", true, "No file selected"},
        {dir.Path(), true, "No file selected"},     // a folder
        {hidden, false, "No file selected"},        // not an ordinary file
        {dir / "*.dll", true, "No file selected"},  // a wildcard names no file
        {text, true, "This file is not an ActiveX component"},
        {text, false, "This file is not an ActiveX component"},
        {plain, true, "This file is not an ActiveX component"},
        // A component that cannot be loaded: the reason as a second paragraph.
        {unloadable, true, "This file is not an ActiveX component\n\nIts initialisation failed (DllMain returned FALSE)."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("Text1 = \"" + c.text1 + "\"");
        // A run that fills the list first, so that the failing run must clear it.
        SingleFile(component);
        Press(true);
        ASSERT_EQ(Lines().size(), 2u);
        SingleFile(c.text1);
        Press(c.registerButton);
        EXPECT_EQ(TheMessage(), c.message);
        EXPECT_TRUE(Lines().empty());
    }
    EXPECT_EQ(RegisteredServer(VELQUIST_COMSERVER_CLSID), component);  // never the hidden copy
}

TEST_F(Commands, DirectoryRunsWalkTheTreeSubfoldersFirst) {
    const std::string d = dir / "D";
    ASSERT_TRUE(MakeDirs(d + "\\S"));
    ASSERT_TRUE(CopyTo(ComponentPath(VELQUIST_COMSERVER_DLL), d + "\\a.dll"));
    ASSERT_TRUE(CopyTo(ComponentPath(VELQUIST_COMSERVER2_DLL), d + "\\S\\b.ocx"));

    Directory(d, true);
    Press(true);
    EXPECT_EQ(Lines(), (std::vector<Line>{{"a1", "Registered : " + d + "\\S\\b.ocx", 1},
                                           {"a2", "Registered : " + d + "\\a.dll", 1},
                                           {"a3", "Register operation completed", 3}}));
    EXPECT_EQ(RegisteredServer(VELQUIST_COMSERVER2_CLSID), d + "\\S\\b.ocx");

    // Check1 cleared: the sub-folder is left alone.
    Directory(d, false);
    Press(false);
    EXPECT_EQ(Lines(), (std::vector<Line>{{"a1", "Unregistered : " + d + "\\a.dll", 1},
                                           {"a2", "Unregister operation completed", 3}}));
    EXPECT_EQ(RegisteredServer(VELQUIST_COMSERVER2_CLSID), d + "\\S\\b.ocx");
    EXPECT_EQ(RegisteredServer(VELQUIST_COMSERVER_CLSID), "");

    // Check1 in its third state also counts as checked.
    Directory(d, false);
    ::SendMessageA(form.Check1, BM_SETCHECK, BST_INDETERMINATE, 0);
    Press(false);
    EXPECT_EQ(Lines().size(), 3u);
    EXPECT_EQ(RegisteredServer(VELQUIST_COMSERVER2_CLSID), "");
    EXPECT_TRUE(NoMessage());
}

TEST_F(Commands, ADirectoryWithNothingToDoGivesTheClosingLineOnly) {
    ASSERT_TRUE(MakeDirs(dir / "empty"));
    ASSERT_TRUE(testsupport::WriteBytes(dir / "notes.txt", "text"));
    ASSERT_TRUE(CopyTo(ComponentPath(VELQUIST_COMSERVER_DLL), dir / "a.dll"));
    for (const std::string& folder : {dir / "empty", dir / "missing", dir / "a.dll", std::string()}) {
        SCOPED_TRACE("Text2 = \"" + folder + "\"");
        Directory(folder, true);
        Press(true);
        EXPECT_EQ(Lines(), (std::vector<Line>{{"a1", "Register operation completed", 3}}));
        Press(false);
        EXPECT_EQ(Lines(), (std::vector<Line>{{"a1", "Unregister operation completed", 3}}));
    }
    EXPECT_TRUE(NoMessage());
    EXPECT_EQ(RegisteredServer(VELQUIST_COMSERVER_CLSID), "");
}

// Lines come faster than the list is painted (at most ten times a second): every one arrives, and
// the list is painted after the last of them before the run returns.
TEST_F(Commands, EveryLineArrivesAndIsPaintedBeforeTheRunReturns) {
    const std::string d = dir / "D";
    ASSERT_TRUE(MakeDirs(d + "\\S"));
    ASSERT_TRUE(CopyTo(ComponentPath(VELQUIST_COMSERVER_DLL), d + "\\a.dll"));
    ASSERT_TRUE(CopyTo(ComponentPath(VELQUIST_COMSERVER2_DLL), d + "\\S\\b.ocx"));
    Directory(d, true);
    ::ShowWindow(form.Handle(), SW_SHOWNOACTIVATE);
    ::UpdateWindow(form.Handle());

    // The list's row insertions and the paints that follow them.
    std::string sequence;
    {
        CallRecorder recorder([&](const CWPRETSTRUCT& msg) {
            if (msg.hwnd != form.ListView1) return;
            if (msg.message == LVM_INSERTITEMA || msg.message == LVM_INSERTITEMW) sequence += 'i';
            if (msg.message == WM_PAINT) sequence += 'p';
        });
        ASSERT_TRUE(recorder.Installed());
        Press(true);
    }

    EXPECT_EQ(std::count(sequence.begin(), sequence.end(), 'i'), 3) << "insertions and paints: " << sequence;
    EXPECT_GT(sequence.rfind('p'), sequence.rfind('i')) << "insertions and paints: " << sequence;
    EXPECT_EQ(testsupport::RowOf(form.ListView1, 2).text, "Register operation completed");
}

TEST_F(Commands, ClicksGivenWhileARunIsBusyDoNotStartAnotherRun) {
    const std::string path = dir / "a.dll";
    ASSERT_TRUE(CopyTo(ComponentPath(VELQUIST_COMSERVER_DLL), path));
    SingleFile(path);
    // Clicks a user gives the busy window: posted to Un-Velquist! as the run empties the list.
    bool clicked = false;
    {
        CallRecorder recorder([&](const CWPRETSTRUCT& msg) {
            if (clicked || msg.hwnd != form.ListView1 || msg.message != LVM_DELETEALLITEMS) return;
            clicked = true;
            ::PostMessageA(form.Command1, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
            ::PostMessageA(form.Command1, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
        });
        ASSERT_TRUE(recorder.Installed());
        Press(true);
    }
    ASSERT_TRUE(clicked);
    // What the message loop would do next with the queue.
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&msg);
    EXPECT_EQ(Lines(), (std::vector<Line>{{"a1", "Registered : " + path, 1},
                                           {"a2", "Register operation completed", 3}}));
    EXPECT_EQ(RegisteredServer(VELQUIST_COMSERVER_CLSID), path);
}

// What the list is told while the recorder lives, as "clear" or the text of a row.
CallRecorder::Action RecordList(std::vector<std::string>& calls) {
    return [&calls](const CWPRETSTRUCT& msg) {
        if (msg.message == LVM_DELETEALLITEMS) calls.push_back("clear");
        if (msg.message == LVM_INSERTITEMA) calls.push_back(reinterpret_cast<const LVITEMA*>(msg.lParam)->pszText);
    };
}

// While it waits for a component the window answers messages sent to it; a command sent meanwhile
// does not start a second run, and a close request stops the run rather than pull the window from
// under it.
TEST_F(Commands, MessagesSentDuringARunWaitForItsEnd) {
    ASSERT_TRUE(CopyTo(ComponentPath(VELQUIST_REENTER_DLL), dir / "reenter.dll"));
    Directory(dir.Path(), false);
    std::vector<std::string> listCalls;
    {
        CallRecorder recorder(RecordList(listCalls));
        ASSERT_TRUE(recorder.Installed());
        Press(true);
    }
    // No second run (no second clearing of the list); the close request stops this one (unless the
    // component's answer was in already), and is carried out once the run has unwound. The component
    // sends it from the capture ahead of the calls (the undo record's) or from its call.
    const std::vector<std::string> stopped = {"clear", "Failed : " + (dir / "reenter.dll"), "Register operation stopped"};
    const std::vector<std::string> beforeItsCall = {"clear", "Register operation stopped"};
    const std::vector<std::string> finished = {"clear", "Registered : " + (dir / "reenter.dll"),
                                               "Register operation completed"};
    EXPECT_TRUE(listCalls == stopped || listCalls == beforeItsCall || listCalls == finished)
        << ::testing::PrintToString(listCalls);
    EXPECT_FALSE(::IsWindow(form.Handle()));
}

// A component whose initialisation never returns costs one time limit and gets a line that says so;
// the walk goes on after it.
TEST_F(Commands, AComponentThatHangsInItsInitialisationDoesNotStopTheWalk) {
    ASSERT_TRUE(MakeDirs(dir / "a"));
    ASSERT_TRUE(CopyTo(ComponentPath(VELQUIST_HANGINIT_DLL), dir / "a\\hang.dll"));
    ASSERT_TRUE(CopyTo(ComponentPath(VELQUIST_COMSERVER_DLL), dir / "good.dll"));
    Directory(dir.Path(), true);
    Press(true);
    EXPECT_EQ(Lines(), (std::vector<Line>{{"a1", "Failed : " + (dir / "a\\hang.dll"), 2},
                                           {"a2", "Registered : " + (dir / "good.dll"), 1},
                                           {"a3", "Register operation completed", 3}}));
    EXPECT_EQ(Detail(0), "Did not finish within 10 seconds; it was stopped.");
    EXPECT_EQ(Detail(1), "DllRegisterServer succeeded.");
    EXPECT_TRUE(std::regex_match(Detail(2), std::regex("1 registered, 1 failed, 2 files checked in [0-9]+\\.[0-9] s\\. "
                                                        "File > Undo last run puts back what it changed\\.")))
        << Detail(2);
}

// The detail of a row: Enter on the list shows it with the line; Ctrl+A, Ctrl+C copy the rows.
TEST_F(Commands, RowDetailsShowOnEnterAndCopyAsTextTabDetail) {
    const std::string path = dir / "failing.dll";
    ASSERT_TRUE(CopyTo(ComponentPath(VELQUIST_FAILING_DLL), path));
    SingleFile(path);
    Press(true);
    ASSERT_EQ(Lines().size(), 2u);
    const std::string failure = "DllRegisterServer failed: Its classes could not be registered. (0x80040201)";
    EXPECT_EQ(Detail(0), failure);

    const HICON expectedIcons[] = {::LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_ERROR)),
                                   ::LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_INFORMATION))};
    for (int row = 0; row < 2; ++row) {
        LVITEMA item{};
        item.stateMask = LVIS_FOCUSED | LVIS_SELECTED;
        item.state = LVIS_FOCUSED | LVIS_SELECTED;
        ::SendMessageA(form.ListView1, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
        ::SetFocus(form.ListView1);
        MSG enter{form.ListView1, WM_KEYDOWN, VK_RETURN, 0x001C0001, 0, {}};
        if (!velquist::TranslateMainWindowMessage(form.Handle(), form.Accelerators(), &enter)) {
            ::TranslateMessage(&enter);
            ::DispatchMessageA(&enter);
        }
        ASSERT_EQ(watcher.Seen().size(), static_cast<size_t>(row + 1));
        EXPECT_EQ(boxIcons.back(), expectedIcons[row]) << row;
        std::string text;
        for (const auto& child : watcher.Seen().back().children) {
            if (_stricmp(child.className.c_str(), "Static") == 0 && !child.text.empty()) text = child.text;
        }
        EXPECT_EQ(text, Lines()[row].text + "\n\n" + Detail(row));
    }
    checkedDialogs = watcher.Seen().size();

    // Ctrl+A, Ctrl+C on the list: every row, text and detail.
    BYTE keys[256] = {};
    ::GetKeyboardState(keys);
    keys[VK_CONTROL] = 0x80;
    ::SetKeyboardState(keys);
    ::SendMessageA(form.ListView1, WM_KEYDOWN, 'A', 0x001E0001);
    ::SendMessageA(form.ListView1, WM_KEYDOWN, 'C', 0x002E0001);
    keys[VK_CONTROL] = 0;
    ::SetKeyboardState(keys);
    ASSERT_TRUE(::OpenClipboard(nullptr));
    HANDLE data = ::GetClipboardData(CF_UNICODETEXT);
    const std::wstring copied = data != nullptr ? static_cast<const wchar_t*>(::GlobalLock(data)) : L"<none>";
    if (data != nullptr) ::GlobalUnlock(data);
    ::CloseClipboard();
    EXPECT_EQ(copied, velquist::Wide("Failed : " + path + "\t" + failure + "\r\nRegister operation completed\t" +
                                     Detail(1)));
    EXPECT_TRUE(NoMessage());
}

// Save results: nothing to save before a run; a cancelled dialog writes nothing.
TEST_F(Commands, SaveIsOfferedOnlyWithResultsAndCancelWritesNothing) {
    HMENU file = ::GetSubMenu(::GetMenu(form.Handle()), 0);
    ::SendMessageA(form.Handle(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(file), 0);
    EXPECT_NE(::GetMenuState(file, IDM_SAVE, MF_BYCOMMAND) & MF_GRAYED, 0u);
    ::SendMessageA(form.Handle(), WM_COMMAND, IDM_SAVE, 0);
    EXPECT_TRUE(watcher.Seen().empty());  // no dialog for an empty list

    ASSERT_TRUE(CopyTo(ComponentPath(VELQUIST_COMSERVER_DLL), dir / "a.dll"));
    SingleFile(dir / "a.dll");
    Press(true);
    ::SendMessageA(form.Handle(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(file), 0);
    EXPECT_EQ(::GetMenuState(file, IDM_SAVE, MF_BYCOMMAND) & MF_GRAYED, 0u);
    char cwd[MAX_PATH * 4] = {};
    ::GetCurrentDirectoryA(sizeof cwd, cwd);
    ::SetCurrentDirectoryA(dir.Path().c_str());
    MSG ctrlS{form.Handle(), WM_KEYDOWN, 'S', 0x001F0001, 0, {}};
    BYTE keys[256] = {};
    ::GetKeyboardState(keys);
    keys[VK_CONTROL] = 0x80;
    ::SetKeyboardState(keys);
    const bool translated = velquist::TranslateMainWindowMessage(form.Handle(), form.Accelerators(), &ctrlS);
    keys[VK_CONTROL] = 0;
    ::SetKeyboardState(keys);
    ::SetCurrentDirectoryA(cwd);
    EXPECT_TRUE(translated);
    ASSERT_EQ(watcher.Seen().size(), 1u);
    EXPECT_EQ(watcher.Seen()[0].caption, "Save results");
    EXPECT_EQ(::GetFileAttributesA((dir / "Velquist results.csv").c_str()), INVALID_FILE_ATTRIBUTES);
    checkedDialogs = 1;
}

// A real drop handle of the shell's form, listing the paths in Unicode.
HGLOBAL MakeDrop(const std::vector<std::string>& paths) {
    std::wstring list;
    for (const std::string& path : paths) list += velquist::Wide(path) + L'\0';
    list += L'\0';
    HGLOBAL memory = ::GlobalAlloc(GHND, sizeof(DROPFILES) + list.size() * sizeof(wchar_t));
    auto* drop = static_cast<DROPFILES*>(::GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    std::memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), list.data(), list.size() * sizeof(wchar_t));
    ::GlobalUnlock(memory);
    return memory;
}

TEST_F(Commands, ADropFillsTheInputsWithItsFirstItemAndRunsNothing) {
    const std::string file = dir / "k\xC3\xB6mponent.dll";
    ASSERT_TRUE(CopyTo(ComponentPath(VELQUIST_COMSERVER_DLL), file));
    ::SendMessageA(form.Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({dir.Path(), file})), 0);
    EXPECT_EQ(::SendMessageA(form.Option2, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(testsupport::WindowText(form.Text2), dir.Path());
    ::SendMessageA(form.Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({file})), 0);
    EXPECT_EQ(::SendMessageA(form.Option1, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(testsupport::WindowText(form.Text1), file);
    EXPECT_TRUE(Lines().empty());
    EXPECT_EQ(RegisteredServer(VELQUIST_COMSERVER_CLSID), "");
}

// Esc, Close and a close request posted to the window stop a run at a hung component: it gets a failed
// line, nothing more is tried, the run closes as stopped, and a close request then closes the window.
TEST_F(Commands, ARunStopsAtOnceOnEscOrACloseRequest) {
    ASSERT_TRUE(CopyTo(ComponentPath(VELQUIST_BLOCKING_DLL), dir / "a.dll"));
    ASSERT_TRUE(CopyTo(ComponentPath(VELQUIST_COMSERVER_DLL), dir / "b.dll"));
    struct Case {
        const char* how;
        std::function<void(velquist::velquistform&)> ask;
        bool closes;
    };
    const Case cases[] = {
        {"Esc", [](auto& f) { ::PostMessageA(f.ListView1, WM_KEYDOWN, VK_ESCAPE, 0x00010001); }, false},
        {"Close", [](auto& f) {
             ::PostMessageA(f.Command2, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
             ::PostMessageA(f.Command2, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
         }, true},
        {"WM_CLOSE", [](auto& f) { ::PostMessageA(f.Handle(), WM_CLOSE, 0, 0); }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        if (!::IsWindow(form.Handle())) {
            testsupport::DrainQuit();
            ASSERT_TRUE(form.Create());
        }
        Directory(dir.Path(), false);
        std::vector<std::string> listCalls;
        ULONGLONG elapsed = 0;
        {
            CallRecorder recorder(RecordList(listCalls));
            ASSERT_TRUE(recorder.Installed());
            std::thread asker([&] {
                ::Sleep(500);
                c.ask(form);
            });
            const ULONGLONG start = ::GetTickCount64();
            Press(true);
            elapsed = ::GetTickCount64() - start;
            asker.join();
        }
        EXPECT_LT(elapsed, 4000u);  // well within the component's ten seconds
        ASSERT_EQ(listCalls.size(), 3u);
        EXPECT_EQ(listCalls[1], "Failed : " + (dir / "a.dll"));
        EXPECT_EQ(listCalls[2], "Register operation stopped");
        EXPECT_EQ(::IsWindow(form.Handle()) == FALSE, c.closes);
        if (!c.closes) {
            EXPECT_EQ(Detail(0), "Stopped before it finished.");
            EXPECT_EQ(Detail(1).rfind("0 registered, 1 failed, 1 file checked in ", 0), 0u) << Detail(1);
        }
    }
    EXPECT_EQ(RegisteredServer(VELQUIST_COMSERVER_CLSID), "");  // never tried
}

// A folder walk shows its count in the caption and its progress on the task bar; a single file neither.
TEST_F(Commands, AWalkShowsItsProgressInTheCaptionAndOnTheTaskBar) {
    struct Recorder : velquist::velquistform::ProgressDisplay {
        std::vector<std::string> calls;
        void Walking(HWND) override { calls.push_back("walking"); }
        void Idle(HWND) override { calls.push_back("idle"); }
    } recorder;
    form.SetProgressDisplay(&recorder);
    ASSERT_TRUE(CopyTo(ComponentPath(VELQUIST_COMSERVER_DLL), dir / "a.dll"));
    ASSERT_TRUE(testsupport::WriteBytes(dir / "b.txt", "text"));
    std::vector<std::string> captions;  // the main window's captions, as set
    CallRecorder captionRecorder([&](const CWPRETSTRUCT& msg) {
        if (msg.message == WM_SETTEXT && msg.hwnd == form.Handle()) captions.push_back(reinterpret_cast<const char*>(msg.lParam));
    });
    ASSERT_TRUE(captionRecorder.Installed());
    Directory(dir.Path(), false);
    Press(true);
    // Shown at a pace, so not every count need show; but they rise, and the last one is the whole count.
    ASSERT_GE(captions.size(), 2u);
    EXPECT_EQ(captions.back(), "Velquist");
    EXPECT_EQ(captions[captions.size() - 2], "Velquist - 2 files checked");
    for (std::size_t i = 1; i + 1 < captions.size(); ++i) EXPECT_LT(captions[i - 1], captions[i]);
    EXPECT_EQ(recorder.calls, (std::vector<std::string>{"walking", "idle"}));

    captions.clear();
    recorder.calls.clear();
    SingleFile(dir / "a.dll");
    Press(true);
    EXPECT_TRUE(captions.empty());
    EXPECT_TRUE(recorder.calls.empty());
    form.SetProgressDisplay(nullptr);
}

// Rights as a test decides them: elevated or not, and whether a start with administrator rights is
// accepted; the starts asked for are recorded.
struct TestRights : velquist::Elevation {
    bool elevated = false;
    bool accept = true;
    std::vector<std::string> starts;  // parameters, a bar, the folder
    bool IsElevated() override { return elevated; }
    bool Relaunch(HWND, const std::string& parameters, const std::string& folder) override {
        starts.push_back(parameters + "|" + folder);
        return accept;
    }
};

// After a run in which access was denied, and only then, the window offers to start again elevated
// and run the same again; Yes hands the run on and closes this window once the start was accepted.
TEST_F(Commands, AccessDeniedOffersARestartAsAdministrator) {
    TestRights rights;
    form.SetElevation(&rights);
    ASSERT_TRUE(MakeDirs(dir / "app\\"));
    ASSERT_TRUE(CopyTo(ComponentPath(VELQUIST_ACCESSDENIED_DLL), dir / "app\\denied.ocx"));
    ASSERT_TRUE(CopyTo(ComponentPath(VELQUIST_FAILING_DLL), dir / "failing.dll"));
    char cwd[MAX_PATH * 4] = {};
    ::GetCurrentDirectoryA(sizeof cwd, cwd);
    const auto question = [this] {
        const auto& box = watcher.Seen().back();
        std::string text;
        int yesNo = 0;
        for (const auto& child : box.children) {
            if (_stricmp(child.className.c_str(), "Static") == 0 && !child.text.empty()) text = child.text;
            if (child.id == IDYES || child.id == IDNO) ++yesNo;
        }
        EXPECT_EQ(box.caption, "Velquist!");
        EXPECT_EQ(yesNo, 2);
        EXPECT_EQ(boxIcons.back(), ::LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_QUESTION)));
        return text;
    };

    // Another failure asks nothing; neither does a run when already elevated.
    SingleFile(dir / "failing.dll");
    Press(true);
    rights.elevated = true;
    Directory(dir.Path(), true);
    Press(false);
    EXPECT_TRUE(watcher.Seen().empty());

    // No: nothing more. Refused prompt: everything stays. Accepted: the window closes.
    rights.elevated = false;
    form.SetPerUser(true);
    answer = IDNO;
    Press(false);
    ASSERT_EQ(watcher.Seen().size(), 1u);
    EXPECT_EQ(question(), "Some components could not be unregistered because access was denied.\n\n"
                          "Restart Velquist as administrator and run this again?");
    EXPECT_TRUE(rights.starts.empty());
    answer = IDYES;
    rights.accept = false;
    SingleFile(dir / "app\\denied.ocx");
    Press(true);
    ASSERT_EQ(watcher.Seen().size(), 2u);
    EXPECT_EQ(question(), "Some components could not be registered because access was denied.\n\n"
                          "Restart Velquist as administrator and run this again?");
    ASSERT_EQ(rights.starts.size(), 1u);
    EXPECT_EQ(rights.starts[0], "/user /run \"" + (dir / "app\\denied.ocx") + "\"|" + cwd);
    EXPECT_TRUE(::IsWindow(form.Handle()));
    rights.accept = true;
    Directory(dir / "app\\", true);
    Press(false);
    ASSERT_EQ(rights.starts.size(), 2u);
    // The folder's trailing backslash doubled before the closing quote, as the system reads it back.
    EXPECT_EQ(rights.starts[1], "/u /r /user /run \"" + (dir / "app\\\\") + "\"|" + cwd);
    EXPECT_FALSE(::IsWindow(form.Handle()));
    checkedDialogs = watcher.Seen().size();
}

TEST_F(Commands, RestartAsAdministratorIsOfferedOnlyWhenNotElevated) {
    TestRights rights;
    form.SetElevation(&rights);
    HMENU file = ::GetSubMenu(::GetMenu(form.Handle()), 0);
    const auto shield = [file] {
        MENUITEMINFOA item{};
        item.cbSize = sizeof item;
        item.fMask = MIIM_BITMAP;
        ::GetMenuItemInfoA(file, IDM_RESTART, FALSE, &item);
        return item.hbmpItem;
    };
    // The system's shield, where it has one, is on the item once the menu opens (not before: the
    // shell is not loaded to show the window).
    const bool systemHasShield = static_cast<bool>(velquist::CreateShieldBitmap());
    EXPECT_EQ(shield(), nullptr);
    for (const bool elevated : {false, true}) {
        rights.elevated = elevated;
        ::SendMessageA(form.Handle(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(file), 0);
        EXPECT_EQ((::GetMenuState(file, IDM_RESTART, MF_BYCOMMAND) & MF_GRAYED) != 0, elevated);
        EXPECT_EQ(shield() != nullptr, systemHasShield);
    }
    rights.elevated = false;
    // File > Unregister copies registered elsewhere: a check item, off at start, read into unregister runs.
    EXPECT_FALSE(form.ReadRequest(false).force);
    ::SendMessageA(form.Handle(), WM_COMMAND, IDM_FORCE, 0);
    EXPECT_EQ(::GetMenuState(file, IDM_FORCE, MF_BYCOMMAND) & MF_CHECKED, static_cast<UINT>(MF_CHECKED));
    EXPECT_TRUE(form.ReadRequest(false).force);
    // File > Include type libraries: the same, read into every run of the inputs.
    EXPECT_FALSE(form.ReadRequest(true).typeLibraries);
    ::SendMessageA(form.Handle(), WM_COMMAND, IDM_TYPELIBS, 0);
    EXPECT_EQ(::GetMenuState(file, IDM_TYPELIBS, MF_BYCOMMAND) & MF_CHECKED, static_cast<UINT>(MF_CHECKED));
    EXPECT_TRUE(form.ReadRequest(true).typeLibraries);
    SingleFile("rel\\x.dll");  // a relative path goes out absolute
    ::SendMessageA(form.Handle(), WM_COMMAND, IDM_PERUSER, 0);
    EXPECT_EQ(::GetMenuState(file, IDM_PERUSER, MF_BYCOMMAND) & MF_CHECKED, static_cast<UINT>(MF_CHECKED));
    ::SendMessageA(form.Handle(), WM_COMMAND, IDM_RESTART, 0);
    char full[MAX_PATH * 4] = {};
    ::GetFullPathNameA("rel\\x.dll", sizeof full, full, nullptr);
    ASSERT_EQ(rights.starts.size(), 1u);
    EXPECT_EQ(rights.starts[0].substr(0, rights.starts[0].find('|')), std::string("/user /tlb \"") + full + "\"");
    EXPECT_FALSE(::IsWindow(form.Handle()));
}

// For the current user only: the keys go to the user's classes, the detail says so, no rights needed.
TEST_F(Commands, RegisteringForTheCurrentUserOnlyWritesTheUsersClasses) {
    const std::string path = dir / "mine.dll";
    ASSERT_TRUE(CopyTo(ComponentPath(VELQUIST_COMSERVER_DLL), path));
    const std::string userKey = std::string("Software\\Classes\\CLSID\\") + VELQUIST_COMSERVER_CLSID;
    ::SendMessageA(form.Handle(), WM_COMMAND, IDM_PERUSER, 0);  // File > Register for current user only
    ASSERT_TRUE(form.PerUser());
    SingleFile(path);
    Press(true);
    EXPECT_EQ(Lines()[0].text, "Registered : " + path);
    EXPECT_EQ(Detail(0), "DllRegisterServer succeeded. For the current user only.");
    EXPECT_TRUE(testsupport::KeyExists(HKEY_CURRENT_USER, userKey));
    EXPECT_EQ(RegisteredServer(VELQUIST_COMSERVER_CLSID), "");  // nothing machine-wide
    Press(false);
    EXPECT_FALSE(testsupport::KeyExists(HKEY_CURRENT_USER, userKey));
    ::SendMessageA(form.Handle(), WM_COMMAND, IDM_PERUSER, 0);
    EXPECT_FALSE(form.PerUser());
    testsupport::DeleteTree(HKEY_CURRENT_USER, userKey);
}

// File > Undo last run: off until a run changed something, which the run's closing detail then says;
// Ctrl+Z in a text box is the box's own undo, elsewhere it puts the class back as it was.
TEST_F(Commands, UndoLastRunPutsBackWhatTheRunChanged) {
    const std::string path = dir / "undone.dll";
    ASSERT_TRUE(CopyTo(ComponentPath(VELQUIST_COMSERVER_DLL), path));
    HMENU file = ::GetSubMenu(::GetMenu(form.Handle()), 0);
    const auto undoable = [&] {
        ::SendMessageA(form.Handle(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(file), 0);
        return (::GetMenuState(file, IDM_UNDO, MF_BYCOMMAND) & MF_GRAYED) == 0 &&
               (::GetMenuState(file, IDM_SAVEUNDO, MF_BYCOMMAND) & MF_GRAYED) == 0;
    };
    EXPECT_FALSE(undoable());
    SingleFile(path);
    Press(true);
    ASSERT_EQ(Lines()[0].text, "Registered : " + path);
    EXPECT_NE(Detail(1).find(" File > Undo last run puts back what it changed."), std::string::npos) << Detail(1);
    EXPECT_TRUE(undoable());

    const auto ctrlZ = [&] { ::SendMessageA(form.Handle(), WM_COMMAND, MAKEWPARAM(IDM_UNDO, 1), 0); };
    ::SetFocus(form.Text1);
    ::SendMessageA(form.Text1, EM_SETSEL, 0, -1);
    ::SendMessageA(form.Text1, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>("typed"));
    ctrlZ();
    EXPECT_EQ(testsupport::WindowText(form.Text1), path);
    EXPECT_EQ(RegisteredServer(VELQUIST_COMSERVER_CLSID), path);

    ::SetFocus(form.ListView1);
    ctrlZ();
    ASSERT_EQ(Lines().size(), 2u);
    EXPECT_EQ(Lines()[0].text, "Restored : " + path);
    EXPECT_EQ(Lines()[1].text, "Undo completed");
    EXPECT_EQ(RegisteredServer(VELQUIST_COMSERVER_CLSID), "");
    EXPECT_FALSE(undoable());
}

// The detail of the row under the pointer, as its tip.
TEST_F(Commands, ARowsTipIsItsDetail) {
    ASSERT_TRUE(CopyTo(ComponentPath(VELQUIST_FAILING_DLL), dir / "f.dll"));
    SingleFile(dir / "f.dll");
    Press(true);
    char text[256] = "the row's own text";
    NMLVGETINFOTIPA tip{};
    tip.hdr.hwndFrom = form.ListView1;
    tip.hdr.idFrom = velquist::kIdListView1;
    tip.hdr.code = LVN_GETINFOTIPA;
    tip.pszText = text;
    tip.cchTextMax = static_cast<int>(std::size(text));
    tip.iItem = 0;
    ::SendMessageA(form.Handle(), WM_NOTIFY, velquist::kIdListView1, reinterpret_cast<LPARAM>(&tip));
    EXPECT_EQ(std::string(text), Detail(0));
    tip.cchTextMax = 10;  // cut to the room given
    ::SendMessageA(form.Handle(), WM_NOTIFY, velquist::kIdListView1, reinterpret_cast<LPARAM>(&tip));
    EXPECT_EQ(std::string(text), Detail(0).substr(0, 9));
}

}  // namespace
