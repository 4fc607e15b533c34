// The main window: creation, its messages and commands, the handlers of its controls and menus. Its
// layout, menus, result list and run state are parts of their own.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <memory>
#include <string>

#include "window/MainLayout.h"
#include "window/MainMenus.h"
#include "window/ResultListView.h"
#include "tasks/RunRequest.h"
#include "window/RunState.h"
#include "window/Rights.h"
#include "registration/Session.h"
#include "win32/Window.h"
#include "windows/HelpAbout.h"
#include "windows/InstallDialog.h"

namespace velquist {

class velquistform : public win32::Window<velquistform> {
public:
    // rights: who says whether the program is elevated and restarts it so (the system's, in the program);
    // runners: the programs that load components for the window's runs (production: beside the program).
    explicit velquistform(Elevation& rights,
                          const registration::RunnerPrograms& runners = registration::RunnerPrograms::BesideProgram());
    ~velquistform() override;

    static const char* ClassName() { return "velquistform"; }

    // Loads the window with its controls in their initial states (single-file mode, empty list),
    // sized for its monitor's DPI and centred on the screen; hidden until the caller shows it.
    bool Create();

    // Fills the inputs as a path on the command line or a drop does: a folder selects directory mode
    // with Text2 = path (and Check1 = subfolders); anything else single-file mode with Text1 = path.
    void FillInputs(const std::string& path, bool subfolders);

    // F1 and the other shortcuts of the window, for the message loop.
    HACCEL Accelerators() const noexcept { return accelerators_.get(); }

    // The result list shown in ListView1.
    ResultList& Results() noexcept { return list_->Rows(); }
    ListViewResultList& ResultLines() noexcept { return list_->Rows(); }

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
    void mnuforce_Click();
    void mnutypelibs_Click();
    // From File > Undo last run, or from its key (Ctrl+Z), which a text box with the focus keeps.
    void mnuundo_Click(bool fromKey = false);
    void mnusaveundo_Click();
    // After an undo that was denied access: the offer of a restart as administrator that puts back the rest.
    void OfferElevatedUndo();
    // Tools > Call DllInstall...: its dialog, then DllInstall over the inputs as it says.
    void mnudllinstall_Click();
    void mnurestart_Click();
    void mnucontents_Click();
    void mnuabout_Click();
    void Form_Unload();

    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) noexcept;

    // Where a run shows its progress besides the caption (nullptr: the task bar). Tests put their own.
    using ProgressDisplay = velquist::ProgressDisplay;
    void SetProgressDisplay(ProgressDisplay* display) noexcept { progress_ = display; }

    // Registering for the current user only (File menu, /user); off at start.
    bool PerUser() const noexcept { return perUser_; }
    void SetPerUser(bool perUser);
    // Unregistering copies whose classes are registered for another file too (File menu, /force);
    // off at start: such a copy is left registered.
    bool Force() const noexcept { return force_; }
    void SetForce(bool force);
    // Registering and unregistering type library files too (File menu, /tlb); off at start.
    bool TypeLibraries() const noexcept { return typeLibraries_; }
    void SetTypeLibraries(bool typeLibraries);
    // Who answers whether we are elevated and starts us elevated, instead of the one it was made with.
    void SetElevation(Elevation* elevation) noexcept { elevation_ = elevation; }
    // What the controls ask for: the one reader of the mode, the path, sub-directories and per user.
    RunRequest ReadRequest(bool registerFlag) const;
    // Starts a check or an export of the inputs from the message loop, as the Tools menu would; an
    // export to `target` writes that file without asking for one.
    void PostTool(RunRequest::Task task, const std::string& target = {});
    // DllInstall as the command line asks for it (/i, /n): what the dialog shows first and, with
    // `run`, what the next press of Velquist! or Un-Velquist! calls.
    void SetInstall(const registration::InstallCall& install, bool run);

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
    HIMAGELIST ImageList1 = nullptr;  // owned by the result list

private:
    void OnCreate();
    void OnCommand(int id, int code);
    void OnDpiChanged(int dpi, const RECT& suggested);
    void OnDropFiles(HDROP drop);
    // Enables the inputs of directory mode, or those of single-file mode.
    void EnableMode(bool directory);
    bool Busy() const noexcept { return run_ && run_->Busy(); }
    // Runs a command, once at a time: while a run waits for a component, messages sent to the window
    // are handled, and may ask for another run or for the window to close.
    void Run(const RunRequest& request);
    void RunTool(RunRequest::Task task);
    Elevation& Rights() const { return *elevation_; }

    int dpi_ = 96;
    win32::unique_haccel accelerators_;  // the resource's shortcuts and the tasks'
    MainLayout layout_;
    MainMenus menus_;
    std::unique_ptr<ResultListView> list_;
    std::unique_ptr<RunState> run_;
    ProgressDisplay* progress_ = nullptr;  // null: the task bar
    bool perUser_ = false;
    bool force_ = false;
    bool typeLibraries_ = false;
    // The last register or unregister run's undo record, in memory only.
    class LastRun final : public undo::RunRecord {
    public:
        std::string WayBack() const override { return "File > Undo last run puts back what it changed."; }
    };
    LastRun lastRun_;
    std::string toolTarget_;               // the next export's file, from the command line; "" to ask
    InstallChoice installChoice_;          // the DllInstall dialog's last settings
    registration::InstallCall armedInstall_;  // the next button press's DllInstall, from the command line
    Elevation* elevation_;                 // never null
    registration::Session session_;        // the runners of this window's runs

    // Help and About of this window; the message loop reaches them through the window's handle.
    Companions companions_;
    static const Companions* CompanionsOf(HWND main) noexcept;
    friend bool TranslateMainWindowMessage(HWND main, HACCEL accelerators, MSG* msg);
};

}  // namespace velquist
