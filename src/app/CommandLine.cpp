// Parsing the command line into the inputs of a run.
#include "app/CommandLine.h"

#include <windows.h>
#include <shellapi.h>

#include <cctype>

#include "tasks/Tasks.h"
#include "win32/Handles.h"
#include "win32/Paths.h"
#include "win32/Text.h"

namespace velquist {
namespace {

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Whether anything but blanks follows the program's name, read by the system's rule for the first
// argument: up to the closing quote when it starts with one, else up to the first blank.
bool HasArguments(const wchar_t* commandLine) {
    const wchar_t* cursor = commandLine;
    if (*cursor == L'"') {
        ++cursor;
        while (*cursor != L'\0' && *cursor != L'"') ++cursor;
        if (*cursor == L'"') ++cursor;
    } else {
        while (*cursor != L'\0' && *cursor != L' ' && *cursor != L'\t') ++cursor;
    }
    while (*cursor == L' ' || *cursor == L'\t') ++cursor;
    return *cursor != L'\0';
}

// The arguments after the first (the program's name) of a wide command line. A plain start does
// without the shell's parser (and its DLL) before the window shows.
std::vector<std::string> ArgumentsOf(const wchar_t* commandLine) {
    std::vector<std::string> arguments;
    if (commandLine == nullptr || !HasArguments(commandLine)) return arguments;
    int count = 0;
    const win32::unique_hlocal<LPWSTR> wide(::CommandLineToArgvW(commandLine, &count));
    if (!wide) return arguments;
    for (int i = 1; i < count; ++i) arguments.push_back(win32::Narrow(wide.get()[i]));
    return arguments;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine line;
    auto fail = [&line](const std::string& error) {
        if (line.valid) line.error = error;
        line.valid = false;
    };
    bool hasReport = false;
    bool hasPath = false;
    int tasks = 0;  // switches of tasks
    // A task's switch: "/word", or "/word:FILE" for a task whose switch takes a file; false for none.
    const auto taskSwitch = [&](const std::string& argument, const std::string& word) {
        for (const TaskSpec& spec : Tasks()) {
            if (spec.word.empty()) continue;
            const std::string name(spec.word);
            if (!spec.fileSwitch ? word != name : word.rfind(name + ":", 0) != 0) continue;
            line.task = spec.task;
            if (spec.fileSwitch) {
                line.taskFile = argument.substr(name.size() + 2);
                if (line.taskFile.empty()) fail("/" + name + ": needs a file name.");
            }
            ++tasks;
            return true;
        }
        return false;
    };
    for (const std::string& argument : arguments) {
        if (argument.size() > 1 && (argument[0] == '/' || argument[0] == '-')) {
            const std::string word = Lower(argument.substr(1));
            if (word == "u") {
                line.unregister = true;
            } else if (word == "r") {
                line.subfolders = true;
            } else if (word == "user") {
                line.perUser = true;
            } else if (word == "force") {
                line.force = true;
            } else if (word == "i" || word.rfind("i:", 0) == 0) {
                if (line.install.on) fail("/i is given twice.");
                line.install.on = true;
                line.install.hasCommandLine = word.size() > 1;
                if (line.install.hasCommandLine) line.install.commandLine = argument.substr(3);
            } else if (word == "tlb") {
                line.typeLibraries = true;
            } else if (word == "n") {
                line.install.alone = true;
            } else if (word == "run") {
                line.run = true;
            } else if (word == "s") {
                line.silent = true;
            } else if (taskSwitch(argument, word)) {
            } else if (word.rfind("undo:", 0) == 0) {
                if (!line.undoFile.empty()) fail("/undo is given twice.");
                line.undoFile = argument.substr(6);
                if (line.undoFile.empty()) fail("/undo: needs a file name.");
            } else if (word.rfind("report:", 0) == 0) {
                line.report = argument.substr(8);
                if (line.report.empty()) fail("/report: needs a file name.");
                if (hasReport) fail("/report is given twice.");
                hasReport = true;
            } else {
                fail("Unknown switch: " + argument);
            }
        } else if (hasPath) {
            fail("Only one file or folder can be named: " + argument);
        } else {
            line.path = argument;
            hasPath = true;
        }
    }
    if (tasks > 1) fail("Only one of " + TaskSwitches("and") + " can be given.");
    if (tasks > 0 && line.unregister) fail("/u cannot be given with " + TaskSwitches("or") + ".");
    if (line.force && !line.unregister) fail("/force is for unregister runs (/u) only.");
    if (line.typeLibraries && !TaskOf(line.task).takesPath) {
        fail("/tlb cannot be given with /" + std::string(TaskOf(line.task).word) + ": it takes no file or folder.");
    }
    if (line.typeLibraries && line.install.on) fail("/tlb cannot be given with /i: a type library has no DllInstall.");
    if (line.install.alone && !line.install.on) fail("/n is for DllInstall (/i) only: it calls DllInstall alone.");
    if (line.install.on && line.task != RunRequest::Task::Change) {
        fail("/i cannot be given with /" + std::string(TaskOf(line.task).word) + ".");
    }
    const TaskSpec& task = TaskOf(line.task);
    if (line.perUser && !task.perUserApplies) fail("/user cannot be given with /" + std::string(task.word) + ".");
    if (!task.takesPath && hasPath) fail("/" + std::string(task.word) + " takes no file or folder: " + line.path);
    if (hasReport && !line.silent) fail("/report is for silent mode (/s) only.");
    if (!line.undoFile.empty() && line.task != RunRequest::Task::Change) {
        fail("/undo cannot be given with /" + std::string(task.word) + ".");
    }
    if (!line.undoFile.empty() && line.install.alone) {
        fail("/undo cannot be given with /n: what DllInstall changes is not recorded.");
    }
    if (!line.undoFile.empty() && !line.silent) {
        fail("/undo is for silent mode (/s) only: in the window, File > Save undo file... writes the undo file.");
    }
    if (line.silent && !hasPath && task.takesPath) fail("Silent mode (/s) needs a file or folder.");
    return line;
}

RunRequest RequestFrom(const CommandLine& line) {
    RunRequest request;
    request.mode = win32::IsFolder(line.path) ? RunRequest::Mode::Directory : RunRequest::Mode::SingleFile;
    request.path = line.path;
    request.subfolders = line.subfolders;
    request.registerFlag = !line.unregister;
    request.perUser = line.perUser;
    request.force = line.force;
    request.install = line.install;
    request.typeLibraries = line.typeLibraries;
    request.task = line.task;
    request.target = line.taskFile;
    return request;
}

std::vector<std::string> ProcessArguments() { return ArgumentsOf(::GetCommandLineW()); }

std::vector<std::string> SplitArguments(const std::string& parameters) {
    const std::string line = "velquist " + parameters;
    const int length = ::MultiByteToWideChar(CP_ACP, 0, line.c_str(), -1, nullptr, 0);
    if (length <= 0) return {};
    std::wstring wide(static_cast<size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, line.c_str(), -1, wide.data(), length);
    return ArgumentsOf(wide.c_str());
}

std::string Usage() {
    return "Usage: velquist [/u [/force]] [/r] [/user] [/i[:CMDLINE] [/n]] [/tlb] [/undo:FILE] [/check | /test |\n"
           "                /export:FILE | /removal:FILE | /manifest:FILE] [/run] [/s] [/report:FILE] [PATH]\n"
           "       velquist /scan | /clean:BACKUP.reg | /putback:FILE [/run] [/s] [/report:FILE]\n"
           "\n"
           "PATH\tA component file (single file) or a folder (all files in it).\n"
           "/u\tUnregister instead of register. A component whose classes are registered for another\n"
           "\tfile (another copy) is left registered, with a failed line: unregistering it would\n"
           "\tremove that file's registration.\n"
           "/force\tWith /u: unregister such copies too.\n"
           "/r\tWith a folder: include its sub-directories.\n"
           "/user\tRegister for the current user only (no administrator rights needed); with /export\n"
           "\tand /removal, write the keys for the current user only.\n"
           "/i[:CMDLINE]\tAlso call DllInstall, with CMDLINE (without it, with none): after\n"
           "\tDllRegisterServer, or with /u before DllUnregisterServer; the second only when the first\n"
           "\tsucceeded.\n"
           "/n\tWith /i: call DllInstall alone (a file is a component when it exports DllInstall).\n"
           "/tlb\tAlso register (with /u unregister) type library files: .tlb and .olb files, and\n"
           "\tprogram files that hold a type library but are no component (FILE\\2 names the second).\n"
           "/check\tCheck whether this machine has each component registered, and where.\n"
           "/test\tMake each class a component registered here serves, and load its type libraries,\n"
           "\tas a client would (nothing is registered).\n"
           "/export:FILE\tWrite a .reg file to FILE that registers the components (nothing is registered).\n"
           "/removal:FILE\tWrite a .reg file to FILE that removes their registration.\n"
           "/manifest:FILE\tWrite a manifest to FILE (NAME.manifest, in the components' folder) through\n"
           "\twhich an application uses them with nothing registered.\n"
           "/scan\tFind this machine's broken registrations: files they name that are missing, entries\n"
           "\tthat point at nothing registered (both registry views, all users and the current user;\n"
           "\tnothing is changed). With /s: exit code 0 nothing broken, 1 something broken.\n"
           "/clean:BACKUP.reg\tRemove what /scan finds that may go, after writing BACKUP.reg, which puts it\n"
           "\tback. With /s: exit code 0 all removed, 1 some could not be, or the backup could not be\n"
           "\twritten (nothing removed), 2 nothing broken to remove.\n"
           "/run\tRun at once in the window.\n"
           "/s\tSilent: no window; results on the console; exit code 0 all succeeded (check: all\n"
           "\tregistered here; test: all work; export: all captured, or all in the manifest, and the\n"
           "\tfile written), 1 some failed (check: some not registered here; test: some do not work),\n"
           "\t2 nothing to do, 3 bad command line.\n"
           "/report:FILE\tWith /s: also write the results to FILE as CSV.\n"
           "/undo:FILE\tWith /s, registering or unregistering: write FILE, a .reg file that puts back\n"
           "\twhat the run changed when imported (reg import FILE); begun before the first component is\n"
           "\tcalled and kept up as the run goes. When it cannot be written nothing is called (exit 1).\n"
           "/putback:FILE\tPut the registry back as FILE, an undo file, says: a line for each component.\n"
           "\tAfter File > Undo last run was denied access, the restart as administrator gets what is\n"
           "\tleft to put back this way, in a temporary file it deletes once read.";
}

}  // namespace velquist
