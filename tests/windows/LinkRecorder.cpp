// Stands in for the web browser in the About link's test: appends one line saying how it was started,
//   link_recorder.exe RECORD-FILE ARGUMENT...
// as "current folder <TAB> show state <TAB> argument <TAB> ..." (show state -1: none was given).
#include <windows.h>

#include <cstdlib>
#include <iterator>
#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    if (__argc < 2) return 2;
    char folder[MAX_PATH] = {};
    ::GetCurrentDirectoryA(static_cast<DWORD>(std::size(folder)), folder);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    ::GetStartupInfoA(&startup);
    const int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : -1;
    std::string line = std::string(folder) + '\t' + std::to_string(show);
    for (int i = 2; i < __argc; ++i) line += std::string("\t") + __argv[i];
    line += "\r\n";
    // Two presses may start two copies at once: each appends its line in one write. The test reads the
    // record while it waits, without sharing it for writing: try again while it has it open.
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 250 && file == INVALID_HANDLE_VALUE; ++attempt) {
        file = ::CreateFileA(__argv[1], FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_SHARING_VIOLATION) return 1;
        if (file == INVALID_HANDLE_VALUE) ::Sleep(20);
    }
    if (file == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    const BOOL ok = ::WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    ::CloseHandle(file);
    return ok ? 0 : 1;
}
