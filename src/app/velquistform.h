// The main window: mode options, the two path boxes, the result list, the commands and the menus.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <array>
#include <memory>
#include <span>
#include <string>

#include "app/Elevation.h"
#include "app/RunRequest.h"
#include "app/ListViewResultList.h"
#include "registration/Session.h"
#include "win32/Handles.h"
#include "win32/Layout.h"
#include "win32/Window.h"
#include "windows/HelpAbout.h"

namespace velquist {

// Child-window identifiers of the main window's controls (tab order is creation order).
enum ControlId : int {
    kIdOption1 = 1001,
    kIdText1,
    kIdCommand3,
    kIdOption2,
    kIdText2,
    kIdCommand4,
    kIdCheck1,
    kIdListView1,
    kIdCommand5,
    kIdCommand1,
    kIdCommand2,
    kIdLabel2,
    kIdLabel3,
    kIdLabel1,
};

// Client area of the window, in twips.
constexpr int kClientWidthTwips = 8235;
constexpr int kClientHeightTwips = 4815;
// The result list's one column: 12877 HIMETRIC (hundredths of a millimetre).
constexpr int kResultColumnHimetric = 12877;

// The control table of the main window, in tab order.
std::span<const win32::ControlSpec> MainWindowControls() noexcept;

// Pixels for a length in HIMETRIC units at dpi.
int HimetricToPixels(int himetric, int dpi) noexcept;

class velquistform : public win32::Window<velquistform> {
public:
    // runners: the programs that load components for the window's runs (production: beside the program).
    explicit velquistform(const registration::RunnerPrograms& runners = registration::RunnerPrograms::BesideProgram());
    ~velquistform() override;

    static const char* ClassName() { return "velquistform"; }

    // Loads the window with its controls in their initial states (single-file mode, empty list),
    // sized for its monitor's DPI and centred on the screen; hidden until the caller shows it.
    bool Create();

    // Fills the inputs as a path on the command line or a drop does: a folder selects directory mode
    // with Text2 = path (and Check1 = subfolders); anything else single-file mode with Text1 = path.
    void FillInputs(const std::string& path, bool subfolders);

    // F1 and the other shortcuts of the window, for the message loop.
    HACCEL Accelerators() const noexcept { return accelerators_; }

    // The result list shown in ListView1.
    ResultList& Results() noexcept { return *results_; }
    ListViewResultList& ResultLines() noexcept { return *results_; }

    // The shell's folder browser, owned by hwndOwner; the confirmed folder or "".
    std::string BrowseForFolder(HWND hwndOwner, const std::string& sPrompt);

    // Event handlers.
    void Option1_Click();
    void Option2_Click();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    void mnuexit_Click();
    void mnusave_Click();
    void mnuperuser_Click();
    void mnurestart_Click();
    void mnucontents_Click();
    void mnuabout_Click();
    void Form_Unload();

    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) noexcept;

    // Where a run shows its progress besides the caption: the task bar button. Tests put their own.
    class ProgressDisplay {
    public:
        virtual ~ProgressDisplay() = default;
        virtual void Walking(HWND window) = 0;  // a folder walk began: progress without a measure
        virtual void Idle(HWND window) = 0;     // the run ended
    };
    void SetProgressDisplay(ProgressDisplay* display) noexcept { progress_ = display; }

    // Registering for the current user only (File menu, /user); off at start.
    bool PerUser() const noexcept { return perUser_; }
    void SetPerUser(bool perUser);
    // Who answers whether we are elevated and starts us elevated: the system, unless a test says.
    void SetElevation(Elevation* elevation) noexcept { elevation_ = elevation; }
    // What the controls ask for: the one reader of the mode, the path, sub-directories and per user.
    RunRequest ReadRequest(bool registerFlag) const;

    // The DPI the window is laid out for.
    int Dpi() const noexcept { return dpi_; }

    // The controls, by their names.
    HWND Option1 = nullptr;
    HWND Text1 = nullptr;
    HWND Command3 = nullptr;
    HWND Option2 = nullptr;
    HWND Text2 = nullptr;
    HWND Command4 = nullptr;
    HWND Check1 = nullptr;
    HWND ListView1 = nullptr;
    HWND Command5 = nullptr;
    HWND Command1 = nullptr;
    HWND Command2 = nullptr;
    HWND Label1 = nullptr;
    HWND Label2 = nullptr;
    HWND Label3 = nullptr;
    HIMAGELIST ImageList1 = nullptr;

private:
    void OnCreate();
    void OnCommand(int id, int code);
    void OnDpiChanged(int dpi, const RECT& suggested);
    // Places every control, sets the font and the column width for dpi_, and sizes the window so
    // that its client area is the designed size in twips; the window's top left stays at origin.
    void Layout(POINT origin);
    // Gives each label whose text does not fit its box in font_ a smaller font of the same face.
    void FitLabels();
    void CreateImageList();
    void CreateMenuBar();
    LRESULT OnListNotify(const NMHDR& header);
    void OnDropFiles(HDROP drop);
    // The list's own commands: the selected rows to the clipboard, a row's detail in a message box,
    // the context menu at a screen point (-1, -1: from the keyboard).
    void CopyRows();
    void ShowRowDetail(int row);
    void ShowListMenu(POINT at);
    // Runs a command, once at a time: while a run waits for a component, messages sent to the window
    // are handled, and may ask for another run or for the window to close.
    void Run(bool registerFlag);
    // Input that arrives during a run: Esc stops it; Close, the title bar's close box and Alt+F4 ask
    // for the window to close (which stops it); everything else is dropped.
    void HandleInputDuringRun();
    class WindowRun;

    int dpi_ = 96;
    win32::unique_gdi<HFONT> font_;
    // Smaller fonts for the labels whose text would not fit their boxes in font_ (else null).
    std::array<win32::unique_gdi<HFONT>, 3> labelFonts_;
    HACCEL accelerators_ = nullptr;
    std::unique_ptr<ListViewResultList> results_;
    bool running_ = false;       // a run is in progress
    bool closePending_ = false;  // asked to close during a run: close when it has unwound
    bool stopRequested_ = false; // the run in progress is to stop
    ProgressDisplay* progress_ = nullptr;  // null: the task bar
    bool perUser_ = false;
    Elevation* elevation_ = nullptr;       // null: the system's
    win32::unique_gdi<HBITMAP> shield_;    // the Restart as administrator item's picture
    Elevation& Rights() const { return elevation_ != nullptr ? *elevation_ : SystemElevation(); }
    // After a run in which access was denied: offers to start again elevated and run it again.
    void OfferElevation(const RunRequest& request);

    registration::Session session_;  // the runners of this window's runs
    // Help and About of this window; the message loop reaches them through the window's handle.
    Companions companions_;
    static const Companions* CompanionsOf(HWND main) noexcept;
    friend bool TranslateMainWindowMessage(HWND main, HACCEL accelerators, MSG* msg);
};

}  // namespace velquist
