// The tree walk and the header check of the benchmark programs.
#include "BenchFiles.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "win32/Handles.h"
#include "win32/Paths.h"

namespace benchfiles {
namespace {

void Walk(const std::string& folder, std::vector<std::string>& files) {
    std::vector<std::string> subfolders, own;
    WIN32_FIND_DATAA data;
    win32::unique_hfind find(::FindFirstFileExA((folder + "\\*").c_str(), FindExInfoBasic, &data,
                                                FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (!win32::IsValid(find)) return;
    do {
        const std::string name = data.cFileName;
        if (name == "." || name == "..") continue;
        ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? subfolders : own).push_back(folder + "\\" + name);
    } while (::FindNextFileA(find.get(), &data));
    for (const std::string& subfolder : subfolders) Walk(subfolder, files);
    files.insert(files.end(), own.begin(), own.end());
}

}  // namespace

std::vector<std::string> ListTree(const std::string& root) {
    std::vector<std::string> files;
    Walk(root, files);
    return files;
}

peexports::HeaderCheck ReadHeaders(const std::string& path) {
    win32::unique_handle file(::CreateFileA(path.c_str(), GENERIC_READ,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!win32::IsValid(file) || !::GetFileSizeEx(file.get(), &size) || size.QuadPart == 0 ||
        static_cast<unsigned long long>(size.QuadPart) > SIZE_MAX) {
        return {};
    }
    win32::unique_handle mapping(::CreateFileMappingA(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!win32::IsValid(mapping)) return {};
    win32::unique_view view(::MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0));
    if (!view) return {};
    return peexports::CheckExport(static_cast<const unsigned char*>(view.get()),
                                  static_cast<std::size_t>(size.QuadPart), "DllRegisterServer");
}

double Seconds() {
    static const LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

bool FolderAndRuns(int argc, char** argv, const char* usage, std::string& folder, int& runs) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s\n", usage);
        return false;
    }
    folder = win32::FullPathOr(argv[1]);
    runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    return true;
}

std::string ProgramOfThisBitness(const std::string& binDir) {
    return win32::JoinPath(binDir, sizeof(void*) == 8 ? "velquist64.exe" : "velquist.exe");
}

double SilentRun(const std::string& program, const std::string& arguments, DWORD& exitCode) {
    std::string command = "\"" + program + "\" " + arguments;
    // The run's lines go nowhere: only its time and exit code are the benchmark's.
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const win32::unique_handle nul(::CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                 &inherit, OPEN_EXISTING, 0, nullptr));
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = startup.hStdOutput = startup.hStdError = nul.get();
    PROCESS_INFORMATION info{};
    const double start = benchfiles::Seconds();
    if (!::CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                          &info)) {
        return -1;
    }
    const win32::unique_handle process(info.hProcess), thread(info.hThread);
    ::WaitForSingleObject(info.hProcess, INFINITE);
    const double seconds = benchfiles::Seconds() - start;
    exitCode = 0;
    ::GetExitCodeProcess(info.hProcess, &exitCode);
    return seconds;
}

}  // namespace benchfiles
