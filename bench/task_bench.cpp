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
    benchfiles::SilentRun(program, tasks.front().switches + " \"" + folder + "\"", ignored);  // every run finds it registered
    for (int i = 0; i < runs; ++i) {
        std::printf("run %d:", i + 1);
        for (Task& task : tasks) {
            task.seconds.push_back(benchfiles::SilentRun(program, task.switches + " \"" + folder + "\"", task.exitCode));
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
