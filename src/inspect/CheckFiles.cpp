// Paths in registry values: expansion, the same-file comparison, and the description of another file.
#include "inspect/CheckFiles.h"

#include <windows.h>

#include <cctype>

#include "inspect/CheckRegistration.h"
#include "pe/MappedFile.h"
#include "pe/PeExports.h"
#include "win32/FileVersion.h"
#include "win32/Paths.h"
#include "win32/Text.h"

namespace check {
namespace {

std::string Expanded(const std::string& text) {
    std::string expanded(text.size() + 1, '\0');
    for (int attempt = 0; attempt < 4; ++attempt) {  // a variable may change between the calls
        const DWORD length = ::ExpandEnvironmentStringsA(text.c_str(), expanded.data(), static_cast<DWORD>(expanded.size()));
        if (length == 0) return text;
        if (length <= expanded.size()) {
            expanded.resize(length - 1);  // the count includes the terminator
            return expanded;
        }
        expanded.resize(length);
    }
    return text;
}

// The absolute long form: a short (8.3) name and its long name are one file.
std::string LongForm(const std::string& path) {
    const std::string full = win32::FullPathOr(path);
    std::string longForm(MAX_PATH, '\0');
    for (int attempt = 0; attempt < 4; ++attempt) {
        const DWORD length = ::GetLongPathNameA(full.c_str(), longForm.data(), static_cast<DWORD>(longForm.size()));
        if (length == 0) return full;  // no such file: as given
        if (length < longForm.size()) {
            longForm.resize(length);
            return longForm;
        }
        longForm.resize(length);
    }
    return full;
}

std::string Bitness(const std::string& path) {
    const registration::MappedFile file(path);
    const peexports::HeaderCheck headers = peexports::CheckExport(file.Data(), file.Size(), {});
    if (headers.machine == 0 || headers.check == peexports::ExportCheck::WrongMachine) return "not a program file";
    switch (headers.machine) {
        case peexports::kMachineI386: return "32-bit";
        case peexports::kMachineAmd64:
        case peexports::kMachineArm64: return "64-bit";
        default: return "for another processor";
    }
}

// The file a client of the other bitness opens for `path`: under the system folder it sees its own
// (32-bit programs see SysWOW64 as system32, and reach the 64-bit one as Sysnative).
std::string AsSeenBy(const std::string& path, std::uint16_t machine) {
    const bool wideClient = machine != peexports::kMachineI386;
    constexpr bool wideSelf = sizeof(void*) == 8;
    if (wideClient == wideSelf) return path;
    BOOL wow64 = FALSE;
    if (!wideSelf && !(::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64)) return path;  // one system folder
    char windows[MAX_PATH] = {};
    const UINT length = ::GetSystemWindowsDirectoryA(windows, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return path;
    const std::wstring system = win32::Wide(win32::JoinPath(std::string(windows, length), "system32"));
    const std::wstring wide = win32::Wide(path);
    if (wide.size() <= system.size() || wide[system.size()] != L'\\' ||
        ::CompareStringOrdinal(wide.data(), static_cast<int>(system.size()), system.data(),
                               static_cast<int>(system.size()), TRUE) != CSTR_EQUAL) {
        return path;
    }
    const std::string folder = win32::JoinPath(std::string(windows, length), wideClient ? "Sysnative" : "SysWOW64");
    return win32::JoinPath(folder, win32::Narrow(wide.substr(system.size() + 1)));
}

std::string Version(const std::string& path) {
    const auto info = win32::FixedFileInfo(path);
    if (!info) return "no version";
    return "version " + std::to_string(HIWORD(info->dwFileVersionMS)) + "." +
           std::to_string(LOWORD(info->dwFileVersionMS)) + "." + std::to_string(HIWORD(info->dwFileVersionLS)) + "." +
           std::to_string(LOWORD(info->dwFileVersionLS));
}

}  // namespace

std::string Unwrapped(const std::string& text) {
    std::string path = Expanded(text);
    const auto first = path.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    path = path.substr(first, path.find_last_not_of(" \t") - first + 1);
    if (path.size() >= 2 && path.front() == '"' && path.back() == '"') path = path.substr(1, path.size() - 2);
    return path;
}

bool IsAbsolutePath(const std::string& path) {
    const auto separator = [](char c) { return c == '\\' || c == '/'; };
    if (path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' && separator(path[2])) {
        return true;
    }
    return path.size() >= 3 && separator(path[0]) && separator(path[1]);
}

bool SameFile(const std::string& a, const std::string& b) {
    const std::string first = Unwrapped(a);
    const std::string second = Unwrapped(b);
    if (first.empty() || second.empty()) return false;  // names no file at all
    // Ordinal, without regard to case, as the file system compares names (also beyond ASCII). The
    // same name is the same file without asking the file system (most registrations name the file
    // as it was loaded); only names that differ are compared in their long forms.
    const auto same = [](const std::string& one, const std::string& other) {
        const std::wstring left = win32::Wide(one);
        const std::wstring right = win32::Wide(other);
        return ::CompareStringOrdinal(left.data(), static_cast<int>(left.size()), right.data(),
                                      static_cast<int>(right.size()), TRUE) == CSTR_EQUAL;
    };
    return same(first, second) || same(LongForm(first), LongForm(second));
}

std::string DescribeFile(const std::string& path, std::uint16_t machine) {
    const std::string file = AsSeenBy(path, machine);
    const DWORD attributes = ::GetFileAttributesA(file.c_str());
    if (file.empty() || attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return "does not exist";
    }
    return "exists, " + Bitness(file) + ", " + Version(file);
}

}  // namespace check
