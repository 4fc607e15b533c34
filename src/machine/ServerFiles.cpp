// The files the machine's COM registrations name, read as a loader of their bitness reads them.
#include "machine/ServerFiles.h"

#include <windows.h>

#include <algorithm>
#include <cctype>

namespace machine {
namespace {

constexpr char kBlanks[] = " \t";

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string Expanded(const std::string& text) {
    if (text.find('%') == std::string::npos) return text;
    const DWORD size = ::ExpandEnvironmentStringsA(text.c_str(), nullptr, 0);
    if (size == 0) return text;
    std::string expanded(size, '\0');
    const DWORD written = ::ExpandEnvironmentStringsA(text.c_str(), expanded.data(), size);
    if (written == 0 || written > size) return text;
    expanded.resize(written - 1);
    return expanded;
}

// Whether the last part of a path has an extension.
bool HasExtension(const std::string& path) {
    const size_t dot = path.find_last_of('.');
    return dot != std::string::npos && (path.find_last_of("\\/") == std::string::npos || dot > path.find_last_of("\\/"));
}

bool IsUnc(const std::string& path) {
    return path.size() > 2 && path[0] == '\\' && path[1] == '\\' && path[2] != '?' && path[2] != '.';
}

// Absolute: a drive and a backslash, or a share.
bool IsAbsolute(const std::string& path) {
    return IsUnc(path) || (path.size() > 2 && path[1] == ':' && (path[2] == '\\' || path[2] == '/'));
}

// `path` below `folder` (case aside), followed by a backslash or nothing: the rest, else npos.
size_t Below(const std::string& path, const std::string& folder) {
    if (folder.empty() || path.size() < folder.size() || Upper(path.substr(0, folder.size())) != Upper(folder)) {
        return std::string::npos;
    }
    if (path.size() > folder.size() && path[folder.size()] != '\\') return std::string::npos;
    return folder.size();
}

FileLook::Machine ThisMachine() {
    FileLook::Machine machine;
    char windows[MAX_PATH + 1] = {};
    const UINT length = ::GetWindowsDirectoryA(windows, MAX_PATH);
    machine.windows = length > 0 && length < MAX_PATH ? std::string(windows, length) : "C:\\Windows";
    const DWORD size = ::GetEnvironmentVariableA("PATH", nullptr, 0);
    std::string path(size, '\0');
    path.resize(size > 0 ? ::GetEnvironmentVariableA("PATH", path.data(), size) : 0);
    for (size_t start = 0; start <= path.size();) {
        const size_t end = std::min(path.find(';', start), path.size());
        std::string folder = Trimmed(path.substr(start, end - start));
        if (folder.size() > 1 && folder.front() == '"' && folder.back() == '"') folder = folder.substr(1, folder.size() - 2);
        while (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
        if (!folder.empty()) machine.path.push_back(Expanded(folder));
        start = end + 1;
    }
    machine.process64 = sizeof(void*) == 8;
    BOOL wow64 = FALSE;
    machine.windows64 = machine.process64 || (::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64);
    return machine;
}

}  // namespace

std::string ServerPathOf(const std::string& value) {
    std::string path = Trimmed(Expanded(value));
    if (path.size() >= 2 && path.front() == '"') {
        const size_t close = path.find('"', 1);
        path = Trimmed(path.substr(1, close == std::string::npos ? std::string::npos : close - 1));
    }
    return path;
}

std::string ProgramOfCommandLine(const std::string& commandLine, const Exists& exists) {
    const std::string line = Trimmed(Expanded(commandLine));
    if (!line.empty() && line.front() == '"') {
        const size_t close = line.find('"', 1);
        return line.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    }
    const size_t firstBlank = line.find_first_of(kBlanks);
    std::string program;  // when none exists: the longest run that ends in ".exe", else the first word
    // Each run of words up to a blank, shortest first, as CreateProcess tries them.
    for (size_t end = firstBlank;; end = line.find_first_of(kBlanks, end + 1)) {
        const std::string candidate = line.substr(0, end);
        if (!HasExtension(candidate) && exists(candidate + ".exe")) return candidate + ".exe";
        if (HasExtension(candidate) && exists(candidate)) return candidate;
        if (candidate.size() > 4 && Upper(candidate.substr(candidate.size() - 4)) == ".EXE") program = candidate;
        if (end == std::string::npos) break;
    }
    return program.empty() ? line.substr(0, firstBlank) : program;
}

std::string TypeLibFileOf(const std::string& value, const Exists& exists) {
    const size_t slash = value.find_last_of('\\');
    if (slash == std::string::npos || slash + 1 == value.size() || exists(value)) return value;
    const std::string index = value.substr(slash + 1);
    if (!std::all_of(index.begin(), index.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })) {
        return value;
    }
    const std::string file = value.substr(0, slash);
    return exists(file) ? file : value;
}

std::string PathForProcess(const std::string& path, Bitness registration, const std::string& windows, bool windows64,
                           bool process64) {
    if (!windows64) return path;
    const size_t rest = Below(path, windows + "\\System32");
    if (rest == std::string::npos) return path;
    if (registration == Bitness::Bits32) return windows + "\\SysWOW64" + path.substr(rest);
    return process64 ? path : windows + "\\Sysnative" + path.substr(rest);
}

FileLook::FileLook() : machine_(ThisMachine()) {}

FileState FileLook::Look(const std::string& file, Bitness registration) {
    if (file.empty()) return FileState::Missing;
    const auto onDisk = [&](const std::string& path) {
        return LookOnDisk(PathForProcess(path, registration, machine_.windows, machine_.windows64, machine_.process64));
    };
    if (IsAbsolute(file)) return onDisk(file);
    // A bare name (or a relative one): the loader's folders, the system folder of the view first. A
    // name without an extension is a DLL's, as LoadLibrary reads it.
    const std::string name = HasExtension(file) ? file : file + ".dll";
    std::vector<std::string> folders;
    folders.push_back(machine_.windows + (machine_.windows64 && registration == Bitness::Bits32 ? "\\SysWOW64" : "\\System32"));
    folders.push_back(machine_.windows);
    folders.insert(folders.end(), machine_.path.begin(), machine_.path.end());
    FileState state = FileState::Missing;
    for (const std::string& folder : folders) {
        const FileState here = onDisk(folder + (folder.back() == '\\' ? "" : "\\") + name);
        if (here == FileState::Present) return here;
        if (here == FileState::NotChecked) state = here;
    }
    return state;
}

FileState FileLook::LookOnDisk(const std::string& path) {
    const std::string key = Upper(path);
    if (const auto found = seen_.find(key); found != seen_.end()) return found->second;
    FileState state = FileState::NotChecked;
    if (!IsUnc(path)) {
        // A drive that is not there, or not ready (no disc, no card), is not asked about its files: no
        // "insert a disk" box either.
        const UINT type = path.size() > 2 && path[1] == ':' ? ::GetDriveTypeA(path.substr(0, 3).c_str()) : DRIVE_FIXED;
        DWORD previous = 0;
        ::SetThreadErrorMode(SEM_FAILCRITICALERRORS, &previous);
        const bool ready = type == DRIVE_FIXED || type == DRIVE_RAMDISK ||
                           ((type == DRIVE_REMOVABLE || type == DRIVE_CDROM) &&
                            ::GetDiskFreeSpaceExA(path.substr(0, 3).c_str(), nullptr, nullptr, nullptr));
        if (ready) {
            const DWORD attributes = ::GetFileAttributesA(path.c_str());
            const DWORD error = ::GetLastError();
            if (attributes != INVALID_FILE_ATTRIBUTES) {
                state = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? FileState::Missing : FileState::Present;
            } else if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME ||
                       error == ERROR_BAD_PATHNAME) {
                state = FileState::Missing;
            }
        }
        ::SetThreadErrorMode(previous, nullptr);
    }
    seen_.emplace(key, state);
    return state;
}

}  // namespace machine
