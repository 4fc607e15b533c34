// The program's command line: velquist [/u] [/r] [/user] [/check | /test | /export:FILE | /removal:FILE]
// [/manifest:FILE] [/run] [/s] [/report:FILE] [PATH].
#pragma once

#include <string>
#include <vector>

namespace velquist {

struct CommandLine {
    bool unregister = false;  // /u: Un-Velquist! rather than Velquist!
    bool subfolders = false;  // /r: include sub-directories (directory mode)
    bool perUser = false;     // /user: register for the current user only
    bool check = false;       // /check: check the registration instead of changing it
    bool test = false;        // /test: make each registered class as a client would
    std::string exportFile;   // /export:FILE: write a .reg file that registers the components
    std::string removalFile;  // /removal:FILE: write a .reg file that removes them
    std::string manifestFile; // /manifest:FILE: write a manifest that makes their classes unregistered
    bool run = false;         // /run: run the command at once in the window
    bool silent = false;      // /s: no window; run, report on the console, exit with a code
    std::string report;       // /report:FILE (silent mode only)
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

// One argument quoted so that the system's rules (CommandLineToArgvW) read it back unchanged: in
// quotes, with the backslashes before a quote, or before the closing quote, doubled.
std::string QuoteArgument(const std::string& argument);

// The usage text shown for a bad command line.
std::string Usage();

// The exit codes of silent mode.
enum ExitCode : int { kExitSucceeded = 0, kExitFailed = 1, kExitNothingToDo = 2, kExitBadCommandLine = 3 };

}  // namespace velquist
