// Scan benchmark: the scan of this machine's registrations in this process (read and judged) against a
// floor that enumerates the same keys and asks once for the attributes of each distinct file they
// name, side by side and interleaved; and the silent run (velquist /s /scan) as a script starts it.
// Medians of several runs. Prints figures, asserts nothing.
//   scan_bench [RUNS]
//   scan_bench --prepare FOLDER32 FOLDER64   registers the DLLs of both folders (the program of each
//                                            bitness, /s), then deletes every other file of each
//   scan_bench --clean BACKUP               times one silent clean to BACKUP, then puts everything
//                                            back with reg import BACKUP (timed too)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "BenchFiles.h"
#include "BenchReport.h"
#include "machine/Scan.h"
#include "win32/Handles.h"
#include "win32/Paths.h"
#include "win32/Text.h"

namespace {

// The floor: every key the scan reads, opened and its values asked for, with no judging; then each
// distinct file named, once.
class Floor {
public:
    std::size_t Run() {
        for (const machine::ClassesRoot& root : machine::MachineRoots()) {
            HKEY raw = nullptr;
            if (::RegOpenKeyExW(root.hive, root.path.c_str(), 0, KEY_READ | root.view, &raw) != ERROR_SUCCESS) continue;
            const win32::unique_hkey classes(raw);
            view_ = root.view;  // every key below in the root's view, as the scan reads them
            for (const std::wstring& name : Names(classes.get())) {
                if (::lstrcmpiW(name.c_str(), L"Wow6432Node") == 0 || name[0] == L'.') continue;
                const win32::unique_hkey key = Open(classes.get(), name);
                if (!key) continue;
                if (::lstrcmpiW(name.c_str(), L"CLSID") == 0) {
                    for (const std::wstring& clsid : Names(key.get())) {
                        const win32::unique_hkey entry = Open(key.get(), clsid);
                        if (!entry) continue;
                        Default(entry.get(), L"ProgID");
                        for (const wchar_t* server : {L"InprocServer32", L"InprocHandler32", L"LocalServer32"}) {
                            File(Default(entry.get(), server));
                        }
                    }
                } else if (::lstrcmpiW(name.c_str(), L"Interface") == 0) {
                    for (const std::wstring& iid : Names(key.get())) {
                        const win32::unique_hkey entry = Open(key.get(), iid);
                        if (!entry) continue;
                        Default(entry.get(), nullptr);
                        Default(entry.get(), L"ProxyStubClsid32");
                        Default(entry.get(), L"TypeLib");
                    }
                } else if (::lstrcmpiW(name.c_str(), L"TypeLib") == 0) {
                    Libraries(key.get(), 0);
                } else {
                    Default(key.get(), L"CLSID");
                    Default(key.get(), L"CurVer");
                }
            }
        }
        for (const std::string& file : files_) ::GetFileAttributesA(file.c_str());
        return files_.size();
    }

private:
    win32::unique_hkey Open(HKEY parent, const std::wstring& name) const {
        HKEY raw = nullptr;
        return win32::unique_hkey(::RegOpenKeyExW(parent, name.c_str(), 0, KEY_READ | view_, &raw) == ERROR_SUCCESS ? raw : nullptr);
    }
    static std::vector<std::wstring> Names(HKEY key) {
        std::vector<std::wstring> names;
        wchar_t name[256];
        for (DWORD i = 0;; ++i) {
            DWORD length = static_cast<DWORD>(std::size(name));
            if (::RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
            names.emplace_back(name, length);
        }
        return names;
    }
    // The default value of `sub` (nullptr: of the key itself), "" when there is none.
    std::string Default(HKEY key, const wchar_t* sub) const {
        win32::unique_hkey child;
        if (sub != nullptr && !(child = Open(key, sub))) return {};
        wchar_t value[1024];
        DWORD bytes = sizeof value;
        if (::RegGetValueW(child ? child.get() : key, nullptr, nullptr, RRF_RT_REG_SZ, nullptr, value, &bytes) != ERROR_SUCCESS) {
            return {};
        }
        return win32::Narrow(value);
    }
    // Version, LCID, platform: the platform keys' files.
    void Libraries(HKEY key, int depth) {
        for (const std::wstring& name : Names(key)) {
            if (const win32::unique_hkey child = Open(key, name)) {
                if (depth == 3) {
                    File(Default(child.get(), nullptr));
                } else {
                    Libraries(child.get(), depth + 1);
                }
            }
        }
    }
    void File(std::string value) {
        if (value.empty()) return;
        if (value[0] == '"') value = value.substr(1, value.find('"', 1) - 1);
        ::CharUpperBuffA(value.data(), static_cast<DWORD>(value.size()));
        files_.insert(value);
    }

    std::set<std::string> files_;
    REGSAM view_ = 0;
};

// The scan as the program runs it, without its lines: read and judged. The number of findings.
std::size_t Scan(std::size_t& files) {
    machine::FileLook look;
    const machine::Findings findings = machine::Judge(machine::ReadRegistrations(machine::MachineRoots()), look);
    files = look.Looked();
    return findings.missing.size() + findings.broken.size();
}

double Silent(const std::string& program, const std::string& arguments) {
    DWORD exitCode = 0;
    return benchfiles::SilentRun(program, arguments, exitCode);
}

int Prepare(const std::string& folder32, const std::string& folder64) {
    for (const auto& [program, folder] : {std::pair<const char*, std::string>{"velquist.exe", folder32},
                                          {"velquist64.exe", folder64}}) {
        const std::string exe = win32::JoinPath(VELQUIST_BIN_DIR, program);
        std::string command = "\"" + exe + "\" /s \"" + folder + "\"";
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        if (!::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                              &startup, &info)) {
            return 1;
        }
        const win32::unique_handle process(info.hProcess), thread(info.hThread);
        ::WaitForSingleObject(info.hProcess, INFINITE);
        std::printf("%s registered with %s\n", folder.c_str(), program);
        int index = 0, deleted = 0;
        WIN32_FIND_DATAA found{};
        const win32::unique_hfind find(::FindFirstFileA(win32::JoinPath(folder, "*.dll").c_str(), &found));
        if (find.get() == INVALID_HANDLE_VALUE) continue;
        do {
            if (index++ % 2 == 0 && ::DeleteFileA(win32::JoinPath(folder, found.cFileName).c_str())) ++deleted;
        } while (::FindNextFileA(find.get(), &found));
        std::printf("%s: %d of %d files deleted\n", folder.c_str(), deleted, index);
    }
    return 0;
}

}  // namespace

// One clean, and the import of its backup that undoes it.
int CleanOnce(const std::string& program, const std::string& backup) {
    const double clean = Silent(program, "/s \"/clean:" + backup + "\"");
    char system[MAX_PATH] = {};
    ::GetSystemDirectoryA(system, MAX_PATH);  // the reg of the benchmark's bitness, as the backup's keys are named
    const double restore = Silent(win32::JoinPath(system, "reg.exe"), "import \"" + backup + "\"");
    std::size_t files = 0;
    const std::size_t left = Scan(files);
    std::printf("| velquist /s /clean:%s | %.2f s |\n| reg import of the backup | %.2f s |\n", backup.c_str(), clean, restore);
    std::printf("%zu findings after the import\n", left);
    return clean < 0 || restore < 0 ? 1 : 0;
}

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--prepare") return Prepare(argv[2], argv[3]);
    if (argc == 3 && std::string(argv[1]) == "--clean") {
        return CleanOnce(win32::JoinPath(VELQUIST_BIN_DIR, sizeof(void*) == 8 ? "velquist64.exe" : "velquist.exe"), argv[2]);
    }
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const std::string program = win32::JoinPath(VELQUIST_BIN_DIR, sizeof(void*) == 8 ? "velquist64.exe" : "velquist.exe");
    std::size_t files = 0, floorFiles = 0, findings = 0;
    Scan(files);  // warm: every key and file once before anything is timed
    Floor().Run();
    std::vector<double> scan, floor, silent;
    for (int run = 0; run < runs; ++run) {
        double start = benchfiles::Seconds();
        findings = Scan(files);
        scan.push_back(benchfiles::Seconds() - start);
        start = benchfiles::Seconds();
        floorFiles = Floor().Run();
        floor.push_back(benchfiles::Seconds() - start);
        silent.push_back(Silent(program, "/s /scan"));
    }
    using benchreport::Median;
    const double s = Median(scan), f = Median(floor), p = Median(silent);
    std::printf("%d-bit, medians of %d interleaved runs; %zu findings, %zu files looked at (the floor: %zu)\n",
                static_cast<int>(sizeof(void*) * 8), runs, findings, files, floorFiles);
    std::printf("| Side | seconds | / floor |\n|---|---|---|\n");
    std::printf("| floor: the same keys, each distinct file once | %.2f | 1.00x |\n", f);
    std::printf("| scan, in process | %.2f | %s |\n", s, benchreport::Verdict(s / f, 1.5, false).c_str());
    std::printf("| velquist /s /scan, its start and end included | %.2f | %.2fx |\n", p, p / f);
    return 0;
}
