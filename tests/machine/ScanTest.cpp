// The scan's reading and judging over private classes keys laid out as the machine's are: what is
// broken is found, and what only looks broken to a careless cleaner is not.
#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <set>
#include <string>

#include "TestSupport.h"
#include "inspect/RegistryTree.h"
#include "machine/Clean.h"
#include "results/RegFile.h"
#include "win32/Handles.h"
#include "win32/Text.h"

namespace {

using machine::Bitness;

constexpr char kBase[] = "Software\\Velquist Tests\\Scan";

// Sets a value below HKCU\kBase\place, creating the key.
void Set(const std::string& place, const std::string& key, const char* name, const std::string& data,
         DWORD type = REG_SZ) {
    HKEY raw = nullptr;
    const std::string path = std::string(kBase) + "\\" + place + "\\" + key;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &raw, nullptr),
              ERROR_SUCCESS) << path;
    const win32::unique_hkey opened(raw);
    const LONG error = ::RegSetValueExA(raw, name, 0, type, reinterpret_cast<const BYTE*>(data.c_str()),
                                        static_cast<DWORD>(data.size() + 1 + (type == REG_MULTI_SZ ? 1 : 0)));
    ASSERT_EQ(error, ERROR_SUCCESS) << path;
}

class Scan : public ::testing::Test {
protected:
    void SetUp() override { ::RegDeleteTreeA(HKEY_CURRENT_USER, kBase); }
    void TearDown() override { ::RegDeleteTreeA(HKEY_CURRENT_USER, kBase); }

    machine::Findings Judged() {
        read = machine::ReadRegistrations(Roots());
        machine::FileLook look;
        return machine::Judge(read, look);
    }

    void LayOut();
    std::vector<machine::ClassesRoot> Roots() const {
        std::vector<machine::ClassesRoot> roots;
        for (const auto& [name, place] : std::map<std::string, machine::Place>{
                 {"M64", {Bitness::Bits64, false}}, {"M32", {Bitness::Bits32, false}}, {"U64", {Bitness::Bits64, true}}}) {
            const std::string path = std::string(kBase) + "\\" + name;
            roots.push_back({HKEY_CURRENT_USER, std::wstring(path.begin(), path.end()), 0, place});
        }
        return roots;
    }

    testsupport::TempDir dir;
    machine::Registrations read;
};

// The layout both tests read: what is broken, and what only looks so to a careless cleaner.
void Scan::LayOut() {
    ASSERT_TRUE(testsupport::WriteBytes(dir / "present.dll", "x"));
    ASSERT_TRUE(testsupport::MakeDirs(dir / "My App"));
    ASSERT_TRUE(testsupport::WriteBytes(dir / "My App\\app.exe", "x"));
    const std::string gone = dir / "gone.ocx";
    const std::string a = "{0A000000-0000-0000-0000-00000000000A}", b = "{0B000000-0000-0000-0000-00000000000B}";
    // A class whose file is gone, its two ProgIDs, and an interface whose proxy/stub it is.
    Set("M64", "CLSID\\" + a + "\\InprocServer32", nullptr, gone);
    Set("M64", "CLSID\\" + a + "\\ProgID", nullptr, "Grid.Control.1");
    Set("M64", "Grid.Control.1\\CLSID", nullptr, a);
    Set("M64", "Grid.Control\\CLSID", nullptr, a);
    Set("M64", "Grid.Control\\CurVer", nullptr, "Grid.Control.1");
    Set("M64", "Interface\\{1A000000-0000-0000-0000-00000000000A}", nullptr, "IGrid");
    Set("M64", "Interface\\{1A000000-0000-0000-0000-00000000000A}\\ProxyStubClsid32", nullptr, a);
    // Served through another value; %SystemRoot% expanded and System32 read as the 32-bit view's;
    // a local server unquoted with blanks and arguments; advertised; on a share.
    Set("M64", "CLSID\\{0C000000-0000-0000-0000-00000000000C}\\InprocServer32", nullptr, dir / "gone2.dll");
    Set("M64", "CLSID\\{0C000000-0000-0000-0000-00000000000C}\\LocalServer32", nullptr, "\"" + (dir / "My App\\app.exe") + "\" /automation");
    Set("M32", "CLSID\\" + b + "\\InprocServer32", nullptr, "%SystemRoot%\\System32\\ole32.dll", REG_EXPAND_SZ);
    Set("M64", "CLSID\\{0D000000-0000-0000-0000-00000000000D}\\LocalServer32", nullptr, (dir / "My App\\app") + " -Embedding");
    Set("M64", "CLSID\\{0E000000-0000-0000-0000-00000000000E}\\InprocServer32", nullptr, dir / "notyet.dll");
    Set("M64", "CLSID\\{0E000000-0000-0000-0000-00000000000E}\\InprocServer32", "InprocServer32",
        std::string("w{(PRODUCT)>feature") + '\0' + "", REG_MULTI_SZ);
    Set("M64", "CLSID\\{0F000000-0000-0000-0000-00000000000F}\\InprocServer32", nullptr, "\\\\server\\share\\grid.ocx");
    Set("M64", "CLSID\\{10000000-0000-0000-0000-000000000010}\\InprocServer32", nullptr, "ole32.dll");  // bare
    // A ProgID of the shared classes whose class is 32-bit only; one naming no class; a CurVer naming none.
    Set("M64", "Shared.Thing\\CLSID", nullptr, b);
    Set("M64", "Orphan.1\\CLSID", nullptr, "{0Z000000-0000-0000-0000-00000000000Z}");
    Set("M64", "Old.Thing\\CLSID", nullptr, "{0C000000-0000-0000-0000-00000000000C}");
    Set("M64", "Old.Thing\\CurVer", nullptr, "Old.Thing.9");
    // Type libraries: a file gone, and a resource index into a file that exists.
    Set("M64", "TypeLib\\{2A000000-0000-0000-0000-00000000000A}\\1.0", nullptr, "Grid 1.0");
    Set("M64", "TypeLib\\{2A000000-0000-0000-0000-00000000000A}\\1.0\\0\\win32", nullptr, dir / "grid.tlb");
    Set("M64", "TypeLib\\{2B000000-0000-0000-0000-00000000000B}\\1.0\\0\\win64", nullptr, (dir / "present.dll") + "\\2");
    // Interfaces: a proxy/stub class registered nowhere, a type library registered nowhere.
    Set("M64", "Interface\\{1B000000-0000-0000-0000-00000000000B}\\ProxyStubClsid32", nullptr, "{0Y000000-0000-0000-0000-00000000000Y}");
    Set("M64", "Interface\\{1C000000-0000-0000-0000-00000000000C}\\TypeLib", nullptr, "{2Z000000-0000-0000-0000-00000000000Z}");
    // Managed classes: judged by their CodeBase where they have one (here gone), else not judged.
    Set("M64", "CLSID\\{12000000-0000-0000-0000-000000000012}\\InprocServer32", nullptr, "mscoree.dll");
    Set("M64", "CLSID\\{12000000-0000-0000-0000-000000000012}\\InprocServer32", "Assembly", "Grid, Version=1.0.0.0");
    Set("M64", "CLSID\\{12000000-0000-0000-0000-000000000012}\\InprocServer32\\1.0.0.0", "CodeBase",
        "file:///" + (dir / "My%20Grid.dll"));
    Set("M64", "CLSID\\{13000000-0000-0000-0000-000000000013}\\InprocServer32", nullptr, "mscoree.dll");
    Set("M64", "CLSID\\{13000000-0000-0000-0000-000000000013}\\InprocServer32", "Assembly", "Other, Version=1.0.0.0");
    // The current user's own class, its file gone.
    Set("U64", "CLSID\\{11000000-0000-0000-0000-000000000011}\\InprocServer32", nullptr, dir / "user.dll");

}

TEST_F(Scan, FindsWhatIsBrokenAndNothingThatOnlyLooksSo) {
    ASSERT_NO_FATAL_FAILURE(LayOut());
    const std::string gone = dir / "gone.ocx";
    const std::string a = "{0A000000-0000-0000-0000-00000000000A}";
    const machine::Findings found = Judged();
    EXPECT_EQ(read.classes.size(), 10u);
    ASSERT_EQ(found.missing.size(), 4u);
    EXPECT_EQ(found.missing[0].file, gone);
    EXPECT_EQ(machine::MissingDetail(found.missing[0]),
              "The file does not exist. 1 class (Grid.Control.1) and 2 ProgIDs point at it: 64-bit, for all users.");
    EXPECT_EQ(found.missing[1].file, dir / "grid.tlb");
    EXPECT_EQ(machine::MissingDetail(found.missing[1]),
              "The file does not exist. 1 type library (Grid 1.0) points at it: 32-bit, for all users.");
    EXPECT_EQ(found.missing[2].file, dir / "My Grid.dll");  // the CodeBase's URL read as a path
    EXPECT_EQ(found.missing[3].file, dir / "user.dll");
    EXPECT_NE(machine::MissingDetail(found.missing[3]).find(": 64-bit, for the current user."), std::string::npos);

    std::map<std::string, std::string> broken;
    for (const machine::BrokenEntry& entry : found.broken) broken[entry.name] = entry.detail;
    ASSERT_EQ(broken.size(), 5u);
    EXPECT_EQ(broken["Orphan.1"],
              "This ProgID names the class {0Z000000-0000-0000-0000-00000000000Z}, which is registered nowhere (64-bit, for all users).");
    EXPECT_EQ(broken["Old.Thing"], "This ProgID's CurVer names Old.Thing.9, which does not exist (64-bit, for all users).");
    EXPECT_EQ(broken["IGrid"].rfind("This interface's proxy/stub class " + a + " is served by " + gone + ", which does not exist", 0), 0u)
        << broken["IGrid"];
    EXPECT_NE(broken["{1B000000-0000-0000-0000-00000000000B}"].find("registered in neither hive of its view"), std::string::npos);
    EXPECT_NE(broken["{1C000000-0000-0000-0000-00000000000C}"].find("names the type library {2Z000000"), std::string::npos);
}

// The clean of that layout: what may go goes, nothing else, after a backup that `reg import` turns back
// into every key and value as it was.
TEST_F(Scan, CleanRemovesWhatMayGoAndItsBackupPutsItBack) {
    ASSERT_NO_FATAL_FAILURE(LayOut());
    const std::string lib = "TypeLib\\{2C000000-0000-0000-0000-00000000000C}\\1.0\\0\\";
    Set("M64", lib + "win32", nullptr, dir / "gone32.tlb");
    Set("M64", lib + "win64", nullptr, dir / "present.dll");
    // ProgIDs that are also file types, their classes registered nowhere: an extension names one, the
    // other has verbs. Both still used.
    Set("M64", ".grid", nullptr, "Grid.Document");
    Set("M64", "Grid.Document\\CLSID", nullptr, "{0X000000-0000-0000-0000-00000000000X}");
    Set("M64", "Grid.Sheet\\CLSID", nullptr, "{0X000000-0000-0000-0000-00000000000X}");
    Set("M64", "Grid.Sheet\\shell\\open\\command", nullptr, "grid.exe \"%1\"");
    const std::wstring base = win32::Wide(kBase);
    std::vector<registry::TreeKey> before, after;
    ASSERT_EQ(registry::ReadTree(HKEY_CURRENT_USER, base, 0, before), ERROR_SUCCESS);

    const std::vector<machine::Removal> plan = machine::PlanClean(Roots(), read, Judged());
    std::set<std::string> removed;
    for (const machine::Removal& removal : plan) removed.insert(win32::Narrow(removal.path.substr(base.size() + 1)));
    // Never a class served through another value, advertised, on a share or found by its bare name; a
    // ProgID whose CurVer alone is wrong, or whose class is 32-bit only; an interface; a container.
    const std::set<std::string> expected = {
        "M64\\CLSID\\{0A000000-0000-0000-0000-00000000000A}", "M64\\Grid.Control", "M64\\Grid.Control.1", "M64\\Orphan.1",
        "M64\\TypeLib\\{2A000000-0000-0000-0000-00000000000A}",  // its one platform gone: the library goes
        "M64\\" + lib + "win32",                               // the other platform stays
        "U64\\CLSID\\{11000000-0000-0000-0000-000000000011}",
        "M64\\CLSID\\{12000000-0000-0000-0000-000000000012}",  // managed, its CodeBase gone
    };
    EXPECT_EQ(removed, expected);

    std::wstring text;
    ASSERT_EQ(machine::BackupText(plan, L"2026-12-10", text), ERROR_SUCCESS);
    DWORD error = ERROR_SUCCESS;
    ASSERT_TRUE(velquist::SaveRegFile(dir / "backup.reg", text, error)) << error;
    for (const LONG result : machine::Remove(plan)) EXPECT_EQ(result, ERROR_SUCCESS);
    const machine::Findings left = Judged();
    EXPECT_TRUE(left.missing.empty());
    EXPECT_TRUE(machine::PlanClean(Roots(), read, left).empty());  // a second clean finds nothing to remove

    const testsupport::ProcessOutcome imported = testsupport::RunProcess(
        ::getenv("SystemRoot") + std::string("\\system32\\reg.exe"), "import \"" + (dir / "backup.reg") + "\"", 30000);
    EXPECT_EQ(imported.exitCode, 0u);
    ASSERT_EQ(registry::ReadTree(HKEY_CURRENT_USER, base, 0, after), ERROR_SUCCESS);
    EXPECT_EQ(after, before);
}

// The machine's own roots: a class of each view, written where 64-bit Windows keeps it, is read in its
// own view by either program (a 32-bit process opening a subkey without the view's flag is taken to
// the 32-bit view).
TEST(ScanMachine, EachViewsClassIsReadInItsOwnView) {
    const struct {
        const char* key;
        const char* file;
        const char* place;
    } classes[] = {
        {"Software\\Classes\\CLSID\\{7E570064-0000-4000-8000-000000000064}", "gone64.dll", "64-bit, for all users"},
        {"Software\\Classes\\Wow6432Node\\CLSID\\{7E570032-0000-4000-8000-000000000032}", "gone32.dll", "32-bit, for all users"},
    };
    testsupport::TempDir dir;
    for (const auto& c : classes) {
        HKEY raw = nullptr;
        const std::string key = std::string(c.key) + "\\InprocServer32";
        ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_WRITE | KEY_WOW64_64KEY, nullptr,
                                    &raw, nullptr),
                  ERROR_SUCCESS);
        const win32::unique_hkey opened(raw);
        const std::string file = dir / c.file;
        ::RegSetValueExA(raw, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(file.c_str()), static_cast<DWORD>(file.size() + 1));
    }
    machine::FileLook look;
    const machine::Findings found = machine::Judge(machine::ReadRegistrations(machine::MachineRoots()), look);
    for (const auto& c : classes) {
        int seen = 0;
        for (const machine::MissingFile& missing : found.missing) {
            if (missing.file != dir / c.file) continue;
            ++seen;
            EXPECT_EQ(machine::MissingDetail(missing).substr(machine::MissingDetail(missing).rfind(": ") + 2),
                      std::string(c.place) + ".");
        }
        EXPECT_EQ(seen, 1) << c.file;
        ::RegDeleteKeyExA(HKEY_LOCAL_MACHINE, (std::string(c.key) + "\\InprocServer32").c_str(), KEY_WOW64_64KEY, 0);
        ::RegDeleteKeyExA(HKEY_LOCAL_MACHINE, c.key, KEY_WOW64_64KEY, 0);
    }
}

}  // namespace
