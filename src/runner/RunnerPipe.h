// The pipe between the program and one runner: a name no one can guess ahead, one instance, local
// clients only, and access for the user the program runs as alone; and the runner's start on it.
#pragma once

#include <windows.h>

#include <string>

#include "win32/Handles.h"

namespace runner {

// "\\.\pipe\velquist-runner-<pid>-<128 random bits in hex>"; "" when the system gives no random bits.
std::string NewPipeName();

// The server end of a new pipe of that name (overlapped, duplex, bytes); invalid when the name is taken,
// with the system's error.
win32::unique_handle CreateRunnerPipe(const std::string& name);

// The runner `program` started suspended, in the system folder, with no window and no console handles
// of ours, told its end of the pipe and the program's handle (both inheritable). False, with the
// system's error for GetLastError, when it could not be started.
bool StartSuspendedRunner(const std::string& program, HANDLE runnerEnd, HANDLE parent, PROCESS_INFORMATION& info);

}  // namespace runner
