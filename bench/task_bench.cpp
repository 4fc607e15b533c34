// Task benchmark: the program's silent runs of one folder, side by side: register, check, export and
// test, each started as a script starts it (/s /r FOLDER and the task's switch) and waited for. Each
// the median of several interleaved runs, the tasks that only read against the register run. Prints
// figures, asserts nothing.
//   task_bench FOLDER [RUNS]
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "BenchFiles.h"
#include "BenchReport.h"
#include "win32/Handles.h"
#include "win32/Paths.h"

namespace {

// One silent run, its seconds (-1 when it could not be started) and its exit code.
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

struct Task {
    const char* name;
    std::string switches;
    std::vector<double> seconds;
    DWORD exitCode = 0;
};

}  // namespace

int main(int argc, char** argv) {
    std::string folder;
    int runs = 0;
    if (!benchfiles::FolderAndRuns(argc, argv, "task_bench FOLDER [RUNS]", folder, runs)) return 2;
    const std::string program = benchfiles::ProgramOfThisBitness(VELQUIST_BIN_DIR);
    char temp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, temp);
    const std::string exportFile = win32::JoinPath(temp, "task_bench.reg");
    std::vector<Task> tasks{{"register", "/s /r", {}, 0},
                            {"check", "/s /r /check", {}, 0},
                            {"export", "/s /r \"/export:" + exportFile + "\"", {}, 0},
                            {"test", "/s /r /test", {}, 0}};
    DWORD ignored = 0;
    SilentRun(program, tasks.front().switches + " \"" + folder + "\"", ignored);  // every run finds it registered
    for (int i = 0; i < runs; ++i) {
        std::printf("run %d:", i + 1);
        for (Task& task : tasks) {
            task.seconds.push_back(SilentRun(program, task.switches + " \"" + folder + "\"", task.exitCode));
            std::printf(" %s %.2f s (exit %lu)", task.name, task.seconds.back(), task.exitCode);
        }
        std::printf("\n");
        std::fflush(stdout);
    }
    ::DeleteFileA(exportFile.c_str());
    const double base = benchreport::Median(tasks.front().seconds);
    std::printf("medians of %d, %s:", runs, program.c_str());
    for (const Task& task : tasks) {
        const double median = benchreport::Median(task.seconds);
        std::printf(" %s %.2f s (%.2fx register)", task.name, median, median / base);
    }
    std::printf("\n");
    return 0;
}
