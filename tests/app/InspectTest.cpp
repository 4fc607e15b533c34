// Check and export runs over real components: each verdict set up for real, the machine left as it
// was, and a .reg file that deploys and removes exactly what the component registers.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "TwoCopies.h"
#include "win32/Text.h"

using velquist::LineKind;
using velquist::RunRequest;

namespace {

constexpr char kClassKey[] = "Software\\Classes\\CLSID\\" VELQUIST_TYPED_CLSID;
constexpr char kLibraryKey[] = "Software\\Classes\\TypeLib\\" VELQUIST_TYPED_LIBID;
// The typed component is of this program's bitness: its keys are in this bitness's registry view.
constexpr bool kWide = sizeof(void*) == 8;
constexpr REGSAM kView = kWide ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;

class InspectTest : public testsupport::TwoCopiesTest {
protected:
    static RunRequest Request(const std::string& path, RunRequest::Task task, bool registerFlag = true,
                              bool perUser = false, const std::string& target = {}) {
        return RunRequest{RunRequest::Mode::SingleFile, path, false, registerFlag, perUser, task, target};
    }
    velquist::RunSummary Run(const RunRequest& request) { return Execute(request); }
    // The line a check of `a` gives.
    const testsupport::RecordingList::Line& CheckA() {
        Run(Request(a_, RunRequest::Task::Check));
        EXPECT_EQ(list_.lines.size(), 2u);
        EXPECT_EQ(list_.lines.back().line.kind, LineKind::Completed);
        return list_.lines.front();
    }
    static bool ReadsAsImported(const std::string& file) {
        const testsupport::ProcessOutcome imported =
            testsupport::RunProcess(::getenv("SystemRoot") + std::string("\\system32\\reg.exe"),
                                    "import \"" + file + "\"", 30000);
        return imported.exitCode == 0u;
    }
};

// Each verdict, set up for real; no check changes the machine.
TEST_F(InspectTest, EachVerdictOfACheckComesFromTheMachineAsItIs) {
    struct Step {
        const char* name;
        std::function<void()> arrange;
        LineKind kind;
        std::vector<std::string> inDetail;
    };
    const Step steps[] = {
        {"nothing registered", [] {}, LineKind::NotRegistered, {"None of the"}},
        {"registered from a", [&] { Run(Request(a_, RunRequest::Task::Change)); }, LineKind::RegisteredHere,
         {kWide ? "64-bit registry view" : "32-bit registry view"}},
        {"registered from b", [&] { Run(Request(b_, RunRequest::Task::Change)); }, LineKind::RegisteredElsewhere,
         {b_, "exists", "the machine's classes"}},
        {"a value removed by hand",
         [&] {
             Run(Request(a_, RunRequest::Task::Change));
             HKEY server = nullptr;
             ASSERT_EQ(::RegOpenKeyExA(HKEY_LOCAL_MACHINE, (std::string(kClassKey) + "\\InprocServer32").c_str(), 0,
                                       KEY_SET_VALUE | kView, &server),
                       ERROR_SUCCESS);
             ::RegDeleteValueA(server, "ThreadingModel");
             ::RegCloseKey(server);
         },
         LineKind::PartlyRegistered, {"ThreadingModel"}},
        {"b for the current user over a for the machine",
         [&] {
             Run(Request(a_, RunRequest::Task::Change));
             Run(Request(b_, RunRequest::Task::Change, true, true));
         },
         LineKind::RegisteredElsewhere, {b_, "the current user's classes"}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        step.arrange();
        const testsupport::MachineRegistry before = testsupport::MachineRegistry::Read();
        const auto& line = CheckA();
        EXPECT_EQ(line.line.kind, step.kind) << line.detail;
        for (const std::string& part : step.inDetail) EXPECT_NE(line.detail.find(part), std::string::npos) << line.detail;
        EXPECT_EQ(before.FirstDifference(testsupport::MachineRegistry::Read()), L"");
    }
}

// An unregister run leaves a copy whose classes another copy holds registered as they are (its
// DllUnregisterServer would delete that copy's keys), single file or folder; forced, or with its
// own registration or none, it is unregistered as before.
TEST_F(InspectTest, UnregisteringACopyLeavesAnotherCopysRegistrationAlone) {
    const std::string refused = "Its classes are registered for " + b_ +
                                "; unregistering this copy would remove that registration. Unregister that file "
                                "instead, or choose File > Unregister copies registered elsewhere.";
    struct Case {
        const char* name;
        const char* registered;  // "a", "b" or "" for neither
        RunRequest::Mode mode;
        bool force;
        LineKind kind;
    };
    const Case cases[] = {
        {"not registered", "", RunRequest::Mode::SingleFile, false, LineKind::Unregistered},
        {"registered here", "a", RunRequest::Mode::SingleFile, false, LineKind::Unregistered},
        {"registered for b", "b", RunRequest::Mode::SingleFile, false, LineKind::Failed},
        {"registered for b, its folder", "b", RunRequest::Mode::Directory, false, LineKind::Failed},
        {"registered for b, forced", "b", RunRequest::Mode::SingleFile, true, LineKind::Unregistered},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (std::string(c.registered) == "a") Run(Request(a_, RunRequest::Task::Change));
        if (std::string(c.registered) == "b") Run(Request(b_, RunRequest::Task::Change));
        const testsupport::MachineRegistry before = testsupport::MachineRegistry::Read();
        RunRequest request = Request(c.mode == RunRequest::Mode::Directory ? dir_ / "a" : a_, RunRequest::Task::Change, false);
        request.mode = c.mode;
        request.force = c.force;
        const velquist::RunSummary summary = Run(request);
        ASSERT_EQ(list_.lines.size(), 2u);
        EXPECT_EQ(list_.lines[0].line.kind, c.kind) << list_.lines[0].detail;
        if (c.kind == LineKind::Failed) {
            EXPECT_EQ(list_.lines[0].detail, refused);
            EXPECT_EQ(before.FirstDifference(testsupport::MachineRegistry::Read()), L"");
            EXPECT_EQ(velquist::ExitCodeOf(summary), velquist::kExitFailed);
            EXPECT_EQ(summary.failed, 1u);
        } else {
            EXPECT_FALSE(testsupport::KeyExists(HKEY_LOCAL_MACHINE, kClassKey, kView));
        }
        Run(Request(b_, RunRequest::Task::Change, false));
    }
}

// Exported, then unregistered, then imported: the machine has what DllRegisterServer wrote, and the
// check agrees; the removal file then takes exactly that away and leaves the shared parents.
TEST_F(InspectTest, ExportedRegistrationDeploysAndRemovalUndoesIt) {
    Run(Request(a_, RunRequest::Task::Change));
    std::vector<registry::TreeKey> registeredClass, registeredLibrary;
    registry::ReadTree(HKEY_LOCAL_MACHINE, win32::Wide(kClassKey), kView, registeredClass);
    registry::ReadTree(HKEY_LOCAL_MACHINE, win32::Wide(kLibraryKey), kView, registeredLibrary);
    ASSERT_FALSE(registeredClass.empty());
    Run(Request(a_, RunRequest::Task::Change, false));
    ASSERT_FALSE(testsupport::KeyExists(HKEY_LOCAL_MACHINE, kClassKey, kView));

    const std::string registration = dir_ / "registration.reg";
    const std::string removal = dir_ / "removal.reg";
    const testsupport::MachineRegistry before = testsupport::MachineRegistry::Read();
    const velquist::RunSummary exported = Run(Request(a_, RunRequest::Task::Export, true, false, registration));
    EXPECT_TRUE(exported.written);
    EXPECT_EQ(velquist::ExitCodeOf(exported), velquist::kExitSucceeded);
    ASSERT_EQ(list_.lines.size(), 2u);
    EXPECT_EQ(list_.lines[0].text, "Exported : " + a_);
    EXPECT_EQ(list_.lines[1].text, "Export completed");
    EXPECT_NE(list_.lines[1].detail.find(registration), std::string::npos) << list_.lines[1].detail;
    EXPECT_TRUE(velquist::ExitCodeOf(Run(Request(a_, RunRequest::Task::Removal, true, false, removal))) ==
                velquist::kExitSucceeded);
    EXPECT_EQ(before.FirstDifference(testsupport::MachineRegistry::Read()), L"");

    ASSERT_TRUE(ReadsAsImported(registration));
    std::vector<registry::TreeKey> importedClass, importedLibrary;
    registry::ReadTree(HKEY_LOCAL_MACHINE, win32::Wide(kClassKey), kView, importedClass);
    registry::ReadTree(HKEY_LOCAL_MACHINE, win32::Wide(kLibraryKey), kView, importedLibrary);
    EXPECT_EQ(importedClass.size(), registeredClass.size());
    EXPECT_TRUE(importedClass == registeredClass);
    EXPECT_TRUE(importedLibrary == registeredLibrary);
    EXPECT_EQ(testsupport::StringValue(HKEY_LOCAL_MACHINE, VELQUIST_TYPED_PRODUCT_KEY, "Path", kView), a_);
    EXPECT_EQ(CheckA().line.kind, LineKind::RegisteredHere) << list_.lines.front().detail;

    ASSERT_TRUE(ReadsAsImported(removal));
    EXPECT_FALSE(testsupport::KeyExists(HKEY_LOCAL_MACHINE, kClassKey, kView));
    EXPECT_FALSE(testsupport::KeyExists(HKEY_LOCAL_MACHINE, kLibraryKey, kView));
    EXPECT_FALSE(testsupport::KeyExists(HKEY_LOCAL_MACHINE, "Software\\Classes\\" VELQUIST_TYPED_PROGID, kView));
    EXPECT_EQ(testsupport::StringValue(HKEY_LOCAL_MACHINE, VELQUIST_TYPED_PRODUCT_KEY, "Path", kView),
              testsupport::kNoValue);
    EXPECT_TRUE(testsupport::KeyExists(HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID", kView));
    EXPECT_TRUE(testsupport::KeyExists(HKEY_LOCAL_MACHINE, "Software\\Classes\\TypeLib", kView));
    EXPECT_EQ(CheckA().line.kind, LineKind::NotRegistered) << list_.lines.front().detail;
    testsupport::DeleteTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\Velquist Tests", kView);
}

}  // namespace
