// Walk benchmark: what a user waits for over one tree, side by side: a bare walk (each file opened, its
// first 4 KB read, closed) in this process and in a process of its own (this program started again
// with --bare, from its start to its end, as the silent run is timed), the silent run (the program
// started with /s /r TREE), and the window's register run (the main window made in this process,
// Velquist! clicked, until the closing line). Each the median of several interleaved runs. Prints
// figures, asserts nothing.
//   walk_bench TREE [RUNS]
//   walk_bench --bare TREE      (the bare walk alone, for the side above)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchFiles.h"
#include "BenchReport.h"
#include "app/Elevation.h"
#include "window/velquistform.h"
#include "win32/Handles.h"
#include "win32/Paths.h"

namespace {

// Every file below the folder opened and read as the header check would at least: 4 KB, then closed.
unsigned long long BareWalk(const std::string& folder, std::vector<unsigned char>& buffer) {
    unsigned long long files = 0;
    WIN32_FIND_DATAA data;
    win32::unique_hfind find(::FindFirstFileExA(win32::JoinPath(folder, "*").c_str(), FindExInfoBasic, &data,
                                                FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (!win32::IsValid(find)) return 0;
    do {
        const std::string name = data.cFileName;
        if (name == "." || name == "..") continue;
        const std::string path = win32::JoinPath(folder, name);
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            files += BareWalk(path, buffer);
            continue;
        }
        win32::unique_handle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD read = 0;
        if (win32::IsValid(file)) ::ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr);
        ++files;
    } while (::FindNextFileA(find.get(), &data));
    return files;
}

// A program started as a script starts one, waited for: the seconds from its start to its end.
double Started(std::string command) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    const double start = benchfiles::Seconds();
    if (!::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                          &info)) {
        return -1;
    }
    const win32::unique_handle process(info.hProcess), thread(info.hThread);
    ::WaitForSingleObject(info.hProcess, INFINITE);
    return benchfiles::Seconds() - start;
}

// The program of this bitness, as a user starts it from a script: /s /r TREE, waited for.
double SilentRun(const std::string& program, const std::string& tree) {
    return Started("\"" + program + "\" /s /r \"" + tree + "\"");
}

// The bare walk in a fresh process of this benchmark's own.
double BareProcess(const std::string& tree) {
    char self[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    return Started("\"" + std::string(self) + "\" --bare \"" + tree + "\"");
}

// The main window as a user has it: directory mode, sub-directories, Velquist! pressed; the click
// returns once the closing line is in the list.
double WindowRun(const std::string& binDir, const std::string& tree, int& lines) {
    velquist::velquistform form(velquist::SystemElevation(), registration::RunnerPrograms::InFolder(binDir));
    if (!form.Create()) return -1;
    ::ShowWindow(form.Handle(), SW_SHOWNORMAL);
    ::UpdateWindow(form.Handle());
    form.FillInputs(tree, true);
    const double start = benchfiles::Seconds();
    ::SendMessageA(form.Command5, BM_CLICK, 0, 0);
    const double seconds = benchfiles::Seconds() - start;
    lines = form.Results().Count();
    ::DestroyWindow(form.Handle());
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&msg);
    return seconds;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--bare") {
        std::vector<unsigned char> buffer(4096);
        return BareWalk(argv[2], buffer) > 0 ? 0 : 1;
    }
    std::string tree;
    int runs = 0;
    if (!benchfiles::FolderAndRuns(argc, argv, "walk_bench TREE [RUNS]", tree, runs)) return 2;
    const std::string binDir = VELQUIST_BIN_DIR;
    const std::string program = benchfiles::ProgramOfThisBitness(binDir);
    std::vector<unsigned char> buffer(4096);
    std::vector<double> bare, bareProcess, silent, window;
    unsigned long long files = 0;
    int lines = 0;
    BareWalk(tree, buffer);  // every side finds the tree in the cache
    // The sides take turns at going first: a side that follows another pays for what that one left
    // (a walk right after the bare walk's 20,000 opens ran 1.3x slower than the same walk after itself).
    for (int i = 0; i < runs; ++i) {
        for (int turn = 0; turn < 4; ++turn) {
            switch ((i + turn) % 4) {
                case 0: {
                    const double start = benchfiles::Seconds();
                    files = BareWalk(tree, buffer);
                    bare.push_back(benchfiles::Seconds() - start);
                    break;
                }
                case 1: silent.push_back(SilentRun(program, tree)); break;
                case 2: bareProcess.push_back(BareProcess(tree)); break;
                default: window.push_back(WindowRun(binDir, tree, lines)); break;
            }
        }
        std::printf("run %d: bare %.2f s, bare process %.2f s, silent %.2f s, window %.2f s\n", i + 1, bare.back(),
                    bareProcess.back(), silent.back(), window.back());
    }
    const double b = benchreport::Median(bare), p = benchreport::Median(bareProcess), s = benchreport::Median(silent),
                 w = benchreport::Median(window);
    std::printf("%llu files, %d lines in the window; medians of %d: bare walk %.2f s, bare walk in a process of its "
                "own %.2f s, silent %.2f s (%.2fx the bare walk, %.2fx the bare process), window %.2f s (%.2fx the "
                "bare walk, %.2fx silent)\n",
                files, lines, runs, b, p, s, s / b, s / p, w, w / b, w / s);
    return 0;
}
