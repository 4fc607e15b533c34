// The pipe between the program and one runner: a name no one can guess ahead, one instance, local
// clients only, and access for the user the program runs as alone.
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

}  // namespace runner
