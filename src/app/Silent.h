// Silent mode: a run from the command line without a window, reported on the console and in a file.
#pragma once

#include "app/CommandLine.h"

namespace velquist {

// Runs the command line's request without any window or message box; writes each line (text, tab,
// detail) to the console the program was started from, if any, and the report when asked for one.
// Returns the exit code (see ExitCode); a bad command line prints the usage and gives 3.
int RunSilent(const CommandLine& line);

}  // namespace velquist
