// The runner: the program started without a window to load components and call their entry points
// for the program, so that nothing a component does can reach the program's own process.
#pragma once

namespace runner {

// True when the command line (without the program's name, as WinMain gets it) asks for a runner.
bool IsRunnerCommandLine(const char* commandLine) noexcept;

// Serves requests until the program closes the pipe or ends; the process's exit code.
int RunnerMain(const char* commandLine) noexcept;

}  // namespace runner
