// The undo record of register and unregister runs over real components: the registry put back key
// for key and value for value, by the undo and by its .reg file, and what changed since left alone.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "TwoCopies.h"
#include "results/RegFile.h"
#include "tasks/UndoRun.h"
#include "win32/Handles.h"

using velquist::LineKind;
using velquist::RunRequest;

namespace {

constexpr char kClassKey[] = "Software\\Classes\\CLSID\\" VELQUIST_TYPED_CLSID;
constexpr bool kWide = sizeof(void*) == 8;
constexpr REGSAM kView = kWide ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
constexpr char kProductParent[] = "SOFTWARE\\Velquist Tests";

class Recording final : public undo::RunRecord {
public:
    std::string WayBack() const override { return "The way back."; }
};

class Recorded final : public velquist::RunControl {
public:
    explicit Recorded(undo::RunRecord& record) : record_(record) {}
    undo::RunRecord* UndoRecord() override { return &record_; }

private:
    undo::RunRecord& record_;
};

class UndoTest : public testsupport::TwoCopiesTest {
protected:
    static RunRequest Change(const std::string& path, bool registerFlag, bool perUser = false, bool force = false) {
        RunRequest request{RunRequest::Mode::SingleFile, path, false, registerFlag, perUser};
        request.force = force;
        return request;
    }
    velquist::RunSummary Run(const RunRequest& request, undo::RunRecord* record = nullptr) {
        if (record == nullptr) return Execute(request);
        Recorded control(*record);
        return Execute(request, &control);
    }
    static bool ProductParentExists() { return testsupport::KeyExists(HKEY_LOCAL_MACHINE, kProductParent, kView); }
    // The product key, kept for Build, and its parent where the test's run made it.
    static void RemoveKeptProductKey(bool parentBefore) {
        testsupport::DeleteTree(HKEY_LOCAL_MACHINE, parentBefore ? VELQUIST_TYPED_PRODUCT_KEY : kProductParent, kView);
    }
    // Build, a value of the run's product key, changed as another program would change it.
    static void ChangeBuildSinceTheRun() {
        HKEY opened = nullptr;
        ASSERT_EQ(::RegOpenKeyExA(HKEY_LOCAL_MACHINE, VELQUIST_TYPED_PRODUCT_KEY, 0, KEY_SET_VALUE | kView, &opened),
                  ERROR_SUCCESS);
        const win32::unique_hkey product(opened);
        const DWORD build = 8;
        ASSERT_EQ(::RegSetValueExA(product.get(), "Build", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&build),
                                   sizeof build),
                  ERROR_SUCCESS);
    }
    // The undo of the record: its lines checked against `kinds` (one per component) and "Undo completed".
    void UndoExpecting(const std::vector<LineKind>& kinds) {
        velquist::UndoRun(record_, list_);
        ASSERT_EQ(list_.lines.size(), kinds.size() + 1);
        for (std::size_t i = 0; i < kinds.size(); ++i) EXPECT_EQ(list_.lines[i].line.kind, kinds[i]) << list_.lines[i].detail;
        EXPECT_EQ(list_.lines.back().line.Text(), "Undo completed");
    }

    Recording record_;
};

// Registering a over b's registration, or unregistering a forced while b holds its classes, machine-wide
// or per user: the undo gives b's registration back exactly, and a per-user run's undo touches the
// machine's keys not at all.
TEST_F(UndoTest, AnUndoPutsBackTheRegistrationTheRunReplacedOrRemoved) {
    struct Case {
        const char* name;
        bool registerFlag;
        bool perUser;
    };
    for (const Case& c : {Case{"register over b", true, false}, Case{"unregister a, forced", false, false},
                          Case{"register over b, per user", true, true}}) {
        SCOPED_TRACE(c.name);
        Run(Change(b_, true, c.perUser));
        const testsupport::MachineRegistry before = testsupport::MachineRegistry::Read();
        const velquist::RunSummary ran = Run(Change(a_, c.registerFlag, c.perUser, true), &record_);
        ASSERT_EQ(list_.lines.size(), 2u);
        EXPECT_EQ(list_.lines[0].line.kind, c.registerFlag ? LineKind::Registered : LineKind::Unregistered);
        const std::string& closing = list_.lines[1].detail;
        EXPECT_EQ(closing.substr(closing.size() - 14), " The way back.") << closing;
        EXPECT_EQ(ran.failed, 0u);
        UndoExpecting({LineKind::Restored});
        EXPECT_EQ(list_.lines[0].detail, "Put back as it was before the run.");
        EXPECT_EQ(before.FirstDifference(testsupport::MachineRegistry::Read()), L"");
        EXPECT_TRUE(record_.Components().empty());  // all went back: nothing left to undo
        Run(Change(b_, false, c.perUser, true));
    }
}

// A type library file's registration is recorded as a component's: the undo takes it away again, both
// registry views as they were.
TEST_F(UndoTest, ATypeLibrarysRegistrationIsUndoneAsAComponentsIs) {
    testsupport::TempDir dir;
    const std::string library = dir / "grid.tlb";
    ASSERT_TRUE(testsupport::CopyTo(testsupport::ComponentPath(kWide ? VELQUIST_GRID64_TLB : VELQUIST_GRID32_TLB), library));
    const testsupport::MachineRegistry before = testsupport::MachineRegistry::Read();
    RunRequest request = Change(library, true);
    request.typeLibraries = true;
    Run(request, &record_);
    ASSERT_EQ(list_.lines.size(), 2u);
    EXPECT_EQ(list_.lines[0].line.kind, LineKind::Registered) << list_.lines[0].detail;
    EXPECT_NE(before.FirstDifference(testsupport::MachineRegistry::Read()), L"");
    UndoExpecting({LineKind::Restored});
    EXPECT_EQ(before.FirstDifference(testsupport::MachineRegistry::Read()), L"");
}

// A value something else changed after the run is left as it is and named; the rest goes back.
TEST_F(UndoTest, WhatChangedSinceTheRunIsLeftAndNamed) {
    const bool parentBefore = ProductParentExists();
    Run(Change(a_, true), &record_);
    ASSERT_TRUE(testsupport::KeyExists(HKEY_LOCAL_MACHINE, kClassKey, kView));
    ChangeBuildSinceTheRun();
    UndoExpecting({LineKind::Restored});
    // Named once: the key kept for it is not named again, nor the parent kept for that key.
    EXPECT_EQ(list_.lines[0].detail, "Put back as it was before the run. HKEY_LOCAL_MACHINE\\" +
                                         std::string(kWide ? "" : "SOFTWARE\\WOW6432Node\\") +
                                         std::string(kWide ? VELQUIST_TYPED_PRODUCT_KEY : "Velquist Tests\\Typed") +
                                         ", value Build left as it is: changed since the run.");
    EXPECT_FALSE(testsupport::KeyExists(HKEY_LOCAL_MACHINE, kClassKey, kView));
    EXPECT_TRUE(testsupport::KeyExists(HKEY_LOCAL_MACHINE, VELQUIST_TYPED_PRODUCT_KEY, kView));  // it holds Build
    RemoveKeptProductKey(parentBefore);
}

// The undo file, imported with reg.exe, gives the registry the undo would: b's registration back.
TEST_F(UndoTest, TheUndoFileImportedPutsBackWhatTheUndoWould) {
    Run(Change(b_, true));
    const testsupport::MachineRegistry before = testsupport::MachineRegistry::Read();
    Run(Change(a_, true), &record_);
    std::wstring text;
    ASSERT_TRUE(undo::UndoText(record_.Components(), text));
    const std::string file = dir_ / "undo.reg";
    DWORD error = ERROR_SUCCESS;
    ASSERT_TRUE(velquist::SaveRegFile(file, text, error)) << error;
    const testsupport::ProcessOutcome imported = testsupport::RunProcess(
        ::getenv("SystemRoot") + std::string("\\system32\\reg.exe"), "import \"" + file + "\"", 30000);
    EXPECT_EQ(imported.exitCode, 0u) << imported.output;
    EXPECT_EQ(before.FirstDifference(testsupport::MachineRegistry::Read()), L"");
}

// A folder with a component that registers and one whose call fails having written nothing: each
// gets its line, the failed one "It had changed nothing.".
TEST_F(UndoTest, AComponentThatChangedNothingIsRestoredAsSuch) {
    ASSERT_TRUE(testsupport::CopyTo(testsupport::ComponentPath(VELQUIST_FAILING_DLL), dir_ / "a\\failing.dll"));
    const testsupport::MachineRegistry before = testsupport::MachineRegistry::Read();
    RunRequest folder = Change(dir_ / "a", true);
    folder.mode = RunRequest::Mode::Directory;
    Run(folder, &record_);
    ASSERT_EQ(record_.Components().size(), 2u);
    UndoExpecting({LineKind::Restored, LineKind::Restored});
    std::vector<std::string> details{list_.lines[0].detail, list_.lines[1].detail};
    std::sort(details.begin(), details.end());
    EXPECT_EQ(details, (std::vector<std::string>{"It had changed nothing.", "Put back as it was before the run."}));
    EXPECT_EQ(before.FirstDifference(testsupport::MachineRegistry::Read()), L"");
}

// The undo handed to a restart as administrator: what is still as the run left it goes back through the
// hand-over file, which is deleted once read; a value changed since keeps its part out of the file, and
// with it the deletion of the key the run made above it (the run's first, with nothing there before).
TEST_F(UndoTest, TheHandOverPutsBackWhatIsLeftAndIsDeletedOnceRead) {
    // The product key's parent, which earlier unregistrations leave behind empty, goes: the run makes it.
    testsupport::DeleteTree(HKEY_LOCAL_MACHINE, kProductParent, kView);
    const testsupport::MachineRegistry before = testsupport::MachineRegistry::Read();
    Run(Change(a_, true), &record_);
    ChangeBuildSinceTheRun();
    std::wstring text;
    ASSERT_TRUE(undo::UndoText(undo::Pending(record_.Components()), text));
    RunRequest request;
    request.task = RunRequest::Task::PutBack;
    request.target = velquist::HandOverPath();
    DWORD error = ERROR_SUCCESS;
    ASSERT_TRUE(velquist::SaveRegFile(request.target, text, error)) << error;

    const velquist::RunSummary put = Execute(request);
    EXPECT_EQ(put.succeeded, 1u);
    ASSERT_EQ(list_.lines.size(), 2u);
    EXPECT_EQ(list_.lines[0].text, "Restored : " + a_) << list_.lines[0].detail;
    EXPECT_EQ(list_.lines[1].text, "Undo completed");
    EXPECT_EQ(::GetFileAttributesA(request.target.c_str()), INVALID_FILE_ATTRIBUTES);
    // Any other undo file is put back and left where it is.
    request.target = dir_ / "kept.reg";
    ASSERT_TRUE(velquist::SaveRegFile(request.target, text, error)) << error;
    EXPECT_EQ(Execute(request).succeeded, 1u);
    EXPECT_NE(::GetFileAttributesA(request.target.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(testsupport::KeyExists(HKEY_LOCAL_MACHINE, kClassKey, kView));
    // The product key and its parent are kept: Build is in them.
    EXPECT_TRUE(testsupport::KeyExists(HKEY_LOCAL_MACHINE, VELQUIST_TYPED_PRODUCT_KEY, kView));
    RemoveKeptProductKey(false);
    EXPECT_EQ(before.FirstDifference(testsupport::MachineRegistry::Read()), L"");
}

}  // namespace
