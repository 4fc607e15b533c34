// The folder walk over real trees of real components, checked by its lines and the registry.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "TestComponents.h"
#include "TestSupport.h"
#include "RecordingList.h"
#include "results/ResultList.h"
#include "folders/Module1.h"

namespace {

using testsupport::RecordingList;

using testsupport::ComponentPath;
using testsupport::CopyTo;
using testsupport::MakeDirs;
using testsupport::TempDir;
using testsupport::ForgetClass;
using testsupport::RegisteredServer;

class FolderWalk : public ::testing::Test {
protected:
    void SetUp() override {
        ForgetClass(VELQUIST_COMSERVER_CLSID);
        ForgetClass(VELQUIST_COMSERVER2_CLSID);
    }
    void TearDown() override { SetUp(); }

    void Put(const char* component, const std::string& to) {
        ASSERT_TRUE(CopyTo(ComponentPath(component), to)) << to;
    }

    TempDir dir;
    RecordingList list;
};

TEST_F(FolderWalk, SubfoldersComeFirstAndUnregisteringUndoesTheRegistration) {
    const std::string d = dir.Path();
    ASSERT_TRUE(MakeDirs(d + "\\S"));
    Put(VELQUIST_COMSERVER_DLL, d + "\\a.dll");
    Put(VELQUIST_COMSERVER2_DLL, d + "\\S\\b.ocx");

    Module1::RegisterFolder(testsupport::Runners(), d, true, true, list);
    ASSERT_EQ(list.lines.size(), 2u);
    EXPECT_EQ(list.lines[0].key, "a1");
    EXPECT_EQ(list.lines[0].text, "Registered : " + d + "\\S\\b.ocx");
    EXPECT_EQ(list.lines[0].icon, velquist::kIconSuccess);
    EXPECT_EQ(list.lines[1].key, "a2");
    EXPECT_EQ(list.lines[1].text, "Registered : " + d + "\\a.dll");
    EXPECT_EQ(list.lines[1].icon, velquist::kIconSuccess);
    EXPECT_EQ(RegisteredServer(VELQUIST_COMSERVER_CLSID), d + "\\a.dll");
    EXPECT_EQ(RegisteredServer(VELQUIST_COMSERVER2_CLSID), d + "\\S\\b.ocx");

    list.Clear();
    Module1::RegisterFolder(testsupport::Runners(), d, true, false, list);
    EXPECT_EQ(list.Texts(), (std::vector<std::string>{"Unregistered : " + d + "\\S\\b.ocx",
                                                      "Unregistered : " + d + "\\a.dll"}));
    EXPECT_EQ(RegisteredServer(VELQUIST_COMSERVER_CLSID), "");
    EXPECT_EQ(RegisteredServer(VELQUIST_COMSERVER2_CLSID), "");
}

TEST_F(FolderWalk, WithoutSubfoldersOnlyTheFoldersOwnFilesAreTouched) {
    const std::string d = dir.Path();
    ASSERT_TRUE(MakeDirs(d + "\\S\\T"));
    Put(VELQUIST_COMSERVER_DLL, d + "\\a.dll");
    Put(VELQUIST_COMSERVER2_DLL, d + "\\S\\T\\b.dll");

    Module1::RegisterFolder(testsupport::Runners(), d, false, true, list);
    EXPECT_EQ(list.Texts(), std::vector<std::string>{"Registered : " + d + "\\a.dll"});
    EXPECT_EQ(RegisteredServer(VELQUIST_COMSERVER2_CLSID), "");
}

TEST_F(FolderWalk, FoldersWithoutComponentsOrThatCannotBeOpenedAddNoLines) {
    const std::string d = dir.Path();
    ASSERT_TRUE(MakeDirs(d + "\\empty"));
    ASSERT_TRUE(testsupport::WriteBytes(d + "\\notes.txt", "just text"));
    ASSERT_TRUE(CopyTo(ComponentPath(VELQUIST_NOENTRY_DLL), d + "\\plain.dll"));

    Module1::RegisterFolder(testsupport::Runners(), d + "\\empty", true, true, list);
    Module1::RegisterFolder(testsupport::Runners(), d + "\\missing", true, true, list);
    Module1::RegisterFolder(testsupport::Runners(), d + "\\notes.txt", true, true, list);  // a file, not a folder
    Module1::RegisterFolder(testsupport::Runners(), d + "\\*", true, true, list);
    Module1::RegisterFolder(testsupport::Runners(), "", true, true, list);
    Module1::RegisterFolder(testsupport::Runners(), d, true, true, list);  // only a text file and a library without the entry point
    EXPECT_TRUE(list.lines.empty());
}

TEST_F(FolderWalk, EveryFileIsProbedAndFailuresDoNotStopTheWalk) {
    const std::string d = dir.Path();
    ASSERT_TRUE(MakeDirs(d + "\\sub"));
    Put(VELQUIST_COMSERVER_DLL, d + "\\renamed.bin");
    Put(VELQUIST_NOUNREGISTER_DLL, d + "\\sub\\keep.dll");
    Put(VELQUIST_COMSERVER2_DLL, d + "\\sub\\hidden.ocx");
    Put(VELQUIST_NOENTRY_DLL, d + "\\sub\\plain.dll");
    Put(VELQUIST_COMSERVER_DLL, d + "\\system.dll");
    ASSERT_TRUE(::SetFileAttributesA((d + "\\sub\\hidden.ocx").c_str(), FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(::SetFileAttributesA((d + "\\system.dll").c_str(), FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN));

    Module1::RegisterFolder(testsupport::Runners(), d, true, true, list);
    std::vector<std::string> texts = list.Texts();
    std::sort(texts.begin(), texts.begin() + std::min<size_t>(texts.size(), 2));
    std::sort(texts.begin() + std::min<size_t>(texts.size(), 2), texts.end());
    EXPECT_EQ(texts, (std::vector<std::string>{"Registered : " + d + "\\sub\\hidden.ocx",
                                               "Registered : " + d + "\\sub\\keep.dll",
                                               "Registered : " + d + "\\renamed.bin",
                                               "Registered : " + d + "\\system.dll"}));
    EXPECT_EQ(RegisteredServer(VELQUIST_COMSERVER2_CLSID), d + "\\sub\\hidden.ocx");

    // The component without DllUnregisterServer fails; the others are still unregistered.
    list.Clear();
    Module1::RegisterFolder(testsupport::Runners(), d, true, false, list);
    ASSERT_EQ(list.lines.size(), 4u);
    int failed = 0;
    for (const auto& line : list.lines) {
        if (line.text == "Failed : " + d + "\\sub\\keep.dll") {
            ++failed;
            EXPECT_EQ(line.icon, velquist::kIconFailure);
        } else {
            EXPECT_EQ(line.text.rfind("Unregistered : ", 0), 0u) << line.text;
            EXPECT_EQ(line.icon, velquist::kIconSuccess);
        }
    }
    EXPECT_EQ(failed, 1);
    EXPECT_EQ(RegisteredServer(VELQUIST_COMSERVER_CLSID), "");
    EXPECT_EQ(RegisteredServer(VELQUIST_COMSERVER2_CLSID), "");
}

TEST_F(FolderWalk, AComponentWhoseEntryPointFailsGetsAFailedLine) {
    const std::string d = dir.Path();
    Put(VELQUIST_FAILING_DLL, d + "\\failing.dll");
    Module1::RegisterFolder(testsupport::Runners(), d, true, true, list);
    ASSERT_EQ(list.lines.size(), 1u);
    EXPECT_EQ(list.lines[0].text, "Failed : " + d + "\\failing.dll");
    EXPECT_EQ(list.lines[0].icon, velquist::kIconFailure);
}

TEST_F(FolderWalk, ASubfolderBeyondThePathLimitIsSkippedAndItsSiblingsAreNot) {
    // A folder whose full path is longer than the ANSI calls accept cannot be opened by the walk.
    const std::string d = dir.Path();
    const std::string deep = d + "\\" + std::string(150, 'x');
    ASSERT_TRUE(MakeDirs(deep));
    ASSERT_TRUE(MakeDirs(d + "\\sibling"));
    Put(VELQUIST_COMSERVER2_DLL, d + "\\sibling\\b.dll");
    Put(VELQUIST_COMSERVER_DLL, d + "\\a.dll");
    const std::wstring wideDeep = L"\\\\?\\" + std::wstring(deep.begin(), deep.end()) + L"\\" +
                                  std::wstring(150, L'y');
    ASSERT_TRUE(::CreateDirectoryW(wideDeep.c_str(), nullptr));
    const std::string unreachable = deep + "\\" + std::string(150, 'y');
    ASSERT_EQ(::GetFileAttributesA(unreachable.c_str()), INVALID_FILE_ATTRIBUTES);
    const std::string component = ComponentPath(VELQUIST_COMSERVER_DLL);
    ASSERT_TRUE(::CopyFileW(std::wstring(component.begin(), component.end()).c_str(),
                            (wideDeep + L"\\c.dll").c_str(), FALSE));

    Module1::RegisterFolder(testsupport::Runners(), d, true, true, list);
    std::vector<std::string> texts = list.Texts();
    EXPECT_EQ(texts, (std::vector<std::string>{"Registered : " + d + "\\sibling\\b.dll",
                                               "Registered : " + d + "\\a.dll"}));
    ::DeleteFileW((wideDeep + L"\\c.dll").c_str());
    ::RemoveDirectoryW(wideDeep.c_str());
}

TEST_F(FolderWalk, LinesNameFilesFullyHoweverTheFolderWasTyped) {
    const std::string d = dir.Path();
    ASSERT_TRUE(MakeDirs(d + "\\D"));
    Put(VELQUIST_COMSERVER_DLL, d + "\\D\\a.dll");

    Module1::RegisterFolder(testsupport::Runners(), d + "\\D\\", true, true, list);  // trailing separator: not doubled
    Module1::RegisterFolder(testsupport::Runners(), d + "/D", true, true, list);
    char previous[MAX_PATH];
    ::GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_TRUE(::SetCurrentDirectoryA(d.c_str()));
    Module1::RegisterFolder(testsupport::Runners(), "D", true, true, list);  // relative: made absolute
    ::SetCurrentDirectoryA(previous);

    EXPECT_EQ(list.Texts(), std::vector<std::string>(3, "Registered : " + d + "\\D\\a.dll"));
    EXPECT_EQ(list.lines[2].key, "a3");
}

#ifdef VELQUIST_LINK_TREE
// The tree made by make-link-tree.sh: R\S\loop leads back to R, R\ext and R\ext2 both lead to O.
TEST_F(FolderWalk, FolderLinksAreFollowedOnceAndNeverRoundALoop) {
    const std::string tree = VELQUIST_LINK_TREE;
    const std::string r = tree + "\\R";
    ASSERT_NE(::GetFileAttributesA((r + "\\S\\loop").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0u)
        << "the link tree is missing";
    Put(VELQUIST_COMSERVER_DLL, r + "\\a.dll");
    Put(VELQUIST_COMSERVER2_DLL, r + "\\S\\b.dll");
    Put(VELQUIST_COMSERVER_DLL, tree + "\\O\\c.dll");

    Module1::RegisterFolder(testsupport::Runners(), r, true, true, list);
    std::vector<std::string> texts = list.Texts();
    ASSERT_EQ(texts.size(), 3u) << ::testing::PrintToString(texts);
    EXPECT_EQ(texts.back(), "Registered : " + r + "\\a.dll");
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Registered : " + r + "\\S\\b.dll"), texts.end());
    EXPECT_TRUE(std::count(texts.begin(), texts.end(), "Registered : " + r + "\\ext\\c.dll") +
                    std::count(texts.begin(), texts.end(), "Registered : " + r + "\\ext2\\c.dll") ==
                1);

    list.Clear();
    Module1::RegisterFolder(testsupport::Runners(), r, true, false, list);
    EXPECT_EQ(list.lines.size(), 3u);
    ::DeleteFileA((r + "\\a.dll").c_str());
    ::DeleteFileA((r + "\\S\\b.dll").c_str());
    ::DeleteFileA((tree + "\\O\\c.dll").c_str());
}

// Drive V: of the test prefix leads to the tree's folder "drive" (made by make-link-tree.sh).
TEST_F(FolderWalk, TheRootOfADriveIsJoinedWithoutADoubledSeparator) {
    const std::string drive = std::string(VELQUIST_LINK_TREE) + "\\drive";
    ASSERT_NE(::GetFileAttributesA("V:\\"), INVALID_FILE_ATTRIBUTES) << "drive V: is not mapped";
    Put(VELQUIST_COMSERVER_DLL, drive + "\\a.dll");
    ASSERT_NE(::GetFileAttributesA("V:\\a.dll"), INVALID_FILE_ATTRIBUTES);
    Module1::RegisterFolder(testsupport::Runners(), "V:\\", false, true, list);
    ::DeleteFileA((drive + "\\a.dll").c_str());
    EXPECT_EQ(list.Texts(), std::vector<std::string>{"Registered : V:\\a.dll"});
}
#endif

// Components that could not be loaded are failures with their reason; files that are none get no line.
TEST_F(FolderWalk, ComponentsThatCannotBeLoadedGetAFailedLineWithTheReason) {
    const std::string d = dir.Path();
    Put(VELQUIST_MISSINGDEP_DLL, d + "\\a.dll");
    Put(VELQUIST_NOENTRY_DLL, d + "\\b.dll");
    // A component for another processor: the same library with the ARM64 machine in its header.
    std::string arm = testsupport::ReadBytes(ComponentPath(VELQUIST_COMSERVER_DLL));
    ASSERT_GT(arm.size(), 0x40u);
    const size_t pe = static_cast<unsigned char>(arm[0x3C]) | (static_cast<unsigned char>(arm[0x3D]) << 8);
    arm[pe + 4] = '\x64';
    arm[pe + 5] = '\xAA';
    ASSERT_TRUE(testsupport::WriteBytes(d + "\\c.dll", arm));
    ASSERT_TRUE(testsupport::WriteBytes(d + "\\d.txt", "no library"));

    Module1::WalkProgress progress;
    Module1::RegisterFolder(testsupport::Runners(), d, false, true, list, &progress);
    ASSERT_EQ(list.lines.size(), 2u) << list.lines.back().text;
    EXPECT_EQ(list.lines[0].text, "Failed : " + d + "\\a.dll");
    EXPECT_EQ(list.lines[0].icon, velquist::kIconFailure);
    EXPECT_EQ(list.lines[0].detail, "Needs ghostdep.dll, which was not found (looked in the component's folder, the "
                                    "system folders and PATH).");
    EXPECT_EQ(list.lines[1].text, "Failed : " + d + "\\c.dll");
    EXPECT_EQ(list.lines[1].detail,
              "Built for ARM64 processors; Velquist registers x86 (32-bit) and x64 (64-bit) components.");
    EXPECT_EQ(progress.checked, 4u);
}

}  // namespace
