// The runner-start benchmark's yardstick: a program started as a runner is (the pipe's end and the
// parent on the command line) that writes the one Ready record to the inherited pipe and waits
// until the pipe closes. Nothing else.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "pe/LoadDiagnosis.h"
#include "runner/RunnerProtocol.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    const char* cursor = std::strstr(commandLine, runner::kRunnerSwitch);
    if (cursor == nullptr) return 2;
    cursor += std::strlen(runner::kRunnerSwitch);
    HANDLE pipe = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(std::strtoull(cursor, nullptr, 10)));
    const runner::Reply ready{runner::kMagic, runner::Answer::Ready, runner::kOwnMachine, 0};
    DWORD written = 0;
    if (!::WriteFile(pipe, &ready, sizeof ready, &written, nullptr)) return 3;
    char byte = 0;
    DWORD read = 0;
    while (::ReadFile(pipe, &byte, 1, &read, nullptr) && read > 0) {
    }
    return 0;
}
