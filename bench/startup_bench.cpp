// Start-up benchmark, side by side and interleaved: the program's window against a bare window with
// a list view and a button (same common-controls manifest), from CreateProcess until the window is
// shown and the process waits for input; and a runner's start against a bare program started the same
// way that writes its one Ready record, from CreateProcess until that record is read. Medians of
// several runs. Prints figures, asserts nothing.
//   startup_bench [RUNS] [PROGRAM]   (PROGRAM: another build of the program, to compare)
#include <windows.h>

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchReport.h"
#include "runner/RunnerPipe.h"
#include "runner/RunnerProtocol.h"
#include "win32/Handles.h"
#include "win32/Paths.h"

namespace {

double NowMs() {
    LARGE_INTEGER counter{}, frequency{};
    ::QueryPerformanceCounter(&counter);
    ::QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

struct Search {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK FindShown(HWND hwnd, LPARAM lParam) {
    auto* search = reinterpret_cast<Search*>(lParam);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (pid != search->pid || !::IsWindowVisible(hwnd) || ::GetWindow(hwnd, GW_OWNER) != nullptr) return TRUE;
    search->found = hwnd;
    return FALSE;
}

// Milliseconds from CreateProcess until the program's window is shown and it waits for input; the
// window is then closed. Negative when it did not show within ten seconds.
double WindowStart(const std::string& program) {
    std::string commandLine = "\"" + program + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    const double start = NowMs();
    if (!::CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &info)) {
        return -1;
    }
    win32::unique_handle process(info.hProcess), thread(info.hThread);
    ::WaitForInputIdle(process.get(), 10000);
    Search search{info.dwProcessId, nullptr};
    while (search.found == nullptr && NowMs() - start < 10000) {
        ::EnumWindows(&FindShown, reinterpret_cast<LPARAM>(&search));
        if (search.found == nullptr) ::Sleep(1);
    }
    const double elapsed = NowMs() - start;
    if (search.found != nullptr) ::PostMessageA(search.found, WM_CLOSE, 0, 0);
    if (::WaitForSingleObject(process.get(), 5000) != WAIT_OBJECT_0) ::TerminateProcess(process.get(), 1);
    return search.found != nullptr ? elapsed : -1;
}

// Milliseconds from CreateProcess until the Ready record of a program started as the program starts
// its runners (a pipe of its own, the pipe's end and the parent inherited) is read; then the pipe is
// closed and the runner ends. Negative when no record came within ten seconds.
double RunnerStart(const std::string& program) {
    const std::string name = runner::NewPipeName();
    win32::unique_handle pipe = runner::CreateRunnerPipe(name);
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    win32::unique_handle end(::CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, &inheritable, OPEN_EXISTING, 0, nullptr));
    HANDLE self = nullptr;
    ::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentProcess(), ::GetCurrentProcess(), &self, SYNCHRONIZE, TRUE, 0);
    win32::unique_handle parent(self);
    if (!win32::IsValid(pipe) || !win32::IsValid(end) || !parent) return -1;
    std::string commandLine = "\"" + program + "\" " + runner::kRunnerSwitch + " " +
                              std::to_string(reinterpret_cast<ULONG_PTR>(end.get())) + " " +
                              std::to_string(reinterpret_cast<ULONG_PTR>(parent.get()));
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    PROCESS_INFORMATION info{};
    win32::unique_handle event(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    const double start = NowMs();
    if (!::CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                          nullptr, &startup, &info)) {
        return -1;
    }
    win32::unique_handle process(info.hProcess), thread(info.hThread);
    runner::Reply ready{};
    OVERLAPPED overlapped{};
    overlapped.hEvent = event.get();
    DWORD got = 0;
    bool read = ::ReadFile(pipe.get(), &ready, sizeof ready, nullptr, &overlapped) ||
                ::GetLastError() == ERROR_IO_PENDING;
    read = read && ::WaitForSingleObject(event.get(), 10000) == WAIT_OBJECT_0 &&
           ::GetOverlappedResult(pipe.get(), &overlapped, &got, FALSE) && got == sizeof ready;
    const double elapsed = NowMs() - start;
    if (!read) ::CancelIoEx(pipe.get(), &overlapped);
    pipe.reset();
    if (::WaitForSingleObject(process.get(), 5000) != WAIT_OBJECT_0) ::TerminateProcess(process.get(), 1);
    return read && ready.answer == runner::Answer::Ready ? elapsed : -1;
}

std::string Beside(const char* name) {
    const std::string self = win32::ModulePath();
    return win32::JoinPath(self.substr(0, self.find_last_of('\\')), name);
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    const std::string program = argc > 2 ? std::string(argv[2])
                                         : win32::JoinPath(VELQUIST_BIN_DIR, sizeof(void*) == 8 ? "velquist64.exe" : "velquist.exe");
    const std::string bareWindow = Beside("bare_window.exe");
    const std::string bareRunner = Beside("bare_runner.exe");
    // One start of each first, so that every side starts from a warm cache.
    WindowStart(program), WindowStart(bareWindow), RunnerStart(program), RunnerStart(bareRunner);

    std::vector<double> window, bare, runnerStart, bareRunnerStart;
    for (int run = 0; run < runs; ++run) {
        window.push_back(WindowStart(program));
        bare.push_back(WindowStart(bareWindow));
        runnerStart.push_back(RunnerStart(program));
        bareRunnerStart.push_back(RunnerStart(bareRunner));
    }
    for (const auto* side : {&window, &bare, &runnerStart, &bareRunnerStart}) {
        for (double ms : *side) {
            if (ms < 0) {
                std::printf("a start failed\n");
                return 1;
            }
        }
    }
    using benchreport::Median;
    using benchreport::Verdict;
    const double w = Median(window), b = Median(bare), r = Median(runnerStart), br = Median(bareRunnerStart);
    std::printf("%d-bit, medians of %d interleaved runs\n", static_cast<int>(sizeof(void*) * 8), runs);
    std::printf("| Start | program | bare | program / bare |\n|---|---|---|---|\n");
    std::printf("| window shown and idle | %.0f ms | %.0f ms | %s |\n", w, b, Verdict(w / b, 1.2, false).c_str());
    std::printf("| runner's Ready read | %.0f ms | %.0f ms | %s |\n", r, br, Verdict(r / br, 1.5, false).c_str());
    return 0;
}
