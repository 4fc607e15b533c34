// Shared test helpers.
#include "TestSupport.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <sstream>
#include <thread>

#include "DialogWatcher.h"
#include "win32/Handles.h"
#include "win32/Text.h"

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
    // The other bitness's runner, given no pipe, ends at once with its code for bad arguments (2).
    static const bool runs =
        RunProcess(BinDir() + (sizeof(void*) == 8 ? "\\velquist.exe" : "\\velquist64.exe"), "/velquist-runner 0 0",
                   20000, CREATE_NO_WINDOW)
            .exitCode == 2u;
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
    const win32::unique_handle file(
        ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!win32::IsValid(file)) return false;
    DWORD written = 0;
    const BOOL ok = bytes.empty() ||
                    ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    return ok && written == bytes.size();
}

std::string ReadBytes(const std::string& path) {
    const win32::unique_handle file(
        ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!win32::IsValid(file)) return {};
    std::string bytes;
    char chunk[65536];
    DWORD got = 0;
    while (::ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
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
    const win32::unique_hfind find(::FindFirstFileA((path + "\\*").c_str(), &data));
    if (win32::IsValid(find)) {
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
        } while (::FindNextFileA(find.get(), &data));
    }
    ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::RemoveDirectoryA(path.c_str());
}

namespace {

win32::unique_hkey OpenKey(HKEY root, const std::string& subKey, REGSAM access) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(root, subKey.c_str(), 0, access, &key) != ERROR_SUCCESS) return nullptr;
    return win32::unique_hkey(key);
}

}  // namespace

bool KeyExists(HKEY root, const std::string& subKey, REGSAM view) {
    return OpenKey(root, subKey, KEY_READ | view) != nullptr;
}

std::string StringValue(HKEY root, const std::string& subKey, const char* valueName, REGSAM view) {
    const win32::unique_hkey key = OpenKey(root, subKey, KEY_READ | view);
    if (!key) return kNoKey;
    constexpr DWORD kString = RRF_RT_REG_SZ | RRF_NOEXPAND;
    DWORD size = 0;
    if (::RegGetValueA(key.get(), nullptr, valueName, kString, nullptr, nullptr, &size) != ERROR_SUCCESS) return kNoValue;
    std::string value(size, '\0');
    if (::RegGetValueA(key.get(), nullptr, valueName, kString, nullptr, value.data(), &size) != ERROR_SUCCESS) {
        return kNoValue;
    }
    value.resize(std::strlen(value.c_str()));
    return value;
}

void DeleteTree(HKEY root, const std::string& subKey, REGSAM view) {
    // RegDeleteTree takes no view: it works below a parent opened in the view asked for.
    const auto cut = subKey.find_last_of('\\');
    const std::string parent = cut == std::string::npos ? std::string() : subKey.substr(0, cut);
    if (const win32::unique_hkey key = OpenKey(root, parent, KEY_ALL_ACCESS | view)) {
        ::RegDeleteTreeA(key.get(), subKey.substr(cut + 1).c_str());
    }
}

std::string RegisteredServer(const char* clsid, REGSAM view) {
    const std::string server = StringValue(HKEY_CLASSES_ROOT, std::string("CLSID\\") + clsid + "\\InprocServer32", nullptr, view);
    return server == kNoKey || server == kNoValue ? std::string() : server;
}

void ForgetClass(const char* clsid, REGSAM view) { DeleteTree(HKEY_CLASSES_ROOT, std::string("CLSID\\") + clsid, view); }

StartedProcess::StartedProcess(const std::string& program, const std::string& arguments, DWORD creationFlags,
                               HANDLE output) {
    std::string commandLine = "\"" + program + "\" " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    if (output != nullptr) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = output;
        startup.hStdError = output;
    }
    PROCESS_INFORMATION info{};
    if (!::CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, output != nullptr, creationFlags,
                          nullptr, nullptr, &startup, &info)) {
        return;
    }
    ::CloseHandle(info.hThread);
    process_.reset(info.hProcess);
    id_ = info.dwProcessId;
}

StartedProcess::~StartedProcess() { End(); }

void StartedProcess::End() {
    if (Started() && !Wait(0)) ::TerminateProcess(process_.get(), 99);
}

std::optional<DWORD> StartedProcess::Wait(DWORD waitMs) {
    DWORD code = 0;
    if (!Started() || ::WaitForSingleObject(process_.get(), waitMs) != WAIT_OBJECT_0 ||
        !::GetExitCodeProcess(process_.get(), &code)) {
        return std::nullopt;
    }
    return code;
}

ProcessOutcome RunProcess(const std::string& program, const std::string& arguments, DWORD waitMs,
                          DWORD creationFlags) {
    ProcessOutcome outcome;
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) return outcome;
    const win32::unique_handle reader(readEnd);
    win32::unique_handle writer(writeEnd);
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    StartedProcess process(program, arguments, creationFlags, writer.get());
    // Only the program holds the write end now, so the read ends when the program does.
    writer.reset();
    if (!process.Started()) return outcome;
    // Read beside the wait: a program that fills the pipe would otherwise wait for us as we wait for it.
    std::thread drain([&] {
        char buffer[4096];
        DWORD read = 0;
        while (::ReadFile(reader.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
            outcome.output.append(buffer, read);
        }
    });
    outcome.exitCode = process.Wait(waitMs);
    if (!outcome.exitCode) process.End();
    drain.join();
    return outcome;
}

void DrainQuit() {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}

namespace {

// Wine's text of a saved tree: "[PATH] WRITTEN" starts a key, "#time=" says when it was written, and
// every other line until the next key is the key's own (its values, or where a link leads).
std::optional<std::vector<MachineRegistry::Key>> KeysOfWineText(const std::string& text) {
    if (text.rfind("WINE REGISTRY Version 2", 0) != 0) return std::nullopt;
    std::vector<MachineRegistry::Key> keys;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind('[', 0) == 0) {
            const std::size_t close = line.rfind(']');
            keys.push_back({line.substr(1, close == std::string::npos ? std::string::npos : close - 1), {}});
        } else if (!keys.empty() && !line.empty() && line.rfind("#time=", 0) != 0) {
            keys.back().values += line + '\n';
        }
    }
    return keys;
}

// Saving a tree takes the backup privilege, which an administrator's token holds but has not enabled.
void EnableBackupPrivilege() {
    HANDLE opened = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &opened)) return;
    const win32::unique_handle token(opened);
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (::LookupPrivilegeValueW(nullptr, L"SeBackupPrivilege", &privileges.Privileges[0].Luid)) {
        ::AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
    }
}

std::vector<MachineRegistry::Key> KeysOf(HKEY root, const wchar_t* subKey, REGSAM view) {
    static const bool enabled = (EnableBackupPrivilege(), true);
    (void)enabled;
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(root, subKey, 0, KEY_READ | view, &opened) != ERROR_SUCCESS) return {};
    const win32::unique_hkey key(opened);
    wchar_t folder[MAX_PATH], file[MAX_PATH];
    if (::GetTempPathW(MAX_PATH, folder) != 0 && ::GetTempFileNameW(folder, L"vqr", 0, file) != 0) {
        ::DeleteFileW(file);  // the save makes the file itself
        std::optional<std::vector<MachineRegistry::Key>> saved;
        if (::RegSaveKeyExW(key.get(), file, nullptr, REG_LATEST_FORMAT) == ERROR_SUCCESS) {
            saved = KeysOfWineText(ReadBytes(win32::Narrow(file)));
        }
        ::DeleteFileW(file);
        if (saved) return *saved;
    }
    std::vector<registry::TreeKey> tree;
    registry::ReadTree(root, subKey, view, tree);
    std::vector<MachineRegistry::Key> keys;
    for (const registry::TreeKey& treeKey : tree) {
        MachineRegistry::Key& read = keys.emplace_back(MachineRegistry::Key{win32::Narrow(treeKey.path), {}});
        for (const capture::Value& value : treeKey.values) {
            read.values += win32::Narrow(value.name) + '=' + std::to_string(value.type) + ':' + value.data + '\n';
        }
    }
    return keys;
}

}  // namespace

MachineRegistry MachineRegistry::Read() {
    MachineRegistry read;
    read.machine64 = KeysOf(HKEY_LOCAL_MACHINE, L"Software", KEY_WOW64_64KEY);
    read.machine32 = KeysOf(HKEY_LOCAL_MACHINE, L"Software", KEY_WOW64_32KEY);
    read.user = KeysOf(HKEY_CURRENT_USER, L"Software", 0);
    std::erase_if(read.user, [](const Key& key) { return _strnicmp(key.path.c_str(), "Wine", 4) == 0; });
    return read;
}

std::wstring MachineRegistry::FirstDifference(const MachineRegistry& later) const {
    const auto first = [](const std::vector<Key>& a, const std::vector<Key>& b) {
        for (std::size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
            if (i >= a.size()) return "added " + b[i].path;
            if (i >= b.size()) return "removed " + a[i].path;
            if (!(a[i] == b[i])) return a[i].path + " / " + b[i].path;
        }
        return std::string();
    };
    for (const auto& [a, b] : {std::pair{&machine64, &later.machine64}, {&machine32, &later.machine32}, {&user, &later.user}}) {
        const std::string difference = first(*a, *b);
        if (!difference.empty()) return win32::Wide(difference);
    }
    return {};
}

namespace {

struct FindData {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK FindMainWindow(HWND hwnd, LPARAM lParam) {
    auto* data = reinterpret_cast<FindData*>(lParam);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (pid == data->pid && ClassNameOf(hwnd) == "velquistform" && ::IsWindowVisible(hwnd)) {
        data->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

HWND MainWindowOf(const StartedProcess& process) {
    if (!process.Started()) return nullptr;
    for (int i = 0; i < 300; ++i) {
        FindData data{process.Id(), nullptr};
        ::EnumWindows(&FindMainWindow, reinterpret_cast<LPARAM>(&data));
        if (data.found != nullptr) return data.found;
        ::Sleep(50);
    }
    return nullptr;
}

}  // namespace testsupport
