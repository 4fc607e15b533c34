// The main window's runs: the one reader of what the controls and the File menu's settings ask for,
// the start of each kind of run, from the buttons, the Tools menu or the command line, and the undo
// of the last one.
#include "window/velquistform.h"

#include <string>
#include <utility>

#include "pickers/CommonDialogAPI.h"
#include "registration/Details.h"
#include "results/RegFile.h"
#include "tasks/Commands.h"
#include "tasks/Tasks.h"
#include "tasks/UndoRun.h"
#include "resource.h"
#include "win32/WindowText.h"

namespace velquist {
namespace {

bool IsTextBox(HWND window) {
    char name[16] = {};
    return window != nullptr && ::GetClassNameA(window, name, static_cast<int>(std::size(name))) > 0 &&
           ::lstrcmpiA(name, "Edit") == 0;
}

}  // namespace

void velquistform::SetPerUser(bool perUser) {
    perUser_ = perUser;
    MainMenus::ShowChecked(Handle(), IDM_PERUSER, perUser_);
}

void velquistform::mnuperuser_Click() { SetPerUser(!perUser_); }

void velquistform::SetForce(bool force) {
    force_ = force;
    MainMenus::ShowChecked(Handle(), IDM_FORCE, force_);
}

void velquistform::mnuforce_Click() { SetForce(!force_); }

void velquistform::SetTypeLibraries(bool typeLibraries) {
    typeLibraries_ = typeLibraries;
    MainMenus::ShowChecked(Handle(), IDM_TYPELIBS, typeLibraries_);
}

void velquistform::mnutypelibs_Click() { SetTypeLibraries(!typeLibraries_); }


RunRequest velquistform::ReadRequest(bool registerFlag) const {
    RunRequest request;
    const bool directory = ::SendMessageA(Option1, BM_GETCHECK, 0, 0) != BST_CHECKED;
    request.mode = directory ? RunRequest::Mode::Directory : RunRequest::Mode::SingleFile;
    request.path = win32::WindowText(directory ? Text2 : Text1);
    request.subfolders = ::SendMessageA(Check1, BM_GETCHECK, 0, 0) == BST_CHECKED;
    request.registerFlag = registerFlag;
    request.perUser = perUser_;
    request.force = force_;
    request.typeLibraries = typeLibraries_;
    return request;
}

void velquistform::Run(const RunRequest& request) {
    RunSummary summary;
    run_->SetProgressDisplay(progress_);
    const auto showError = [this](const std::string& message) {
        ::MessageBoxA(Handle(), message.c_str(), "Velquist!", MB_OK | MB_ICONERROR);
    };
    if (!run_->Run(request, session_, list_->Rows(), showError, summary)) return;
    if (run_->ClosePending()) {
        Form_Unload();
        return;
    }
    // The elevated instance runs the same request; a clean writes a backup of its own there (this
    // one holds what was removed here).
    RunRequest again = request;
    if (request.task == RunRequest::Task::Clean) again.target = DefaultBackupPath(" (administrator)");
    if (!summary.stopped && summary.accessDenied && !Rights().IsElevated() && OfferElevation(Handle(), Rights(), again)) {
        Form_Unload();
    }
}

void velquistform::Command5_Click() {
    RunRequest request = ReadRequest(true);
    request.install = std::exchange(armedInstall_, {});
    Run(request);
}

void velquistform::Command1_Click() {
    RunRequest request = ReadRequest(false);
    request.install = std::exchange(armedInstall_, {});
    Run(request);
}

void velquistform::SetInstall(const registration::InstallCall& install, bool run) {
    if (!install.on) return;
    installChoice_ = {install.commandLine, !install.alone};
    if (run) armedInstall_ = install;
}

void velquistform::mnudllinstall_Click() {
    if (Busy()) return;
    const InstallAnswer answer = AskInstall(Handle(), installChoice_);
    if (answer == InstallAnswer::Cancelled) return;
    RunRequest request = ReadRequest(answer == InstallAnswer::Install);
    request.install = {true, !installChoice_.alsoRegister, !installChoice_.commandLine.empty(),
                       installChoice_.commandLine};
    Run(request);
}

void velquistform::RunTool(RunRequest::Task task) {
    if (Busy()) return;
    RunRequest request = ReadRequest(true);
    request.task = task;
    if (!TaskOf(task).takesPath) {  // the machine's, not the inputs'
        request = RunRequest{};
        request.task = task;
    }
    if (TaskOf(task).fileSwitch) request.target = std::exchange(toolTarget_, {});
    Run(request);
}

void velquistform::mnuundo_Click(bool fromKey) {
    // Ctrl+Z in a text box is the box's own undo of its text.
    if (fromKey && IsTextBox(::GetFocus())) {
        ::SendMessageA(::GetFocus(), EM_UNDO, 0, 0);
        return;
    }
    if (Busy() || !lastRun_.Changed()) return;
    const UndoSummary summary = UndoRun(lastRun_, list_->Rows());
    if (summary.accessDenied && !Rights().IsElevated()) OfferElevatedUndo();
}

// What the rights of this instance could not put back goes to a restart as administrator in a .reg
// file of its own, which that instance reads and deletes; only what is still as the run left it goes.
void velquistform::OfferElevatedUndo() {
    std::wstring text;
    if (!undo::UndoText(undo::Pending(lastRun_.Components()), text)) return;
    const char* question = "Some of what the last run changed could not be put back because access was denied.\n\n"
                           "Restart Velquist as administrator and put it back?";
    if (::MessageBoxA(Handle(), question, "Velquist!", MB_YESNO | MB_ICONQUESTION) != IDYES) return;
    RunRequest request;
    request.task = RunRequest::Task::PutBack;
    request.target = HandOverPath();
    DWORD error = ERROR_SUCCESS;
    if (request.target.empty() || !SaveRegFile(request.target, text, error)) {
        const std::string message = "The undo could not be handed over: " + modRegister::CodeText(error) +
                                    "\n\nFile > Save undo file... writes a file that puts it back when imported as "
                                    "administrator.";
        ::MessageBoxA(Handle(), message.c_str(), "Velquist!", MB_OK | MB_ICONERROR);
        return;
    }
    if (RestartElevated(Handle(), Rights(), request, true)) {
        Form_Unload();
        return;
    }
    ::DeleteFileA(request.target.c_str());
}

void velquistform::mnusaveundo_Click() {
    if (Busy() || !lastRun_.Changed()) return;
    const std::string file =
        pickers::ShowSaveFileDialog(Handle(), "Velquist undo.reg", std::string(kRegFilter), "Save undo file", "reg");
    if (file.empty()) return;
    std::wstring text;
    DWORD error = ERROR_SUCCESS;
    std::string reason = "A key or value name holds a line break, which a .reg file cannot hold.";
    if (undo::UndoText(lastRun_.Components(), text)) {
        if (SaveRegFile(file, text, error)) return;
        reason = modRegister::CodeText(error);
    }
    const std::string message = "The undo file could not be saved to " + file + "." + (reason.empty() ? "" : "\n\n" + reason);
    ::MessageBoxA(Handle(), message.c_str(), "Velquist!", MB_OK | MB_ICONERROR);
}

void velquistform::PostTool(RunRequest::Task task, const std::string& target) {
    const int command = TaskOf(task).menuId;
    if (command == 0) return;  // the buttons' runs are clicks, not tools
    toolTarget_ = target;
    ::PostMessageA(Handle(), WM_COMMAND, MAKEWPARAM(command, 0), 0);
}

}  // namespace velquist
