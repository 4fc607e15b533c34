// The scan as a user runs it, over the test prefix's real registry: a component registered and then
// deleted, as an uninstaller that leaves its keys does, is found; nothing is changed.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "RecordingList.h"
#include "TestComponents.h"
#include "TestSupport.h"
#include "inspect/RegistryTree.h"
#include "tasks/Commands.h"

namespace {

using velquist::LineKind;

const testsupport::RecordingList::Line* LineFor(const testsupport::RecordingList& list, const std::string& path) {
    for (const auto& line : list.lines) {
        if (line.line.kind == LineKind::Missing && ::lstrcmpiA(line.line.path.c_str(), path.c_str()) == 0) return &line;
    }
    return nullptr;
}

TEST(ScanTask, FindsAComponentWhoseFileWasDeletedAndChangesNothing) {
    testsupport::TempDir dir;
    const std::string path = dir / "typed.dll";
    ASSERT_TRUE(testsupport::CopyTo(testsupport::ComponentPath(VELQUIST_TYPED_DLL), path));
    registration::Session session(testsupport::BuildRunners());
    const auto noError = [](const std::string& message) { ADD_FAILURE() << message; };
    testsupport::RecordingList list;
    velquist::RunRequest change{velquist::RunRequest::Mode::SingleFile, path, false, true, true};
    velquist::Execute(change, session, list, noError);
    ASSERT_EQ(list.lines.at(0).line.kind, LineKind::Registered) << list.lines.at(0).detail;
    ASSERT_TRUE(::DeleteFileA(path.c_str()));
    ASSERT_TRUE(::DeleteFileA((path + ".tlb").c_str()));

    std::vector<registry::TreeKey> before, after;
    ASSERT_EQ(registry::ReadTree(HKEY_CURRENT_USER, L"Software\\Classes", 0, before), ERROR_SUCCESS);
    velquist::RunRequest scan;
    scan.task = velquist::RunRequest::Task::Scan;
    const velquist::RunSummary summary = velquist::Execute(scan, session, list, noError);
    ASSERT_EQ(registry::ReadTree(HKEY_CURRENT_USER, L"Software\\Classes", 0, after), ERROR_SUCCESS);
    EXPECT_EQ(after, before);

    const auto* dll = LineFor(list, path);
    ASSERT_NE(dll, nullptr);
    EXPECT_EQ(dll->icon, velquist::kIconWarning);
    EXPECT_EQ(dll->text, "Missing : " + dll->line.path);
    EXPECT_NE(dll->detail.find("1 class (" VELQUIST_TYPED_PROGID), std::string::npos) << dll->detail;
    EXPECT_NE(dll->detail.find("2 ProgIDs"), std::string::npos) << dll->detail;
    EXPECT_NE(dll->detail.find("for the current user."), std::string::npos) << dll->detail;
    const auto* library = LineFor(list, path + ".tlb");
    ASSERT_NE(library, nullptr);
    EXPECT_NE(library->detail.find("1 type library"), std::string::npos) << library->detail;
    const auto& closing = list.lines.back().line;
    EXPECT_EQ(closing.Text(), "Scan completed");
    EXPECT_NE(closing.detail.find(" missing files, "), std::string::npos) << closing.detail;
    EXPECT_TRUE(closing.detail.ends_with(" s. Nothing was changed.")) << closing.detail;
    EXPECT_EQ(velquist::ExitCodeOf(summary), velquist::kExitFailed);

    // Put back, registered again (which writes its type library's file anew) and unregistered, the
    // component leaves the machine as it was.
    ASSERT_TRUE(testsupport::CopyTo(testsupport::ComponentPath(VELQUIST_TYPED_DLL), path));
    velquist::Execute(change, session, list, noError);
    change.registerFlag = false;
    velquist::Execute(change, session, list, noError);
    EXPECT_EQ(list.lines.at(0).line.kind, LineKind::Unregistered) << list.lines.at(0).detail;
}

// Both hives' classes, every key and value.
std::vector<registry::TreeKey> Classes() {
    std::vector<registry::TreeKey> keys, machine;
    EXPECT_EQ(registry::ReadTree(HKEY_CURRENT_USER, L"Software\\Classes", KEY_WOW64_64KEY, keys), ERROR_SUCCESS);
    EXPECT_EQ(registry::ReadTree(HKEY_LOCAL_MACHINE, L"Software\\Classes", KEY_WOW64_64KEY, machine), ERROR_SUCCESS);
    keys.insert(keys.end(), machine.begin(), machine.end());
    return keys;
}

// The clean: with a backup that cannot be written it removes nothing; with one, it removes the deleted
// component's registration, a scan then finds none of it, and the backup imported puts back every key
// and value of both hives as they were.
TEST(CleanTask, RemovesOnlyAfterItsBackupAndTheBackupPutsEverythingBack) {
    testsupport::TempDir dir;
    const std::string path = dir / "typed.dll";
    ASSERT_TRUE(testsupport::CopyTo(testsupport::ComponentPath(VELQUIST_TYPED_DLL), path));
    registration::Session session(testsupport::BuildRunners());
    std::vector<std::string> errors;
    const auto showError = [&errors](const std::string& message) { errors.push_back(message); };
    testsupport::RecordingList list;
    velquist::RunRequest change{velquist::RunRequest::Mode::SingleFile, path, false, true, true};
    velquist::Execute(change, session, list, showError);
    ASSERT_TRUE(::DeleteFileA(path.c_str()));
    ASSERT_TRUE(::DeleteFileA((path + ".tlb").c_str()));
    const std::vector<registry::TreeKey> before = Classes();

    velquist::RunRequest clean;
    clean.task = velquist::RunRequest::Task::Clean;
    clean.target = dir / "no such folder\\backup.reg";
    EXPECT_EQ(velquist::ExitCodeOf(velquist::Execute(clean, session, list, showError)), velquist::kExitFailed);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(errors[0].ends_with("Nothing was removed.")) << errors[0];
    EXPECT_TRUE(Classes() == before);

    clean.target = dir / "backup.reg";
    const velquist::RunSummary summary = velquist::Execute(clean, session, list, showError);
    EXPECT_EQ(velquist::ExitCodeOf(summary), velquist::kExitSucceeded);
    const testsupport::RecordingList::Line* removed = nullptr;
    for (const auto& line : list.lines) {
        if (line.line.kind == LineKind::Removed && ::lstrcmpiA(line.line.path.c_str(), path.c_str()) == 0) removed = &line;
    }
    ASSERT_NE(removed, nullptr);
    EXPECT_EQ(removed->detail.rfind("Removed 1 class and 2 ProgIDs", 0), 0u) << removed->detail;
    EXPECT_NE(list.lines.back().detail.find("reg import \"" + clean.target + "\""), std::string::npos);
    velquist::RunRequest scan;
    scan.task = velquist::RunRequest::Task::Scan;
    velquist::Execute(scan, session, list, showError);
    EXPECT_EQ(LineFor(list, path), nullptr);
    EXPECT_EQ(LineFor(list, path + ".tlb"), nullptr);

    const testsupport::ProcessOutcome imported = testsupport::RunProcess(
        ::getenv("SystemRoot") + std::string(sizeof(void*) == 4 ? "\\Sysnative\\reg.exe" : "\\system32\\reg.exe"),
        "import \"" + clean.target + "\"", 30000);
    EXPECT_EQ(imported.exitCode, 0u);
    EXPECT_TRUE(Classes() == before);

    ASSERT_TRUE(testsupport::CopyTo(testsupport::ComponentPath(VELQUIST_TYPED_DLL), path));
    velquist::Execute(change, session, list, showError);
    change.registerFlag = false;
    velquist::Execute(change, session, list, showError);
    EXPECT_EQ(list.lines.at(0).line.kind, LineKind::Unregistered) << list.lines.at(0).detail;
    EXPECT_EQ(errors.size(), 1u);
}

}  // namespace
