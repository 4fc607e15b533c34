// Shared test helpers: where the test components are, scratch folders, files, registry keys, processes.
#pragma once

#include <windows.h>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "inspect/RegistryTree.h"
#include "registration/Session.h"
#include "win32/Handles.h"

namespace testsupport {

// The folder holding the test components built for this architecture (a Windows path).
std::string ComponentDir();
// ComponentDir() + "\\" + fileName.
std::string ComponentPath(std::string_view fileName);
// The same components built for the other bitness (64-bit ones in the 32-bit tests and the reverse).
std::string OtherComponentPath(std::string_view fileName);
// The folder of velquist.exe and velquist64.exe, which every test program uses as its runners.
std::string BinDir();
// The build's runner programs (velquist.exe and velquist64.exe in BinDir()), for a window or a session.
registration::RunnerPrograms BuildRunners();
// Whether the program of the other bitness starts (as a runner). Tests of the other bitness fail
// at once, saying so, where it does not: a runner that cannot start is a fault, never a skip.
bool OtherBitnessRuns();
#define VELQUIST_ASSERT_OTHER_BITNESS_RUNS()                                                            \
    ASSERT_TRUE(testsupport::OtherBitnessRuns()) << "the other bitness's program does not start as a runner"

// One session of the test program for its direct probes and calls, its runners from the build.
registration::Session& Runners();

// A fresh, empty folder under the temporary folder, removed with all it holds on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    // Path() + "\\" + relative.
    std::string operator/(std::string_view relative) const;

private:
    std::string path_;
};

// Writes bytes to path, replacing it; false on failure.
bool WriteBytes(const std::string& path, std::string_view bytes);
// Reads a whole file ("" when it cannot be read).
std::string ReadBytes(const std::string& path);
// Copies a file, replacing the target; false on failure.
bool CopyTo(const std::string& from, const std::string& to);
// Creates a folder and any missing parents.
bool MakeDirs(const std::string& path);
// Removes a folder tree (clearing read-only, hidden and system attributes first).
void RemoveTree(const std::string& path);

// Drops a WM_QUIT left in this thread's queue (closing the main window posts one), so that one
// test's close does not end the next test's loop or dialog.
void DrainQuit();

// Registry keys as a test reads them, in one view (0: this program's own; KEY_WOW64_32KEY or
// KEY_WOW64_64KEY).
bool KeyExists(HKEY root, const std::string& subKey, REGSAM view = 0);
// A string value (valueName nullptr: the key's default value); kNoKey or kNoValue where there is
// none, so that a failed comparison says which.
inline constexpr char kNoKey[] = "<no key>";
inline constexpr char kNoValue[] = "<no value>";
std::string StringValue(HKEY root, const std::string& subKey, const char* valueName = nullptr, REGSAM view = 0);
// Removes the key and everything below it.
void DeleteTree(HKEY root, const std::string& subKey, REGSAM view = 0);

// The InprocServer32 path a class is registered with under HKEY_CLASSES_ROOT (in one view, as for
// KeyExists), or "" when its key is absent; and the removal of the class's key, so that a test
// starts from an unregistered class.
std::string RegisteredServer(const char* clsid, REGSAM view = 0);
void ForgetClass(const char* clsid, REGSAM view = 0);

// The parts of the registry a check or an export must leave alone, read whole: HKLM\Software in both
// views and HKCU\Software (without Wine's own font cache, which Wine updates as processes start).
// Each key is its path and the text of its values; when the key was last written is left out.
// Wine saves a tree as text in one call (RegSaveKeyEx), thousands of times faster than reading it key by
// key; the keys are read one by one where it saves in another form.
struct MachineRegistry {
    struct Key {
        std::string path, values;
        bool operator==(const Key&) const = default;
    };
    std::vector<Key> machine64, machine32, user;
    static MachineRegistry Read();
    // The first key that differs from `later`, "" when none does.
    std::wstring FirstDifference(const MachineRegistry& later) const;
};

// What a program run to its end gave back: its exit code (none when it could not start or was ended
// for running too long) and what it wrote to its standard output and error.
struct ProcessOutcome {
    std::optional<DWORD> exitCode;
    std::string output;
};
// Runs `"program" arguments`, reading its output to the end; a program still running after waitMs is
// ended.
ProcessOutcome RunProcess(const std::string& program, const std::string& arguments, DWORD waitMs,
                          DWORD creationFlags = 0);

// A program started for a test that looks at it while it runs; ended on destruction if still running.
class StartedProcess {
public:
    // output: where its standard output and error go (an inheritable handle), or nullptr for its own.
    StartedProcess(const std::string& program, const std::string& arguments, DWORD creationFlags = 0,
                   HANDLE output = nullptr);
    ~StartedProcess();
    StartedProcess(const StartedProcess&) = delete;
    StartedProcess& operator=(const StartedProcess&) = delete;

    bool Started() const { return win32::IsValid(process_); }
    DWORD Id() const { return id_; }
    // Its exit code once it has ended, waiting up to waitMs; none while it still runs.
    std::optional<DWORD> Wait(DWORD waitMs);
    // Ends it now if it still runs.
    void End();

private:
    win32::unique_handle process_;
    DWORD id_ = 0;
};

// The started program's main window once it is shown (waiting up to 15 s); nullptr if none shows.
HWND MainWindowOf(const StartedProcess& process);

}  // namespace testsupport
