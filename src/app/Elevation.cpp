// Administrator rights (the token, a restart through the shell's "runas"), and the path of a drop onto the window.
#include "app/Elevation.h"

#include <shellapi.h>
#include <shlobj.h>

#include "app/RunRequest.h"
#include "win32/Handles.h"
#include "win32/Paths.h"
#include "win32/Text.h"

namespace velquist {
namespace {

class SystemRights final : public Elevation {
public:
    bool IsElevated() override {
        HANDLE raw = nullptr;
        if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return false;
        win32::unique_handle token(raw);
        TOKEN_ELEVATION elevation{};
        DWORD size = 0;
        return ::GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size) &&
               elevation.TokenIsElevated != 0;
    }

    bool Relaunch(HWND owner, const std::string& parameters, const std::string& folder) override {
        const std::string program = win32::ModulePath();
        win32::EnterApartment();
        SHELLEXECUTEINFOA info{};
        info.cbSize = sizeof info;
        info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
        info.hwnd = owner;
        info.lpVerb = "runas";
        info.lpFile = program.c_str();
        info.lpParameters = parameters.c_str();
        info.lpDirectory = folder.empty() ? nullptr : folder.c_str();
        info.nShow = SW_SHOWNORMAL;
        return !program.empty() && ::ShellExecuteExA(&info);  // a refused prompt fails with ERROR_CANCELLED
    }
};

std::string CurrentFolder() {
    char folder[MAX_PATH * 4] = {};
    ::GetCurrentDirectoryA(static_cast<DWORD>(std::size(folder)), folder);
    return folder;
}

}  // namespace

// Read in Unicode, so that any name survives.
std::string DroppedPath(HDROP drop) {
    const UINT length = ::DragQueryFileW(drop, 0, nullptr, 0);
    std::wstring wide(length + 1, L'\0');
    const UINT got = length > 0 ? ::DragQueryFileW(drop, 0, wide.data(), length + 1) : 0;
    if (got == 0) return {};
    wide.resize(got);
    return win32::Narrow(wide);
}

bool RestartElevated(HWND owner, Elevation& rights, const RunRequest& request, bool run) {
    return rights.Relaunch(owner, RelaunchParameters(request, run), CurrentFolder());
}

bool OfferElevation(HWND owner, Elevation& rights, const RunRequest& request) {
    const std::string question = std::string("Some components could not be ") +
                                 (request.registerFlag ? "registered" : "unregistered") +
                                 " because access was denied.\n\nRestart Velquist as administrator and run this again?";
    return ::MessageBoxA(owner, question.c_str(), "Velquist!", MB_YESNO | MB_ICONQUESTION) == IDYES &&
           RestartElevated(owner, rights, request, true);
}

Elevation& SystemElevation() {
    static SystemRights rights;
    return rights;
}

win32::unique_gdi<HBITMAP> CreateShieldBitmap() {
    SHSTOCKICONINFO stock{};
    stock.cbSize = sizeof stock;
    if (FAILED(::SHGetStockIconInfo(SIID_SHIELD, SHGSI_ICON | SHGSI_SMALLICON, &stock)) || stock.hIcon == nullptr) {
        return {};
    }
    const win32::unique_hicon icon(stock.hIcon);
    const int size = ::GetSystemMetrics(SM_CXSMICON);
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = size;
    format.bmiHeader.biHeight = -size;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const win32::WindowDc screen(nullptr);
    win32::unique_gdi<HBITMAP> bitmap(::CreateDIBSection(screen.get(), &format, DIB_RGB_COLORS, &bits, nullptr, 0));
    const win32::unique_hdc memory(::CreateCompatibleDC(screen.get()));
    if (bitmap && memory) {
        HGDIOBJ previous = ::SelectObject(memory.get(), bitmap.get());
        ::DrawIconEx(memory.get(), 0, 0, icon.get(), size, size, 0, nullptr, DI_NORMAL);
        ::SelectObject(memory.get(), previous);
    }
    return bitmap;
}

}  // namespace velquist
