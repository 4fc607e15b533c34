// Opens the main window and presses one of its "..." buttons, so that the file dialog or the folder
// browser shows over Velquist as a user sees it, for tools/screenshot-pickers:
//   picker_preview.exe file|folder
// or registers a folder and shows the detail of its last failed line, as Enter on that row does:
//   picker_preview.exe details FOLDER RUNNERFOLDER
#include <windows.h>
#include <objbase.h>

#include <commctrl.h>
#include <shellapi.h>

#include <cstring>
#include <string>

#include "app/MessageLoop.h"
#include "registration/modRegister.h"
#include "app/Startup.h"
#include "app/velquistform.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    velquist::PrepareProcess();
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    int exitCode = 1;
    {
        velquist::velquistform form;
        int count = 0;
        LPWSTR* arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
        auto argument = [&](int i) {
            char text[MAX_PATH * 4] = {};
            if (arguments != nullptr && i < count) {
                ::WideCharToMultiByte(CP_ACP, 0, arguments[i], -1, text, sizeof text, nullptr, nullptr);
            }
            return std::string(text);
        };
        if (form.Create() && argument(1) == "details") {
            modRegister::UseRunnerFolder(argument(3));
            ::SendMessageA(form.Option2, BM_CLICK, 0, 0);
            ::SetWindowTextA(form.Text2, argument(2).c_str());
            ::ShowWindow(form.Handle(), SW_SHOWNORMAL);
            ::UpdateWindow(form.Handle());
            form.Command5_Click();
            int failed = 0;  // the last failed line
            for (int row = 0; row < form.Results().Count(); ++row) {
                if (form.ResultLines().Line(row)->icon == velquist::kIconFailure) failed = row;
            }
            LVITEMA item{};
            item.stateMask = item.state = LVIS_FOCUSED | LVIS_SELECTED;
            ::SendMessageA(form.ListView1, LVM_SETITEMSTATE, static_cast<WPARAM>(failed), reinterpret_cast<LPARAM>(&item));
            ::SetFocus(form.ListView1);
            ::PostMessageA(form.ListView1, WM_KEYDOWN, VK_RETURN, 0x001C0001);
            exitCode = velquist::RunMessageLoop(form.Handle(), form.Accelerators());
        } else if (form.Handle() != nullptr) {
            const bool folder = std::strstr(commandLine, "folder") != nullptr;
            if (folder) ::SendMessageA(form.Option2, BM_CLICK, 0, 0);
            ::ShowWindow(form.Handle(), SW_SHOWNORMAL);
            ::UpdateWindow(form.Handle());
            // The press runs from the loop, as a user's click would.
            ::PostMessageA(folder ? form.Command4 : form.Command3, BM_CLICK, 0, 0);
            exitCode = velquist::RunMessageLoop(form.Handle(), form.Accelerators());
        }
        if (arguments != nullptr) ::LocalFree(arguments);
    }
    if (SUCCEEDED(com)) ::CoUninitialize();
    return exitCode;
}
