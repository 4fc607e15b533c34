// The register and un-register runs: single-file checks, the folder walk, the result lines.
#include "app/Commands.h"

#include <string>

#include "app/velquistform.h"
#include "folders/Module1.h"
#include "registration/modRegister.h"
#include "win32/WindowText.h"

namespace velquist {

namespace {

constexpr char kMessageTitle[] = "Velquist!";

void ShowError(HWND owner, const char* text) { ::MessageBoxA(owner, text, kMessageTitle, MB_OK | MB_ICONERROR); }

// Forwards every line to the window's list and then paints whatever of the window is invalid, so
// that a long run shows its progress even where another window uncovered it. Painting takes no input.
class PaintingList : public ResultList {
public:
    PaintingList(ResultList& inner, HWND window) : inner_(inner), window_(window) {}
    void Clear() override {
        inner_.Clear();
        Paint();
    }
    int Count() const override { return inner_.Count(); }
    void Add(const std::string& key, const std::string& text, int icon) override {
        inner_.Add(key, text, icon);
        Paint();
    }

private:
    void Paint() {
        if (window_ != nullptr) ::RedrawWindow(window_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    }
    ResultList& inner_;
    HWND window_;
};

// The hourglass for the length of a run; input given meanwhile is dropped when the run ends, so that
// a click on a button while the window was busy cannot start a second run that clears the results.
class BusyScope {
public:
    // The window itself keeps its place on the screen: WinMain turned off the "Not Responding" ghost.
    BusyScope() {
        previous_ = ::SetCursor(::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT)));
    }
    ~BusyScope() {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
        }
        while (::PeekMessageA(&msg, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
        }
        while (::PeekMessageA(&msg, nullptr, WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK, PM_REMOVE)) {
        }
        if (previous_ == nullptr) previous_ = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
        ::SetCursor(previous_);
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    HCURSOR previous_ = nullptr;
};

}  // namespace

bool IsOrdinaryFile(const std::string& path) {
    // GetFileAttributesA names one file exactly; a wildcard is no file name and finds nothing.
    if (path.empty() || path.find_first_of("*?") != std::string::npos) return false;
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) == 0;
}

bool IsFolder(const std::string& path) {
    if (path.empty() || path.find_first_of("*?") != std::string::npos) return false;
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void RunCommand(const RunInputs& inputs, ResultList& results, bool registerFlag) {
    BusyScope busy;
    PaintingList list(results, inputs.owner);
    list.Clear();

    if (::SendMessageA(inputs.option1, BM_GETCHECK, 0, 0) == BST_CHECKED) {
        if (!IsOrdinaryFile(win32::WindowText(inputs.text1))) {
            ShowError(inputs.owner, "No file selected");
            return;
        }
        if (!modRegister::IsDLLActiveX(win32::WindowText(inputs.text1))) {
            ShowError(inputs.owner, "This file is not an ActiveX component");
            return;
        }
        if (modRegister::RunServerEntry(win32::WindowText(inputs.text1), registerFlag)) {
            AddResultLine(list, (registerFlag ? "Registered : " : "Unregistered : ") + win32::WindowText(inputs.text1),
                          kIconSuccess);
        } else {
            AddResultLine(list, "Failed : " + win32::WindowText(inputs.text1), kIconFailure);
        }
    } else {
        const bool includeSubfolders = ::SendMessageA(inputs.check1, BM_GETCHECK, 0, 0) != BST_UNCHECKED;
        const std::string folder = win32::WindowText(inputs.text2);
        // A missing folder, or a text naming a file, is no folder to walk; the run just closes.
        if (IsFolder(folder)) Module1::RegisterFolder(folder, includeSubfolders, registerFlag, list);
    }

    AddResultLine(list, registerFlag ? "Register operation completed" : "Unregister operation completed",
                  kIconProgram);
}

void RunCommand(velquistform& form, bool registerFlag) {
    RunCommand(RunInputs{form.Handle(), form.Option1, form.Text1, form.Text2, form.Check1}, form.Results(),
               registerFlag);
}

}  // namespace velquist
