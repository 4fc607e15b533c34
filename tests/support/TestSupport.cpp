// Shared test helpers.
#include "TestSupport.h"

#include <atomic>

#include "win32/Handles.h"


namespace testsupport {

std::string ComponentDir() { return VELQUIST_COMPONENT_DIR; }

std::string ComponentPath(std::string_view fileName) {
    return ComponentDir() + "\\" + std::string(fileName);
}

std::string OtherComponentPath(std::string_view fileName) {
    return std::string(VELQUIST_OTHER_COMPONENT_DIR) + "\\" + std::string(fileName);
}

std::string BinDir() { return VELQUIST_BIN_DIR; }

registration::RunnerPrograms BuildRunners() { return registration::RunnerPrograms::InFolder(BinDir()); }

bool OtherBitnessRuns() {
    static const bool runs = [] {
        // The other bitness's runner, given no pipe, ends at once with its code for bad arguments (2).
        const std::string program = BinDir() + (sizeof(void*) == 8 ? "\\velquist.exe" : "\\velquist64.exe");
        std::string line = "\"" + program + "\" /velquist-runner 0 0";
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        if (!::CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                              &startup, &info)) {
            return false;
        }
        const win32::unique_handle process(info.hProcess), thread(info.hThread);
        DWORD code = 0;
        if (::WaitForSingleObject(process.get(), 20000) != WAIT_OBJECT_0) {
            ::TerminateProcess(process.get(), 1);
            return false;
        }
        return ::GetExitCodeProcess(process.get(), &code) && code == 2;
    }();
    return runs;
}

registration::Session& Runners() {
    // Test programs are not the program: their runners are the build's own velquist.exe and velquist64.exe.
    static registration::Session session(BuildRunners());
    return session;
}

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    char base[MAX_PATH + 1] = {};
    ::GetTempPathA(MAX_PATH, base);
    for (;;) {
        path_ = std::string(base) + "velquist-test-" + std::to_string(::GetCurrentProcessId()) + "-" +
                std::to_string(counter++);
        if (::CreateDirectoryA(path_.c_str(), nullptr)) break;
        if (::GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
}

TempDir::~TempDir() { RemoveTree(path_); }

std::string TempDir::operator/(std::string_view relative) const {
    return path_ + "\\" + std::string(relative);
}

bool WriteBytes(const std::string& path, std::string_view bytes) {
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = bytes.empty() ||
                    ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(file);
    return ok && written == bytes.size();
}

std::string ReadBytes(const std::string& path) {
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string bytes;
    char chunk[65536];
    DWORD got = 0;
    while (::ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
    ::CloseHandle(file);
    return bytes;
}

bool CopyTo(const std::string& from, const std::string& to) {
    return ::CopyFileA(from.c_str(), to.c_str(), FALSE) != 0;
}

bool MakeDirs(const std::string& path) {
    if (path.empty()) return false;
    if (::CreateDirectoryA(path.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS) return true;
    const auto cut = path.find_last_of("\\/");
    if (cut == std::string::npos || cut < 3) return false;
    return MakeDirs(path.substr(0, cut)) && ::CreateDirectoryA(path.c_str(), nullptr);
}

void RemoveTree(const std::string& path) {
    if (path.empty()) return;
    WIN32_FIND_DATAA data;
    HANDLE find = ::FindFirstFileA((path + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = data.cFileName;
            if (name == "." || name == "..") continue;
            const std::string child = path + "\\" + name;
            ::SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            const bool isLink = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
            if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !isLink) {
                RemoveTree(child);
            } else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                ::RemoveDirectoryA(child.c_str());
            } else {
                ::DeleteFileA(child.c_str());
            }
        } while (::FindNextFileA(find, &data));
        ::FindClose(find);
    }
    ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::RemoveDirectoryA(path.c_str());
}

std::string RegisteredServer(const char* clsid) {
    char value[MAX_PATH * 2] = {};
    DWORD size = sizeof value;
    const std::string key = std::string("CLSID\\") + clsid + "\\InprocServer32";
    if (::RegGetValueA(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value, &size) !=
        ERROR_SUCCESS) {
        return {};
    }
    return value;
}

void ForgetClass(const char* clsid) { ::RegDeleteTreeA(HKEY_CLASSES_ROOT, (std::string("CLSID\\") + clsid).c_str()); }

void DrainQuit() {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}

}  // namespace testsupport
