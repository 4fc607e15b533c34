// The program's command line: velquist [/u [/force]] [/r] [/user] [/i[:CMDLINE] [/n]] [/tlb] [/undo:FILE] [/check | /test | /export:FILE | /removal:FILE]
// [/manifest:FILE] [/run] [/s] [/report:FILE] [PATH], or velquist /scan | /clean:BACKUP.reg [/run] [/s] [/report:FILE].
#pragma once

#include <string>
#include <vector>

#include "tasks/RunRequest.h"
#include "win32/Text.h"

namespace velquist {

struct CommandLine {
    bool unregister = false;  // /u: Un-Velquist! rather than Velquist!
    bool subfolders = false;  // /r: include sub-directories (directory mode)
    bool perUser = false;     // /user: register for the current user only
    bool force = false;       // /force: with /u, unregister copies registered elsewhere too
    // /i (a NULL command line), /i:CMDLINE: DllInstall after DllRegisterServer (before DllUnregisterServer
    // with /u); with /n, DllInstall alone
    registration::InstallCall install;
    bool typeLibraries = false;  // /tlb: register and unregister type library files too
    // /check, /test, /export:FILE, /removal:FILE, /manifest:FILE (see the table of tasks); a register
    // run without one
    RunRequest::Task task = RunRequest::Task::Change;
    std::string taskFile;     // the FILE of a task that writes one
    bool run = false;         // /run: run the command at once in the window
    bool silent = false;      // /s: no window; run, report on the console, exit with a code
    std::string report;       // /report:FILE (silent mode only)
    std::string undoFile;     // /undo:FILE: a register or unregister run's undo record, as a .reg file (silent mode only)
    std::string path;         // PATH: a file (single-file mode) or a folder (directory mode)
    bool valid = true;
    std::string error;        // why it is not valid
};

// Parses the arguments after the program's name. Switches start with '/' or '-', match whole words in
// any case and come in any order; one PATH at most.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// The arguments of this process's command line, split by the system's rules (quotes, blanks) from
// its wide form and given in the program's code page; without the program's name.
std::vector<std::string> ProcessArguments();

// A string of parameters split as ProcessArguments splits the process's own.
std::vector<std::string> SplitArguments(const std::string& parameters);

using win32::QuoteArgument;

// The request a (valid) command line makes: directory mode when its path names a folder.
RunRequest RequestFrom(const CommandLine& line);

// The usage text shown for a bad command line.
std::string Usage();

}  // namespace velquist
