// The files the machine's COM registrations name, read as a loader of the registration's bitness reads
// them: values expanded and unquoted, a local server's program found in its command line, a type
// library's resource index dropped, bare names searched for, and each file looked at once.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace machine {

enum class Bitness { Bits32, Bits64 };

// What a registration's file is found to be. A file on a network share, or on a drive that is not
// ready or not there, is not checked: it may well exist, and calling it missing invites removing what
// works.
enum class FileState { Present, Missing, NotChecked };

using Exists = std::function<bool(const std::string& path)>;

// A server value's text as the loader reads it: %VAR% expanded (in REG_SZ values too), blanks around
// it and enclosing quotes dropped.
std::string ServerPathOf(const std::string& value);

// The program a LocalServer32 command line starts, found as CreateProcess finds it: up to the closing
// quote when it starts with one; otherwise the shortest run of words, up to a blank, that names an
// existing file (".exe" added to a name without an extension); when none does, the longest that ends
// in ".exe", else the first word.
std::string ProgramOfCommandLine(const std::string& commandLine, const Exists& exists);

// A type library's file: the value itself, unless it ends in "\N" (a resource index) and the text
// before it names an existing file.
std::string TypeLibFileOf(const std::string& value, const Exists& exists);

// Where this process finds a file that a registration of `registration` bitness names, under
// `windows` (the Windows folder, no trailing backslash): a 32-bit registration's System32 is SysWOW64
// on 64-bit Windows; a 64-bit one's, asked for from a 32-bit process, is Sysnative.
std::string PathForProcess(const std::string& path, Bitness registration, const std::string& windows, bool windows64,
                           bool process64);

// The files of registrations, each looked at once.
class FileLook {
public:
    // The folders of this machine (defaults: this process's), for tests.
    struct Machine {
        std::string windows;              // C:\Windows
        std::vector<std::string> path;    // the PATH folders, in order
        bool windows64 = false;           // 64-bit Windows
        bool process64 = false;           // this process is 64-bit
    };
    FileLook();
    explicit FileLook(Machine machine) : machine_(std::move(machine)) {}

    // The state of a file a registration of that bitness names (already expanded and unquoted). A bare
    // name is missing only when it is in none of the folders where a loader of that bitness looks: the
    // system folder of its view, the Windows folder and PATH.
    FileState Look(const std::string& file, Bitness registration);
    // Files looked at on disk so far.
    std::size_t Looked() const noexcept { return seen_.size(); }

private:
    FileState LookOnDisk(const std::string& path);

    Machine machine_;
    std::map<std::string, FileState> seen_;  // by the path asked for, in upper case
};

}  // namespace machine
