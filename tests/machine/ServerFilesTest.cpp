// The files registrations name: values as the loader reads them, local servers' command lines, type
// library indexes, the views' system folders, and files on disk looked at once.
#include <gtest/gtest.h>
#include <windows.h>

#include <set>
#include <string>

#include "TestSupport.h"
#include "machine/ServerFiles.h"

namespace {

using machine::Bitness;
using machine::FileState;

std::string WindowsFolder() {
    char folder[MAX_PATH] = {};
    ::GetWindowsDirectoryA(folder, MAX_PATH);
    return folder;
}

machine::Exists OneOf(std::set<std::string> files) {
    return [files = std::move(files)](const std::string& path) { return files.count(path) > 0; };
}

TEST(ServerFiles, ValuesCommandLinesAndTypeLibraryIndexes) {
    EXPECT_EQ(machine::ServerPathOf("  \"C:\\A B\\x.dll\"  "), "C:\\A B\\x.dll");
    EXPECT_EQ(machine::ServerPathOf("%SystemRoot%\\System32\\ole32.dll"), WindowsFolder() + "\\System32\\ole32.dll");
    EXPECT_EQ(machine::ServerPathOf("grid.ocx"), "grid.ocx");

    const struct {
        const char* line;
        std::set<std::string> files;
        const char* program;
    } lines[] = {
        {"\"C:\\Program Files\\App\\app.exe\" /automation", {}, "C:\\Program Files\\App\\app.exe"},
        {"C:\\Program Files\\App\\app.exe -Embedding", {"C:\\Program Files\\App\\app.exe"}, "C:\\Program Files\\App\\app.exe"},
        {"C:\\Program Files\\App\\app -Embedding", {"C:\\Program Files\\App\\app.exe"}, "C:\\Program Files\\App\\app.exe"},
        // CreateProcess takes the shortest run of words that names a program.
        {"C:\\Program Files\\App\\app.exe", {"C:\\Program.exe", "C:\\Program Files\\App\\app.exe"}, "C:\\Program.exe"},
        {"C:\\Gone Away\\app.exe /x", {}, "C:\\Gone Away\\app.exe"},
        {"C:\\Gone\\app /x", {}, "C:\\Gone\\app"},
        {"%SystemRoot%\\explorer.exe /x", {WindowsFolder() + "\\explorer.exe"}, ""},
    };
    for (const auto& c : lines) {
        const std::string expected = *c.program != '\0' ? c.program : WindowsFolder() + "\\explorer.exe";
        EXPECT_EQ(machine::ProgramOfCommandLine(c.line, OneOf(c.files)), expected) << c.line;
    }

    const auto library = OneOf({"C:\\a\\lib.dll"});
    EXPECT_EQ(machine::TypeLibFileOf("C:\\a\\lib.dll\\2", library), "C:\\a\\lib.dll");
    EXPECT_EQ(machine::TypeLibFileOf("C:\\a\\lib.dll", library), "C:\\a\\lib.dll");
    EXPECT_EQ(machine::TypeLibFileOf("C:\\a\\gone.dll\\2", library), "C:\\a\\gone.dll\\2");  // the whole is missing
    EXPECT_EQ(machine::TypeLibFileOf("C:\\a\\lib.tlb", library), "C:\\a\\lib.tlb");
}

TEST(ServerFiles, SystemFolderOfEachView) {
    const std::string w = "C:\\Windows";
    const struct {
        const char* path;
        Bitness registration;
        bool windows64, process64;
        std::string expected;
    } cases[] = {
        {"C:\\Windows\\System32\\x.dll", Bitness::Bits32, true, false, w + "\\SysWOW64\\x.dll"},
        {"c:\\windows\\system32\\x.dll", Bitness::Bits32, true, true, w + "\\SysWOW64\\x.dll"},
        {"C:\\Windows\\System32\\x.dll", Bitness::Bits64, true, false, w + "\\Sysnative\\x.dll"},
        {"C:\\Windows\\System32\\x.dll", Bitness::Bits64, true, true, "C:\\Windows\\System32\\x.dll"},
        {"C:\\Windows\\System32\\x.dll", Bitness::Bits32, false, false, "C:\\Windows\\System32\\x.dll"},
        {"C:\\Windows\\System32x\\x.dll", Bitness::Bits32, true, false, "C:\\Windows\\System32x\\x.dll"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(machine::PathForProcess(c.path, c.registration, w, c.windows64, c.process64), c.expected) << c.path;
    }
}

// Real files: present, deleted, bare names in PATH, shares and absent drives not checked, and a file
// only the 64-bit system folder holds, seen through each view.
TEST(ServerFiles, FilesOnDiskEachLookedAtOnce) {
    testsupport::TempDir dir;
    ASSERT_TRUE(testsupport::WriteBytes(dir / "present.dll", "x"));
    machine::FileLook::Machine folders;
    folders.windows = WindowsFolder();
    folders.path = {dir.Path()};
    BOOL wow64 = FALSE;
    folders.process64 = sizeof(void*) == 8;
    folders.windows64 = folders.process64 || (::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64);
    machine::FileLook look(folders);

    char freeDrive = 0;
    const DWORD drives = ::GetLogicalDrives();
    for (char letter = 'Q'; letter <= 'Y' && freeDrive == 0; ++letter) {
        if (!(drives & (1u << (letter - 'A')))) freeDrive = letter;
    }
    ASSERT_NE(freeDrive, 0);
    const struct {
        std::string file;
        FileState expected;
    } cases[] = {
        {dir / "present.dll", FileState::Present},
        {dir / "gone.dll", FileState::Missing},
        {dir / "gone\\deeper.dll", FileState::Missing},
        {"present.dll", FileState::Present},  // in PATH
        {"present", FileState::Present},      // LoadLibrary adds ".dll"
        {"ole32.dll", FileState::Present},    // in the view's system folder
        {"velquist_nowhere_at_all.dll", FileState::Missing},
        {"\\\\server\\share\\grid.ocx", FileState::NotChecked},
        {std::string(1, freeDrive) + ":\\App\\grid.ocx", FileState::NotChecked},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(look.Look(c.file, Bitness::Bits32), c.expected) << c.file;
    }
    const std::size_t looked = look.Looked();
    EXPECT_EQ(look.Look(dir / "present.dll", Bitness::Bits32), FileState::Present);
    EXPECT_EQ(look.Look(dir / "gone.dll", Bitness::Bits32), FileState::Missing);
    EXPECT_EQ(look.Look("present.dll", Bitness::Bits32), FileState::Present);
    EXPECT_EQ(look.Look("velquist_nowhere_at_all.dll", Bitness::Bits32), FileState::Missing);
    EXPECT_EQ(look.Looked(), looked);  // nothing asked of the disk again

    ASSERT_TRUE(folders.windows64);
    const std::string system32 = folders.windows + "\\System32\\velquist_only64.dll";
    const std::string onDisk =
        machine::PathForProcess(system32, Bitness::Bits64, folders.windows, folders.windows64, folders.process64);
    ASSERT_TRUE(testsupport::WriteBytes(onDisk, "x")) << onDisk;
    machine::FileLook fresh(folders);
    EXPECT_EQ(fresh.Look(system32, Bitness::Bits64), FileState::Present);
    EXPECT_EQ(fresh.Look(system32, Bitness::Bits32), FileState::Missing);  // a 32-bit registration's means SysWOW64
    EXPECT_EQ(fresh.Look("velquist_only64.dll", Bitness::Bits64), FileState::Present);
    EXPECT_EQ(fresh.Look("velquist_only64.dll", Bitness::Bits32), FileState::Missing);
    ::DeleteFileA(onDisk.c_str());
}

}  // namespace
