// What the benchmark programs share: the tree walk in the directory run's order, and the header check.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "pe/PeExports.h"

namespace benchfiles {

// Every file under root: each folder's sub-folders first (depth first), then its own files, in the
// order the file system lists them; the order of Module1::RegisterFolder.
std::vector<std::string> ListTree(const std::string& root);

// The header check the program makes before it loads anything: open, map, read the export table.
peexports::HeaderCheck ReadHeaders(const std::string& path);

// Seconds on a monotonic clock.
double Seconds();

// One run of the program with these arguments, its output going nowhere, as a script starts it and
// waits for it: its seconds (-1 when it could not be started) and its exit code.
double SilentRun(const std::string& program, const std::string& arguments, DWORD& exitCode);

// A benchmark's command line FOLDER [RUNS]: the folder as a full path, RUNS at least 1 (3 when not
// given). False, with `usage` on the error stream, when the folder is missing.
bool FolderAndRuns(int argc, char** argv, const char* usage, std::string& folder, int& runs);

// The program of the benchmark's own bitness in binDir.
std::string ProgramOfThisBitness(const std::string& binDir);

}  // namespace benchfiles
