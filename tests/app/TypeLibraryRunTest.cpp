// Type library files in register and unregister runs (/tlb), end to end in silent mode: each library
// of both system kinds, as a file and as a program file's second resource, machine-wide and per user.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>

#include "TestComponents.h"
#include "TestSupport.h"

namespace {

using testsupport::CopyTo;

testsupport::ProcessOutcome RunProgram(const std::string& arguments) {
    return testsupport::RunProcess(VELQUIST_EXE, arguments, 60000);
}

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

constexpr char kGridKey[] = "Software\\Classes\\TypeLib\\" VELQUIST_GRID_LIBID;
constexpr char kGridInterface[] = "Software\\Classes\\Interface\\" VELQUIST_GRID_IID;
constexpr char kGridDetail[] = "Type library Grid 1.0 (" VELQUIST_GRID_LIBID "), 5 interfaces.";

#if defined(_M_X64) || defined(__x86_64__)
constexpr bool kOwn64 = true;
#else
constexpr bool kOwn64 = false;
#endif

class TypeLibraryRun : public ::testing::Test {
protected:
    void TearDown() override { Forget(); }
    static void Forget() {
        for (const REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
            for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
                testsupport::DeleteTree(root, kGridKey, view);
                for (const char* iid : {VELQUIST_GRID_CELL_IID, VELQUIST_GRID_IID, VELQUIST_GRID_LAYOUT_IID,
                                        VELQUIST_GRID_STORE_IID, VELQUIST_GRID_EVENTS_IID}) {
                    testsupport::DeleteTree(root, std::string("Software\\Classes\\Interface\\") + iid, view);
                }
            }
        }
    }
    testsupport::TempDir dir;
};

TEST_F(TypeLibraryRun, EachLibraryIsRegisteredInItsViewAndUnregisteredByItsOwnIdentity) {
    ASSERT_TRUE(CopyTo(testsupport::ComponentPath(VELQUIST_GRID32_TLB), dir / "grid32.tlb"));
    ASSERT_TRUE(CopyTo(testsupport::ComponentPath(VELQUIST_GRID64_TLB), dir / "grid64.tlb"));
    ASSERT_TRUE(testsupport::MakeDirs(dir / "own"));
    ASSERT_TRUE(testsupport::MakeDirs(dir / "other"));
    ASSERT_TRUE(CopyTo(testsupport::ComponentPath(VELQUIST_TYPELIBRARIES_DLL), dir / "own\\libs.dll"));
    ASSERT_TRUE(CopyTo(testsupport::OtherComponentPath(VELQUIST_TYPELIBRARIES_DLL), dir / "other\\libs.dll"));
    VELQUIST_ASSERT_OTHER_BITNESS_RUNS();
    const struct {
        std::string path;
        bool win64;  // its system kind
    } libraries[] = {
        {dir / "grid32.tlb", false},
        {dir / "grid64.tlb", true},
        {dir / "own\\libs.dll\\2", kOwn64},
        {dir / "other\\libs.dll\\2", !kOwn64},
    };
    for (const auto& library : libraries) {
        for (const bool perUser : {false, true}) {
            const std::string trace = library.path + (perUser ? " /user" : "");
            const REGSAM view = library.win64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
            HKEY hive = perUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
            const std::string user = perUser ? "/user " : "";
            const std::string suffix = perUser ? " For the current user only." : "";
            testsupport::ProcessOutcome outcome = RunProgram("/s /tlb " + user + Quoted(library.path));
            EXPECT_EQ(outcome.exitCode, 0u) << trace << "\n" << outcome.output;
            EXPECT_EQ(outcome.output.rfind("Registered : " + library.path + "\t" + kGridDetail + suffix + "\r\n", 0), 0u)
                << trace << "\n" << outcome.output;
            const std::string platform = library.win64 ? "win64" : "win32";
            EXPECT_EQ(testsupport::StringValue(hive, std::string(kGridKey) + "\\1.0\\0\\" + platform, nullptr, view),
                      library.path)
                << trace;
            EXPECT_TRUE(testsupport::KeyExists(hive, kGridInterface, view)) << trace;
            if (perUser) EXPECT_FALSE(testsupport::KeyExists(HKEY_LOCAL_MACHINE, kGridKey, view)) << trace;

            outcome = RunProgram("/s /u /tlb " + user + Quoted(library.path));
            EXPECT_EQ(outcome.exitCode, 0u) << trace << "\n" << outcome.output;
            EXPECT_EQ(outcome.output.rfind("Unregistered : " + library.path + "\t" + kGridDetail + suffix, 0), 0u)
                << trace << "\n" << outcome.output;
            EXPECT_FALSE(testsupport::KeyExists(hive, kGridKey, view)) << trace;
            EXPECT_FALSE(testsupport::KeyExists(hive, kGridInterface, view)) << trace;
            Forget();
        }
    }
}

// Without /tlb a type library is told apart from a file that is nothing; with it, a folder's libraries
// are registered beside its components, and what is neither is passed over.
TEST_F(TypeLibraryRun, OnlyARunThatIncludesTypeLibrariesRegistersThem) {
    ASSERT_TRUE(CopyTo(testsupport::ComponentPath(VELQUIST_GRID32_TLB), dir / "grid.tlb"));
    ASSERT_TRUE(CopyTo(testsupport::ComponentPath(VELQUIST_COMSERVER_DLL), dir / "server.dll"));
    ASSERT_TRUE(testsupport::WriteBytes(dir / "notes.tlb", "not a type library"));
    struct Case {
        std::string arguments;
        DWORD exitCode;
        std::string start;
    };
    const Case cases[] = {
        {Quoted(dir / "grid.tlb"), 2,
         "This file is a type library, not an ActiveX component. Choose File > Include type libraries to register it."},
        {"/tlb " + Quoted(dir / "notes.tlb"), 2, "This file is not an ActiveX component\r\n"},
        {"/tlb " + Quoted(dir / "grid.tlb\\3"), 2, "This file is not an ActiveX component\r\n"},  // no such resource
        {"/tlb " + Quoted(dir.Path()), 0, "Registered : " + (dir / "grid.tlb") + "\t" + kGridDetail + "\r\n" +
                                              "Registered : " + (dir / "server.dll") + "\tDllRegisterServer succeeded."},
    };
    for (const Case& c : cases) {
        const testsupport::ProcessOutcome outcome = RunProgram("/s " + c.arguments);
        EXPECT_EQ(outcome.exitCode, c.exitCode) << c.arguments << "\n" << outcome.output;
        EXPECT_EQ(outcome.output.substr(0, c.start.size()), c.start) << c.arguments << "\n" << outcome.output;
        EXPECT_EQ(outcome.output.find("notes.tlb"), std::string::npos) << outcome.output;
    }
    EXPECT_EQ(RunProgram("/s /u /tlb " + Quoted(dir.Path())).exitCode, 0u);
    EXPECT_FALSE(testsupport::KeyExists(HKEY_LOCAL_MACHINE, kGridKey, KEY_WOW64_32KEY));
    testsupport::ForgetClass(VELQUIST_COMSERVER_CLSID);
}

// Check, test, export and manifest take a type library file as they take a component: its TypeLib and
// Interface keys are its registration. Both system kinds, each through the runner of its own.
TEST_F(TypeLibraryRun, TheInspectionsTakeATypeLibraryAsTheyTakeAComponent) {
    VELQUIST_ASSERT_OTHER_BITNESS_RUNS();
    for (const char* name : {VELQUIST_GRID32_TLB, VELQUIST_GRID64_TLB}) {
        const std::string folder = dir / (std::string(name) + " folder");
        ASSERT_TRUE(testsupport::MakeDirs(folder));
        const std::string library = folder + "\\grid.tlb";
        ASSERT_TRUE(CopyTo(testsupport::ComponentPath(name), library));
        const std::string reg = dir / "grid.reg";
        const std::string manifest = folder + "\\Grid.Library.manifest";
        struct Step {
            std::string arguments;
            DWORD exitCode;
            std::string start;
        };
        const Step steps[] = {
            {"/check", 1, "Not registered : " + library},
            {"", 0, "Registered : " + library},
            {"/check", 0, "Registered here : " + library},
            {"/test", 0, "Works : " + library},
            {"/export:" + Quoted(reg), 0, "Exported : " + library},
            {"/manifest:" + Quoted(manifest) + " " + Quoted(folder) + " /r", 0, "Exported : " + library},
            {"/u", 0, "Unregistered : " + library},
        };
        for (const Step& step : steps) {
            const bool folderRun = step.arguments.find(" /r") != std::string::npos;
            const testsupport::ProcessOutcome outcome =
                RunProgram("/s /tlb " + step.arguments + (folderRun ? "" : " " + Quoted(library)));
            EXPECT_EQ(outcome.exitCode, step.exitCode) << name << " " << step.arguments << "\n" << outcome.output;
            EXPECT_EQ(outcome.output.substr(0, step.start.size()), step.start) << name << "\n" << outcome.output;
        }
        // The .reg file and the manifest name the library (the .reg file in UTF-16: its zero bytes dropped).
        std::string text = testsupport::ReadBytes(reg);
        text.erase(std::remove(text.begin(), text.end(), '\0'), text.end());
        // Key names in any case (Wine writes "Typelib").
        std::string key = "typelib\\" VELQUIST_GRID_LIBID "\\1.0\\0\\win";
        for (std::string* each : {&text, &key}) {
            std::transform(each->begin(), each->end(), each->begin(), [](unsigned char c) { return std::tolower(c); });
        }
        EXPECT_NE(text.find(key), std::string::npos) << text;
        const std::string xml = testsupport::ReadBytes(manifest);
        EXPECT_NE(xml.find("<file name=\"grid.tlb\""), std::string::npos) << xml;
        EXPECT_NE(xml.find("<typelib tlbid=\"" VELQUIST_GRID_LIBID "\""), std::string::npos) << xml;
        EXPECT_FALSE(testsupport::KeyExists(HKEY_LOCAL_MACHINE, kGridKey, KEY_WOW64_32KEY));
        EXPECT_FALSE(testsupport::KeyExists(HKEY_LOCAL_MACHINE, kGridKey, KEY_WOW64_64KEY));
    }
}

// Unregistering one copy of a library leaves another copy's registration alone, as for components.
TEST_F(TypeLibraryRun, UnregisteringACopyLeavesTheRegisteredCopyAlone) {
    const std::string registered = dir / "new\\grid.tlb", other = dir / "old\\grid.tlb";
    for (const std::string& copy : {registered, other}) {
        ASSERT_TRUE(testsupport::MakeDirs(copy.substr(0, copy.rfind('\\'))));
        ASSERT_TRUE(CopyTo(testsupport::ComponentPath(VELQUIST_GRID32_TLB), copy));
    }
    ASSERT_EQ(RunProgram("/s /tlb " + Quoted(registered)).exitCode, 0u);
    const testsupport::ProcessOutcome outcome = RunProgram("/s /u /tlb " + Quoted(other));
    EXPECT_EQ(outcome.exitCode, 1u) << outcome.output;
    const std::string line = "Failed : " + other + "\tIts type library is registered for " + registered +
                             "; unregistering this copy would remove that registration.";
    EXPECT_EQ(outcome.output.substr(0, line.size()), line) << outcome.output;
    EXPECT_EQ(testsupport::StringValue(HKEY_LOCAL_MACHINE, std::string(kGridKey) + "\\1.0\\0\\win32", nullptr,
                                       KEY_WOW64_32KEY),
              registered);
    EXPECT_EQ(RunProgram("/s /u /tlb " + Quoted(registered)).exitCode, 0u);
}

}  // namespace
