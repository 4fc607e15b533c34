// The Help and About windows, driven in-process with real messages on the test display.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "resource.h"
#include "win32/Handles.h"
#include "win32/Paths.h"
#include "windows/HelpAbout.h"

namespace {

using namespace velquist;

const char* const kParagraph1 =
    "This application will register or unregister ActiveX components on your computer.  Some applications "
    "require ActiveX components that need to be registered before they can be used in the system.  Most "
    "applications will automatically register these controls at initial install, but sometimes installations "
    "fail or they conflict with existing applications.  In this case, Velquist! can perform the necessary "
    "registration for you.";
const char* const kParagraph2 =
    "To register a single ActiveX control, type the full name (including path) of the control, or hit the "
    "browse button to find the control on your computer.  Once the full name and path of the control is in "
    "the box, just hit the 'Velquist!' button or the the 'Un-Velquist!' button.";
const char* const kParagraph3 =
    "To register all the controls in an entire directory (this can be useful in the case of a failed "
    "application install), type or find the desired directory in the 'Register all files in directory' box.  "
    "If you want the program to search all the sub-directories and register any files it finds, click the "
    "'Include sub-directories' option as well.  This will find all Activex controls within the specified "
    "directory and attempt to register them.";
const char* const kParagraph4 =
    "There is a danger when registering ActiveX controls that they may conflict with an existing control - "
    "possibly one with a similar name or different version of the same control registered elsewhere.  In this "
    "event, you may find the application you are trying to fix is now fixed, but something else has stopped "
    "working since the version of control is now different from the one it was expecting.  There is no easy "
    "solution for this other than trial and error on the offending ActiveX controls.";
constexpr char kGuardParagraph[] =
    "Unregistering one copy of a control while another copy is the one registered would remove the "
    "other copy's registration, and break the applications that use it.  So 'Un-Velquist!' first "
    "checks each control and leaves alone one whose classes are registered for another file, with a "
    "line naming that file.  To unregister such copies all the same, choose 'Unregister copies "
    "registered elsewhere' on the File menu.";
constexpr char kUndoParagraph[] =
    "Every register or unregister run can be undone.  'Undo last run' on the File menu (Ctrl+Z) puts "
    "the registry back as it was before the last run, and leaves alone, naming it, anything something "
    "else changed since; 'Save undo file...' writes a file that does the same when imported.  When "
    "putting back what a machine-wide run changed needs administrator rights, Velquist offers to "
    "restart as administrator and put the rest back there.  Velquist keeps this only until the next "
    "run, and not once it is closed.";

const char* const kParagraph5 =
    "To find out whether the registered components work, choose 'Test classes' on the Tools menu.  For "
    "each component registered on this computer, Velquist makes every class it registers and loads its "
    "type libraries, as an application that uses it would, and shows 'Works' or 'Does not work' with the "
    "reason: a control that needs a licence, a class its file does not make, a library that is missing, "
    "a crash.  Nothing is registered or unregistered, but making an object runs the component's own "
    "code, as any application would.";

const char* const kParagraph6 =
    "To let an application use the components without registering them at all, choose 'Export "
    "manifest...' on the Tools menu.  Velquist writes one manifest for the components of the folder, "
    "saved in that folder; an application that names it in its own manifest uses those components with "
    "nothing registered, and two applications can each use their own copy of a control.  The "
    "components of one manifest are all 32-bit or all 64-bit.";
constexpr char kParagraph7[] =
    "To find what is broken in this computer's own registrations, choose 'Find broken registrations' "
    "on the Tools menu.  Velquist reads every class, ProgID, type library and interface registered, for "
    "all users and for you, 32-bit and 64-bit, and shows 'Missing' for each file they name that does not "
    "exist, with everything that points at it, and 'Broken' for each entry that points at nothing "
    "registered.  Nothing is changed.  'Remove broken registrations...' removes what may go of them "
    "after asking once, and only after it has written a backup file that puts them back.";

std::string ExpectedHelpText() {
    return std::string(kParagraph1) + "\r\n\r\n" + kParagraph2 + "\r\n\r\n" + kParagraph3 + "\r\n\r\n" +
           kParagraph4 + "\r\n\r\n" + kGuardParagraph + "\r\n\r\n" + kUndoParagraph + "\r\n\r\n" + kParagraph5 + "\r\n\r\n" + kParagraph6 + "\r\n\r\n" + kParagraph7;
}

// Runs the message loop as the program does for the windows of companions, for about `ms` milliseconds.
void Pump(const Companions& companions, DWORD ms = 100) {
    const DWORD start = ::GetTickCount();
    do {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (companions.TranslateDialogMessage(&msg)) continue;
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        ::Sleep(5);
    } while (::GetTickCount() - start < ms);
}

// The About box's version line for project()'s VERSION, which the version record is made from.
std::string SourceVersionLine() {
    return "v" + std::to_string(VELQUIST_SOURCE_VERSION_MAJOR) + "." + std::to_string(VELQUIST_SOURCE_VERSION_MINOR);
}

std::string Text(HWND hwnd) {
    char buffer[8192] = {};
    const int length = ::GetWindowTextA(hwnd, buffer, static_cast<int>(std::size(buffer)));
    return std::string(buffer, static_cast<size_t>(length > 0 ? length : 0));
}

std::string ClassOf(HWND hwnd) {
    char name[64] = {};
    ::GetClassNameA(hwnd, name, static_cast<int>(std::size(name)));
    return name;
}

struct CaptionSearch {
    std::string caption;
    int count;
};

BOOL CALLBACK CountIfCaptioned(HWND hwnd, LPARAM data) {
    auto* search = reinterpret_cast<CaptionSearch*>(data);
    if (::IsWindowVisible(hwnd) && (search->caption.empty() || Text(hwnd) == search->caption)) ++search->count;
    return TRUE;
}

// The visible top-level windows of this thread with the given caption (any caption if empty).
int CountWindowsCaptioned(const std::string& caption) {
    CaptionSearch search{caption, 0};
    ::EnumThreadWindows(::GetCurrentThreadId(), &CountIfCaptioned, reinterpret_cast<LPARAM>(&search));
    return search.count;
}

// A control's rectangle in its window's client coordinates.
RECT ClientRectOf(HWND control) {
    RECT rect{};
    ::GetWindowRect(control, &rect);
    ::MapWindowPoints(nullptr, ::GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

void ExpectRect(HWND control, int left, int top, int width, int height, const char* name) {
    const RECT r = ClientRectOf(control);
    EXPECT_NEAR(r.left, left, 1) << name;
    EXPECT_NEAR(r.top, top, 1) << name;
    EXPECT_NEAR(r.right - r.left, width, 1) << name;
    EXPECT_NEAR(r.bottom - r.top, height, 1) << name;
}

SIZE ClientSize(HWND hwnd) {
    RECT r{};
    ::GetClientRect(hwnd, &r);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

LOGFONTA FontOf(HWND control) {
    LOGFONTA font{};
    HFONT handle = reinterpret_cast<HFONT>(::SendMessageA(control, WM_GETFONT, 0, 0));
    ::GetObjectA(handle, sizeof font, &font);
    return font;
}

void ExpectFixedDialogFrame(HWND hwnd) {
    const LONG_PTR style = ::GetWindowLongPtrA(hwnd, GWL_STYLE);
    const LONG_PTR exStyle = ::GetWindowLongPtrA(hwnd, GWL_EXSTYLE);
    EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
    EXPECT_TRUE(style & WS_SYSMENU) << "the close button";
    EXPECT_FALSE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME) << "the user cannot resize it";
    EXPECT_FALSE(style & WS_CHILD);
    EXPECT_TRUE(exStyle & WS_EX_DLGMODALFRAME);
    // Neither forced onto the task bar nor given the shrunken tool-window caption.
    EXPECT_FALSE(exStyle & WS_EX_APPWINDOW);
    EXPECT_FALSE(exStyle & WS_EX_TOOLWINDOW);
    EXPECT_EQ(::GetWindow(hwnd, GW_OWNER), nullptr);
    EXPECT_EQ(::GetAncestor(hwnd, GA_PARENT), ::GetDesktopWindow());
    EXPECT_NE(::SendMessageA(hwnd, WM_GETICON, ICON_BIG, 0), 0);
    EXPECT_NE(::SendMessageA(hwnd, WM_GETICON, ICON_SMALL, 0), 0);
    EXPECT_TRUE(::IsWindowVisible(hwnd));
}

void ExpectCentredOnScreen(HWND hwnd) {
    RECT window{};
    ::GetWindowRect(hwnd, &window);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    ASSERT_TRUE(::GetMonitorInfoA(::MonitorFromWindow(hwnd, MONITOR_DEFAULTTOPRIMARY), &info));
    EXPECT_NEAR(window.left - info.rcWork.left, info.rcWork.right - window.right, 1);
    EXPECT_NEAR(window.top - info.rcWork.top, info.rcWork.bottom - window.bottom, 1);
}

// An icon drawn at a size on the button face, as the windows draw it; pixels row by row.
std::vector<COLORREF> Render(HICON icon, int width, int height) {
    HDC screen = ::GetDC(nullptr);
    HDC dc = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = ::SelectObject(dc, bitmap);
    RECT all{0, 0, width, height};
    ::FillRect(dc, &all, ::GetSysColorBrush(COLOR_BTNFACE));
    ::DrawIconEx(dc, 0, 0, icon, width, height, 0, nullptr, DI_NORMAL);
    std::vector<COLORREF> pixels;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) pixels.push_back(::GetPixel(dc, x, y));
    }
    ::SelectObject(dc, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(dc);
    ::ReleaseDC(nullptr, screen);
    return pixels;
}

std::vector<COLORREF> RenderResourceIcon(int id, int width, int height) {
    HICON icon = static_cast<HICON>(
        ::LoadImageA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), IMAGE_ICON, width, height, 0));
    std::vector<COLORREF> pixels = Render(icon, width, height);
    ::DestroyIcon(icon);
    return pixels;
}

// What a window shows on the screen, row by row.
std::vector<COLORREF> Capture(HWND hwnd) {
    ::RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    const SIZE size = ClientSize(hwnd);
    HDC dc = ::GetDC(hwnd);
    std::vector<COLORREF> pixels;
    for (int y = 0; y < size.cy; ++y) {
        for (int x = 0; x < size.cx; ++x) pixels.push_back(::GetPixel(dc, x, y));
    }
    ::ReleaseDC(hwnd, dc);
    return pixels;
}

class Forms : public ::testing::Test {
protected:
    void TearDown() override {
        companions.CloseAll();
        Pump(companions, 20);
    }
    HWND OpenHelp() {
        companions.ShowHelp();
        Pump(companions);
        return companions.HelpWindow();
    }
    HWND OpenAbout() {
        companions.ShowAbout();
        Pump(companions);
        return companions.AboutWindow();
    }
    Companions companions;
};

TEST_F(Forms, HelpTextIsTheParagraphsSeparatedByOneEmptyLine) {
    HWND help = OpenHelp();
    ASSERT_NE(help, nullptr);
    HWND text1 = ::GetDlgItem(help, HelpIds::Text1);
    ASSERT_NE(text1, nullptr);
    const std::string text = Text(text1);
    EXPECT_EQ(text, ExpectedHelpText());

    // Line breaks are CR LF pairs only.
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            EXPECT_TRUE(i > 0 && text[i - 1] == '\r') << "lone LF at " << i;
        }
        if (text[i] == '\r') {
            EXPECT_TRUE(i + 1 < text.size() && text[i + 1] == '\n') << "lone CR at " << i;
        }
    }
    // Paragraph, empty line, paragraph, ...: nothing before the first or after the last.
    std::vector<std::string> lines;
    for (size_t start = 0;;) {
        const size_t end = text.find("\r\n", start);
        lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) break;
        start = end + 2;
    }
    ASSERT_EQ(lines.size(), 17u);
    for (size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(lines[i].empty(), i % 2 == 1) << "line " << i;

    // The box shows the beginning of paragraph 1 at its top.
    EXPECT_EQ(::SendMessageA(text1, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
    EXPECT_EQ(::SendMessageA(text1, EM_LINEINDEX, 0, 0), 0);
    EXPECT_EQ(::GetFocus(), text1);
}

TEST_F(Forms, HelpOpensOnceAndLoadsAfreshAfterClosing) {
    HWND help = OpenHelp();
    ASSERT_NE(help, nullptr);
    HWND text1 = ::GetDlgItem(help, HelpIds::Text1);

    // The box takes typing (it is not read-only).
    ::SendMessageA(text1, EM_SETSEL, 0, 0);
    for (char c : std::string("Typed ")) ::PostMessageA(text1, WM_CHAR, static_cast<WPARAM>(c), 1);
    Pump(companions);
    const std::string typed = Text(text1);
    EXPECT_EQ(typed, "Typed " + ExpectedHelpText());

    // A second request brings the same window forward without loading it again.
    companions.ShowHelp();
    Pump(companions);
    EXPECT_EQ(companions.HelpWindow(), help);
    EXPECT_EQ(Text(text1), typed) << "the form was loaded a second time";
    EXPECT_EQ(CountWindowsCaptioned("Velquist Help"), 1);
    EXPECT_EQ(::GetForegroundWindow(), help);

    // The title bar's close button unloads it; the next request loads the full text again.
    ::SendMessageA(help, WM_SYSCOMMAND, SC_CLOSE, 0);
    Pump(companions);
    EXPECT_FALSE(::IsWindow(help));
    EXPECT_EQ(companions.HelpWindow(), nullptr);
    HWND again = OpenHelp();
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(Text(::GetDlgItem(again, HelpIds::Text1)), ExpectedHelpText());
    EXPECT_EQ(CountWindowsCaptioned("Velquist Help"), 1);
}

TEST_F(Forms, KeysInHelpGoToTheTextBox) {
    HWND help = OpenHelp();
    ASSERT_NE(help, nullptr);
    HWND text1 = ::GetDlgItem(help, HelpIds::Text1);
    ASSERT_EQ(::GetFocus(), text1);
    // Enter, through the dialog manager, breaks the line rather than looking for a default button.
    const int end = ::GetWindowTextLengthA(text1);
    ::SendMessageA(text1, EM_SETSEL, static_cast<WPARAM>(end), end);
    ::PostMessageA(text1, WM_KEYDOWN, VK_RETURN, 0x001C0001);
    ::PostMessageA(text1, WM_KEYUP, VK_RETURN, 0xC01C0001);
    ::PostMessageA(text1, WM_KEYDOWN, 'X', 0x002D0001);
    ::PostMessageA(text1, WM_KEYUP, 'X', 0xC02D0001);
    // Escape closes nothing.
    ::PostMessageA(text1, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    ::PostMessageA(text1, WM_KEYUP, VK_ESCAPE, 0xC0010001);
    Pump(companions);
    EXPECT_EQ(companions.HelpWindow(), help);
    const std::string text = Text(text1);
    ASSERT_GE(text.size(), 3u);
    EXPECT_EQ(text.substr(text.size() - 3), "\r\nx");
}

TEST_F(Forms, HelpFrameAndLayoutAt96Dpi) {
    HWND help = OpenHelp();
    ASSERT_NE(help, nullptr);
    EXPECT_EQ(Text(help), "Velquist Help");
    ExpectFixedDialogFrame(help);
    ExpectCentredOnScreen(help);
    const SIZE client = ClientSize(help);
    EXPECT_EQ(client.cx, 494);  // 7410 twips
    EXPECT_EQ(client.cy, 297);  // 4455 twips
    HWND text1 = ::GetDlgItem(help, HelpIds::Text1);
    ExpectRect(text1, -1, 0, 494, 297, "Text1");
    const auto icon = reinterpret_cast<HICON>(::SendMessageA(help, WM_GETICON, ICON_BIG, 0));
    EXPECT_EQ(Render(icon, 32, 32), RenderResourceIcon(IDI_PROGRAM, 32, 32)) << "the program icon";

    const LONG_PTR style = ::GetWindowLongPtrA(text1, GWL_STYLE);
    EXPECT_EQ(ClassOf(text1), "Edit");
    EXPECT_TRUE(style & ES_MULTILINE);
    EXPECT_TRUE(style & WS_VSCROLL);
    EXPECT_FALSE(style & WS_HSCROLL);
    EXPECT_FALSE(style & ES_AUTOHSCROLL) << "the text must wrap at the box's width";
    EXPECT_FALSE(style & ES_READONLY);
    // Wrapped: more lines in the box than line breaks in the text.
    EXPECT_GT(::SendMessageA(text1, EM_GETLINECOUNT, 0, 0), 7);
}

TEST_F(Forms, HelpTextBoxIsPaleYellow) {
    HWND help = OpenHelp();
    ASSERT_NE(help, nullptr);
    HWND text1 = ::GetDlgItem(help, HelpIds::Text1);
    const COLORREF paleYellow = RGB(255, 255, 192);

    HDC dc = ::GetDC(text1);
    const auto brush = reinterpret_cast<HBRUSH>(
        ::SendMessageA(help, WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(text1)));
    ASSERT_NE(brush, nullptr);
    LOGBRUSH logBrush{};
    ASSERT_NE(::GetObjectA(brush, sizeof logBrush, &logBrush), 0);
    EXPECT_EQ(logBrush.lbColor, paleYellow);
    EXPECT_EQ(::GetBkColor(dc), paleYellow);
    ::ReleaseDC(text1, dc);

    // And on the screen: the empty line after paragraph 1 shows the background.
    ::RedrawWindow(help, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Pump(companions, 50);
    const std::string text = Text(text1);
    const auto emptyLine = static_cast<WPARAM>(text.find("\r\n\r\n") + 2);
    const LRESULT at = ::SendMessageA(text1, EM_POSFROMCHAR, emptyLine, 0);
    const int y = static_cast<short>(HIWORD(at)) + 3;
    HDC screen = ::GetDC(text1);
    EXPECT_EQ(::GetPixel(screen, 60, y), paleYellow);
    EXPECT_EQ(::GetPixel(screen, 200, y), paleYellow);
    ::ReleaseDC(text1, screen);
}

TEST_F(Forms, VersionLineIsMajorDotMinorWithoutLeadingZeros) {
    EXPECT_EQ(FormatVersionLine(1, 1), "v1.1");
    EXPECT_EQ(FormatVersionLine(1, 10), "v1.10");
    EXPECT_EQ(FormatVersionLine(1, 5), "v1.5");
    EXPECT_EQ(FormatVersionLine(2, 0), "v2.0");
    EXPECT_EQ(FormatVersionLine(10, 1), "v10.1");
    EXPECT_EQ(FormatVersionLine(65535, 65535), "v65535.65535");
    // This program carries the application's version record.
    EXPECT_EQ(ProgramVersionLine(), SourceVersionLine());

    HWND about = OpenAbout();
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(Text(::GetDlgItem(about, AboutIds::Label5)), SourceVersionLine());
}

TEST_F(Forms, ProgramFolderHasNoTrailingBackslash) {
    using win32::FolderOf;
    EXPECT_EQ(FolderOf("C:\\Program Files\\Velquist\\velquist.exe"), "C:\\Program Files\\Velquist");
    EXPECT_EQ(FolderOf("\\\\server\\share\\velquist.exe"), "\\\\server\\share");
    EXPECT_EQ(FolderOf("C:\\velquist.exe"), "C:\\");  // "C:" would mean the drive's current folder
    EXPECT_EQ(FolderOf("velquist.exe"), "");
    EXPECT_EQ(win32::JoinPath("C:\\", "a.dll"), "C:\\a.dll");
    EXPECT_EQ(win32::JoinPath("C:\\app", "a.dll"), "C:\\app\\a.dll");

    char module[MAX_PATH] = {};
    ASSERT_GT(::GetModuleFileNameA(nullptr, module, MAX_PATH), 0u);
    const std::string folder = win32::ProgramFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_NE(folder.back(), '\\');
    const DWORD attributes = ::GetFileAttributesA(folder.c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(std::string(module).rfind(folder + "\\", 0), 0u);
}

TEST_F(Forms, AboutFrameLayoutAndLookAt96Dpi) {
    HWND about = OpenAbout();
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(Text(about), "Velquist");
    ExpectFixedDialogFrame(about);
    ExpectCentredOnScreen(about);
    const SIZE client = ClientSize(about);
    EXPECT_EQ(client.cx, 274);  // 4110 twips
    EXPECT_EQ(client.cy, 152);  // 2280 twips

    // Pixels = twips / 15, inside the frame measured from the frame's corner (120, 30).
    auto item = [&](int id) { return ::GetDlgItem(about, id); };
    ExpectRect(item(AboutIds::Frame1), 8, 2, 257, 141, "Frame1");
    ExpectRect(item(AboutIds::Image1), 32, 28, 24, 22, "Image1");
    ExpectRect(item(AboutIds::Label1), 71, 29, 106, 22, "Label1");
    ExpectRect(item(AboutIds::Label5), 173, 34, 34, 14, "Label5");
    ExpectRect(item(AboutIds::Label3), 70, 60, 166, 17, "Label3");
    ExpectRect(item(AboutIds::Label4), 70, 81, 134, 18, "Label4");
    ExpectRect(item(AboutIds::Command1), 174, 108, 82, 25, "Command1");

    // The window's icon is the cube with its shadow; Image1 shows the plain cube at 24 x 22.
    const auto windowIcon = reinterpret_cast<HICON>(::SendMessageA(about, WM_GETICON, ICON_BIG, 0));
    EXPECT_EQ(Render(windowIcon, 32, 32), RenderResourceIcon(IDI_PROGRAM_SHADOW, 32, 32));
    EXPECT_NE(Render(windowIcon, 32, 32), RenderResourceIcon(IDI_PROGRAM, 32, 32));
    const std::vector<COLORREF> picture = Capture(item(AboutIds::Image1));
    EXPECT_EQ(picture, RenderResourceIcon(IDI_PROGRAM, 24, 22));
    EXPECT_NE(picture, std::vector<COLORREF>(picture.size(), ::GetSysColor(COLOR_BTNFACE))) << "nothing drawn";

    // Tab order, and only the button takes the focus; it is neither default nor cancel.
    std::vector<int> order;
    for (HWND child = ::GetWindow(about, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        order.push_back(::GetDlgCtrlID(child));
        if (::GetDlgCtrlID(child) != AboutIds::Command1) {
            EXPECT_FALSE(::GetWindowLongPtrA(child, GWL_STYLE) & WS_TABSTOP) << ::GetDlgCtrlID(child);
        }
    }
    // The frame stands behind the controls it holds.
    EXPECT_EQ(order, (std::vector<int>{AboutIds::Command1, AboutIds::Label5, AboutIds::Label4, AboutIds::Label3,
                                       AboutIds::Label1, AboutIds::Image1, AboutIds::Frame1}));
    HWND command1 = item(AboutIds::Command1);
    EXPECT_EQ(Text(command1), "OK");
    EXPECT_EQ(::GetWindowLongPtrA(command1, GWL_STYLE) & BS_TYPEMASK, BS_PUSHBUTTON);
    EXPECT_EQ(::GetFocus(), command1);
    EXPECT_EQ(::GetWindowLongPtrA(item(AboutIds::Frame1), GWL_STYLE) & BS_TYPEMASK, BS_GROUPBOX);
    EXPECT_EQ(Text(item(AboutIds::Frame1)), "");

    // Label1: Tahoma 12 point bold.
    EXPECT_EQ(Text(item(AboutIds::Label1)), "Velquist");
    const LOGFONTA name = FontOf(item(AboutIds::Label1));
    EXPECT_STREQ(name.lfFaceName, "Tahoma");
    EXPECT_EQ(name.lfHeight, -16);
    EXPECT_EQ(name.lfWeight, FW_BOLD);

    // Label4: the address in blue MS Sans Serif 8.25 point, underlined.
    HWND label4 = item(AboutIds::Label4);
    EXPECT_EQ(Text(label4).rfind("https://", 0), 0u);
    const LOGFONTA link = FontOf(label4);
    EXPECT_STREQ(link.lfFaceName, "MS Sans Serif");
    EXPECT_EQ(link.lfHeight, -11);
    EXPECT_TRUE(link.lfUnderline);
    HDC dc = ::GetDC(label4);
    ::SendMessageA(about, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(label4));
    EXPECT_EQ(::GetTextColor(dc), RGB(0, 0, 255));
    ::ReleaseDC(label4, dc);

    // The notice and the address each fit on their one line, in whatever face the system gave them.
    for (int id : {AboutIds::Label3, AboutIds::Label4, AboutIds::Label5, AboutIds::Label1}) {
        HWND label = item(id);
        const std::string text = Text(label);
        EXPECT_FALSE(text.empty()) << id;
        HDC labelDc = ::GetDC(label);
        HGDIOBJ old = ::SelectObject(labelDc, reinterpret_cast<HFONT>(::SendMessageA(label, WM_GETFONT, 0, 0)));
        SIZE extent{};
        ::GetTextExtentPoint32A(labelDc, text.c_str(), static_cast<int>(text.size()), &extent);
        ::SelectObject(labelDc, old);
        ::ReleaseDC(label, labelDc);
        const SIZE box = ClientSize(label);
        EXPECT_LE(extent.cx, box.cx) << text;
        EXPECT_LE(extent.cy, box.cy) << text;
    }
}

// Makes the recorder the program the shell starts for https addresses, for the length of a test, and
// puts back what was there. Wine's shell looks only in HKEY_CLASSES_ROOT, which shows the machine's
// classes there and not the user's, so that is where it goes.
class HttpsHandler {
public:
    explicit HttpsHandler(const std::string& command) {
        // The first key of the path that is not there yet goes again afterwards, with all below it.
        std::string path;
        for (const char* part : {"https", "\\shell", "\\open", "\\command"}) {
            path += part;
            if (!testsupport::KeyExists(HKEY_CLASSES_ROOT, path)) {
                firstNew_ = path;
                break;
            }
        }
        HKEY key = nullptr;
        if (::RegCreateKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                              nullptr, &key, nullptr) != ERROR_SUCCESS) {
            return;
        }
        key_.reset(key);
        DWORD size = 0;
        if (::RegQueryValueExA(key, nullptr, nullptr, &oldType_, nullptr, &size) == ERROR_SUCCESS) {
            old_.resize(size);
            hadValue_ = ::RegQueryValueExA(key, nullptr, nullptr, &oldType_, old_.data(), &size) == ERROR_SUCCESS;
            old_.resize(size);
        }
        installed_ = ::RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                                      static_cast<DWORD>(command.size() + 1)) == ERROR_SUCCESS;
    }
    ~HttpsHandler() {
        if (!key_) return;
        if (hadValue_) {
            ::RegSetValueExA(key_.get(), nullptr, 0, oldType_, old_.data(), static_cast<DWORD>(old_.size()));
        } else {
            ::RegDeleteValueA(key_.get(), nullptr);
        }
        key_.reset();
        if (!firstNew_.empty()) testsupport::DeleteTree(HKEY_CLASSES_ROOT, firstNew_);
    }
    HttpsHandler(const HttpsHandler&) = delete;
    HttpsHandler& operator=(const HttpsHandler&) = delete;
    bool Installed() const { return installed_; }

private:
    win32::unique_hkey key_;
    std::string firstNew_;
    bool hadValue_ = false;
    DWORD oldType_ = REG_NONE;
    std::vector<BYTE> old_;
    bool installed_ = false;
};

// The About box's link with the recorder standing in for the browser.
class AboutLink : public Forms {
protected:
    void SetUp() override {
        handler = std::make_unique<HttpsHandler>("\"" VELQUIST_LINK_RECORDER "\" \"" + record + "\" \"%1\"");
        ASSERT_TRUE(handler->Installed());
    }
    void TearDown() override {
        Forms::TearDown();
        handler.reset();
    }
    // What the recorder wrote once it has been started `count` times (or after ten seconds): per start,
    // its current folder, its show state and its arguments.
    std::vector<std::vector<std::string>> WaitForOpens(size_t count) {
        std::vector<std::vector<std::string>> opens;
        const DWORD start = ::GetTickCount();
        do {
            Pump(companions, 50);
            opens.clear();
            std::istringstream lines(testsupport::ReadBytes(record));
            for (std::string line; std::getline(lines, line);) {
                if (!line.empty() && line.back() == '\r') line.pop_back();
                std::vector<std::string> fields;
                std::istringstream parts(line);
                for (std::string field; std::getline(parts, field, '\t');) fields.push_back(field);
                opens.push_back(fields);
            }
        } while (opens.size() < count && ::GetTickCount() - start < 10000);
        return opens;
    }
    testsupport::TempDir scratch;
    const std::string record = scratch / "opens.txt";
    std::unique_ptr<HttpsHandler> handler;
};

TEST_F(AboutLink, LeftPressOpensTheAddressThroughTheShell) {
    HWND about = OpenAbout();
    ASSERT_NE(about, nullptr);
    HWND label4 = ::GetDlgItem(about, AboutIds::Label4);
    const std::string address = Text(label4);

    // The label answers the mouse itself rather than passing it through to the window below.
    POINT inside{5, 5};
    ::ClientToScreen(label4, &inside);
    EXPECT_EQ(::SendMessageA(label4, WM_NCHITTEST, 0, MAKELPARAM(inside.x, inside.y)), HTCLIENT);

    ::PostMessageA(label4, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    std::vector<std::vector<std::string>> opens = WaitForOpens(1);
    ASSERT_EQ(opens.size(), 1u) << "the press itself opens the link";
    // The address alone, opened in the program's folder (no trailing backslash), shown normally.
    EXPECT_EQ(opens[0], (std::vector<std::string>{win32::ProgramFolder(), std::to_string(SW_SHOWNORMAL), address}));
    EXPECT_EQ(companions.AboutWindow(), about);
    EXPECT_TRUE(::IsWindowVisible(about));

    // Released elsewhere, pressed again (a double click included): every press opens it again.
    ::PostMessageA(label4, WM_LBUTTONUP, 0, MAKELPARAM(500, 500));
    ::PostMessageA(label4, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(6, 6));
    EXPECT_EQ(WaitForOpens(2).size(), 2u);

    // The link opens whatever address the label shows.
    ::SetWindowTextA(label4, "https://other.example/");
    ::PostMessageA(label4, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    opens = WaitForOpens(3);
    ASSERT_EQ(opens.size(), 3u);
    EXPECT_EQ(opens[2].back(), "https://other.example/");
}

TEST_F(AboutLink, OtherButtonsOnTheLinkDoNothing) {
    HWND about = OpenAbout();
    ASSERT_NE(about, nullptr);
    HWND label4 = ::GetDlgItem(about, AboutIds::Label4);
    ::PostMessageA(label4, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(5, 5));
    ::PostMessageA(label4, WM_RBUTTONUP, 0, MAKELPARAM(5, 5));
    ::PostMessageA(label4, WM_MBUTTONDOWN, MK_MBUTTON, MAKELPARAM(5, 5));
    ::PostMessageA(label4, WM_MBUTTONUP, 0, MAKELPARAM(5, 5));
    // A left press after them marks the end: by the time its start is written, theirs would have been.
    ::PostMessageA(label4, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    ASSERT_EQ(WaitForOpens(1).size(), 1u);
    Pump(companions, 1000);
    EXPECT_EQ(WaitForOpens(1).size(), 1u);
    EXPECT_EQ(companions.AboutWindow(), about);
}

TEST_F(Forms, AnAddressTheShellCannotOpenPassesSilently) {
    HWND about = OpenAbout();
    ASSERT_NE(about, nullptr);
    HWND label4 = ::GetDlgItem(about, AboutIds::Label4);
    ::SetWindowTextA(label4, "velquist-no-such-scheme:nothing");
    ::PostMessageA(label4, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    Pump(companions, 500);
    EXPECT_EQ(companions.AboutWindow(), about);
    EXPECT_TRUE(::IsWindowVisible(about));
    EXPECT_EQ(CountWindowsCaptioned(""), 1) << "no message box, no other window";
}

TEST_F(Forms, EnterOrSpaceOnAFreshAboutPressesOk) {
    HWND about = OpenAbout();
    ASSERT_NE(about, nullptr);
    HWND focus = ::GetFocus();
    ASSERT_EQ(focus, ::GetDlgItem(about, AboutIds::Command1));
    // Escape: there is no cancel button.
    ::PostMessageA(focus, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    ::PostMessageA(focus, WM_KEYUP, VK_ESCAPE, 0xC0010001);
    Pump(companions);
    ASSERT_EQ(companions.AboutWindow(), about);
    ::PostMessageA(focus, WM_KEYDOWN, VK_RETURN, 0x001C0001);
    ::PostMessageA(focus, WM_KEYUP, VK_RETURN, 0xC01C0001);
    Pump(companions);
    EXPECT_FALSE(::IsWindow(about));
    EXPECT_EQ(companions.AboutWindow(), nullptr);

    about = OpenAbout();
    ASSERT_NE(about, nullptr);
    focus = ::GetFocus();
    ASSERT_EQ(focus, ::GetDlgItem(about, AboutIds::Command1));
    ::PostMessageA(focus, WM_KEYDOWN, VK_SPACE, 0x00390001);
    ::PostMessageA(focus, WM_CHAR, ' ', 0x00390001);
    ::PostMessageA(focus, WM_KEYUP, VK_SPACE, 0xC0390001);
    Pump(companions);
    EXPECT_FALSE(::IsWindow(about));
    EXPECT_EQ(companions.AboutWindow(), nullptr);
}

TEST_F(Forms, AboutOpensOnceAndOkOrCloseUnloadsIt) {
    HWND about = OpenAbout();
    ASSERT_NE(about, nullptr);
    HWND label5 = ::GetDlgItem(about, AboutIds::Label5);
    ::SetWindowTextA(label5, "marker");
    companions.ShowAbout();
    Pump(companions);
    EXPECT_EQ(companions.AboutWindow(), about);
    EXPECT_EQ(Text(label5), "marker") << "the form was loaded a second time";
    EXPECT_EQ(CountWindowsCaptioned("Velquist"), 1);

    ::SendMessageA(::GetDlgItem(about, AboutIds::Command1), BM_CLICK, 0, 0);
    Pump(companions);
    EXPECT_FALSE(::IsWindow(about));
    EXPECT_EQ(companions.AboutWindow(), nullptr);

    about = OpenAbout();
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(Text(::GetDlgItem(about, AboutIds::Label5)), SourceVersionLine());
    ::SendMessageA(about, WM_SYSCOMMAND, SC_CLOSE, 0);
    Pump(companions);
    EXPECT_FALSE(::IsWindow(about));
    EXPECT_EQ(companions.AboutWindow(), nullptr);
}

TEST_F(Forms, ClosingBothAtTheProgramsEnd) {
    HWND help = OpenHelp();
    HWND about = OpenAbout();
    ASSERT_NE(help, nullptr);
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(::GetForegroundWindow(), about);
    EXPECT_TRUE(::IsWindow(help)) << "one window does not replace the other";
    companions.CloseAll();
    EXPECT_FALSE(::IsWindow(help));
    EXPECT_FALSE(::IsWindow(about));
    EXPECT_EQ(companions.HelpWindow(), nullptr);
    EXPECT_EQ(companions.AboutWindow(), nullptr);
    companions.CloseAll();  // nothing open: nothing to do
    EXPECT_NE(OpenHelp(), nullptr);
}

TEST_F(Forms, EachOwnerHasItsOwnPairAndClosesItWhenItGoes) {
    HWND help = OpenHelp();
    ASSERT_NE(help, nullptr);
    HWND otherHelp = nullptr;
    HWND otherAbout = nullptr;
    {
        Companions other;  // a second main window's
        EXPECT_EQ(other.HelpWindow(), nullptr);
        other.ShowHelp();
        other.ShowAbout();
        Pump(other);
        otherHelp = other.HelpWindow();
        otherAbout = other.AboutWindow();
        ASSERT_NE(otherHelp, nullptr);
        ASSERT_NE(otherAbout, nullptr);
        EXPECT_NE(otherHelp, help);
        EXPECT_EQ(companions.AboutWindow(), nullptr);
        EXPECT_EQ(CountWindowsCaptioned("Velquist Help"), 2);
    }
    EXPECT_FALSE(::IsWindow(otherHelp));
    EXPECT_FALSE(::IsWindow(otherAbout));
    EXPECT_EQ(companions.HelpWindow(), help);
    EXPECT_TRUE(::IsWindowVisible(help));
}

TEST_F(Forms, MessagesOfOtherWindowsAreLeftToTheLoop) {
    HWND help = OpenHelp();
    ASSERT_NE(help, nullptr);
    HWND other = ::CreateWindowExA(0, "EDIT", "", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100, nullptr,
                                   nullptr, nullptr, nullptr);
    ASSERT_NE(other, nullptr);
    MSG msg{other, WM_KEYDOWN, VK_TAB, 0, 0, {}};
    EXPECT_FALSE(companions.TranslateDialogMessage(&msg));
    EXPECT_FALSE(companions.TranslateDialogMessage(nullptr));
    MSG mine{::GetDlgItem(help, HelpIds::Text1), WM_KEYDOWN, VK_TAB, 0, 0, {}};
    EXPECT_TRUE(companions.TranslateDialogMessage(&mine));
    ::DestroyWindow(other);
}

TEST_F(Forms, DpiChangeRescalesLayoutAndFonts) {
    HWND help = OpenHelp();
    HWND about = OpenAbout();
    ASSERT_NE(help, nullptr);
    ASSERT_NE(about, nullptr);
    RECT suggested{100, 100, 900, 700};
    ::SendMessageA(help, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    ::SendMessageA(about, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    RECT window{};
    ::GetWindowRect(help, &window);
    EXPECT_EQ(window.left, 100);
    EXPECT_EQ(window.top, 100);
    // 7410 x 4455 twips at 144 DPI; the frame is whatever this system gives it for that DPI.
    ExpectRect(::GetDlgItem(help, HelpIds::Text1), -2, 0, 741, 446, "Text1 at 144 DPI");
    ExpectRect(::GetDlgItem(about, AboutIds::Command1), 261, 162, 123, 38, "Command1 at 144 DPI");
    EXPECT_EQ(FontOf(::GetDlgItem(about, AboutIds::Label1)).lfHeight, -24);
    EXPECT_EQ(FontOf(::GetDlgItem(about, AboutIds::Label4)).lfHeight, -17);  // 8.25 pt at 144 DPI: 16.5
    ::SendMessageA(help, WM_DPICHANGED, MAKEWPARAM(96, 96), reinterpret_cast<LPARAM>(&suggested));
    ExpectRect(::GetDlgItem(help, HelpIds::Text1), -1, 0, 494, 297, "Text1 back at 96 DPI");
}

}  // namespace
