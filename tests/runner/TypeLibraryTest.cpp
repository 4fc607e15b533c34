// Type library files read, registered and unregistered in this process, with the test type libraries.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "TestComponents.h"
#include "TestSupport.h"
#include "runner/TypeLibrary.h"

using runner::TypeLibraryDetail;
using runner::TypeLibraryFacts;
using testsupport::ComponentPath;
using testsupport::KeyExists;

namespace {

#if defined(_M_X64) || defined(__x86_64__)
constexpr SYSKIND kOwnKind = SYS_WIN64;
constexpr SYSKIND kOtherKind = SYS_WIN32;
constexpr char kOwnGrid[] = VELQUIST_GRID64_TLB;
constexpr char kOwnPlatform[] = "win64";
constexpr REGSAM kOwnView = KEY_WOW64_64KEY;
constexpr std::uint16_t kOwnMachine = IMAGE_FILE_MACHINE_AMD64;
#else
constexpr SYSKIND kOwnKind = SYS_WIN32;
constexpr SYSKIND kOtherKind = SYS_WIN64;
constexpr char kOwnGrid[] = VELQUIST_GRID32_TLB;
constexpr char kOwnPlatform[] = "win32";
constexpr REGSAM kOwnView = KEY_WOW64_32KEY;
constexpr std::uint16_t kOwnMachine = IMAGE_FILE_MACHINE_I386;
#endif

constexpr char kGridDetail[] = "Type library Grid 1.0 (" VELQUIST_GRID_LIBID "), 5 interfaces.";
constexpr char kTilesDetail[] = "Type library Tiles 2.1 (" VELQUIST_TILES_LIBID "), 1 interface.";
constexpr char kClasses[] = "Software\\Classes";
constexpr char kGridKey[] = "Software\\Classes\\TypeLib\\" VELQUIST_GRID_LIBID;
// The interfaces RegisterTypeLib gives a key: the dual ones, the automation-compatible one, the dispinterface.
constexpr const char* kRegisteredIids[] = {VELQUIST_GRID_CELL_IID, VELQUIST_GRID_IID, VELQUIST_GRID_LAYOUT_IID,
                                           VELQUIST_GRID_EVENTS_IID};

std::string InterfaceKey(const char* iid) { return std::string(kClasses) + "\\Interface\\" + iid; }

std::string GridResource() { return ComponentPath(VELQUIST_TYPELIBRARIES_DLL) + "\\2"; }

TEST(TypeLibraryTest, FactsOfEachLibraryAndResource) {
    const struct {
        std::string path;
        const char* detail;
        SYSKIND syskind;
        LCID lcid;
    } cases[] = {
        {ComponentPath(VELQUIST_GRID32_TLB), kGridDetail, SYS_WIN32, 0},
        {ComponentPath(VELQUIST_GRID64_TLB), kGridDetail, SYS_WIN64, 0},
        {GridResource(), kGridDetail, kOwnKind, 0},
        {ComponentPath(VELQUIST_TYPELIBRARIES_DLL) + "\\1", kTilesDetail, kOwnKind, VELQUIST_TILES_LCID},
        {ComponentPath(VELQUIST_TYPELIBRARIES_DLL), kTilesDetail, kOwnKind, VELQUIST_TILES_LCID},
        // Read as data: the other bitness's program file serves as well.
        {testsupport::OtherComponentPath(VELQUIST_TYPELIBRARIES_DLL) + "\\2", kGridDetail, kOtherKind, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        TypeLibraryFacts facts;
        ASSERT_EQ(runner::ReadTypeLibrary(c.path, facts), S_OK);
        EXPECT_EQ(TypeLibraryDetail(facts), c.detail);
        EXPECT_EQ(facts.syskind, c.syskind);
        EXPECT_EQ(facts.lcid, c.lcid);
    }
}

TEST(TypeLibraryTest, FilesThatHoldNoTypeLibraryAreRefused) {
    testsupport::TempDir dir;
    const std::string text = dir / "notes.tlb";
    ASSERT_TRUE(testsupport::WriteBytes(text, "Grid 1.0, five interfaces: not a type library.\r\n"));
    const std::string paths[] = {
        text,
        ComponentPath(VELQUIST_NOENTRY_DLL),                     // a program file without TYPELIB resources
        ComponentPath(VELQUIST_TYPELIBRARIES_DLL) + "\\3",      // one without that resource
        dir / "missing.tlb",
    };
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        TypeLibraryFacts facts;
        facts.name = "untouched";
        EXPECT_TRUE(FAILED(runner::ReadTypeLibrary(path, facts)));
        EXPECT_EQ(facts.name, "untouched");
        EXPECT_TRUE(FAILED(runner::RegisterTypeLibraryFile(path, false)));
        EXPECT_TRUE(FAILED(runner::UnregisterTypeLibraryFile(path, true)));
    }
}

TEST(TypeLibraryTest, MachineOfEachSystemKind) {
    EXPECT_EQ(runner::MachineOf(SYS_WIN32), IMAGE_FILE_MACHINE_I386);
    EXPECT_EQ(runner::MachineOf(SYS_WIN64), IMAGE_FILE_MACHINE_AMD64);
    EXPECT_EQ(runner::MachineOf(SYS_WIN16), 0);
    EXPECT_EQ(runner::MachineOf(SYS_MAC), 0);
    EXPECT_EQ(runner::MachineOf(kOwnKind), kOwnMachine);
}

TEST(TypeLibraryTest, DetailCountsInterfacesInTheSingularAndPlural) {
    TypeLibraryFacts facts;
    facts.libid = {0x0000ABCD, 0x12, 0xEF, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};
    facts.major = 12;
    facts.minor = 3;
    facts.name = "Ünïcode";
    const struct {
        unsigned count;
        const char* ending;
    } cases[] = {{0, "0 interfaces."}, {1, "1 interface."}, {12, "12 interfaces."}};
    for (const auto& c : cases) {
        facts.interfaces = c.count;
        EXPECT_EQ(TypeLibraryDetail(facts),
                  std::string("Type library Ünïcode 12.3 ({0000ABCD-0012-00EF-0123-456789ABCDEF}), ") + c.ending);
    }
}

// Registration of this process's kind of Grid, as a file and as a resource, machine-wide and per user.
// Each test starts without the library's keys in either hive or view, and ends with the registry as it
// found it: the user's classes key and its Interface and TypeLib keys are removed where they were not there
// before (registering per user makes them; unregistering leaves the containers, as it should).
class TypeLibraryRegistrationTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (std::size_t i = 0; i < std::size(kUserKeys); ++i) existed_[i] = KeyExists(HKEY_CURRENT_USER, kUserKeys[i]);
        Forget();
        before_ = testsupport::MachineRegistry::Read();
    }
    void TearDown() override {
        Forget();
        for (std::size_t i = std::size(kUserKeys); i-- > 0;) {
            if (!existed_[i]) testsupport::DeleteTree(HKEY_CURRENT_USER, kUserKeys[i]);
        }
        EXPECT_EQ(before_.FirstDifference(testsupport::MachineRegistry::Read()), L"");
    }

    static void Forget() {
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
                testsupport::DeleteTree(root, kGridKey, view);
                for (const char* iid : kRegisteredIids) testsupport::DeleteTree(root, InterfaceKey(iid), view);
            }
        }
    }

    // Whether any key of the library is left under root, in either view.
    static bool AnyKeyUnder(HKEY root) {
        for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
            if (KeyExists(root, kGridKey, view)) return true;
            for (const char* iid : kRegisteredIids) {
                if (KeyExists(root, InterfaceKey(iid), view)) return true;
            }
        }
        return false;
    }

    // Registers path, checks its keys under root (and none under the other hive), unregisters it and
    // checks they are gone.
    static void RoundTrip(const std::string& path, bool perUser) {
        const HKEY root = perUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
        const HKEY elsewhere = perUser ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
        ASSERT_EQ(runner::RegisterTypeLibraryFile(path, perUser), S_OK);
        const std::string file =
            testsupport::StringValue(root, std::string(kGridKey) + "\\1.0\\0\\" + kOwnPlatform, nullptr, kOwnView);
        EXPECT_EQ(_stricmp(file.c_str(), path.c_str()), 0) << file;
        for (const char* iid : kRegisteredIids) {
            SCOPED_TRACE(iid);
            EXPECT_EQ(testsupport::StringValue(root, InterfaceKey(iid) + "\\TypeLib", nullptr, kOwnView),
                      VELQUIST_GRID_LIBID);
        }
        EXPECT_FALSE(KeyExists(root, InterfaceKey(VELQUIST_GRID_STORE_IID), kOwnView));
        EXPECT_FALSE(AnyKeyUnder(elsewhere));

        ASSERT_EQ(runner::UnregisterTypeLibraryFile(path, perUser), S_OK);
        EXPECT_FALSE(AnyKeyUnder(root));
        EXPECT_FALSE(AnyKeyUnder(elsewhere));
        // Nothing is left to unregister a second time.
        EXPECT_TRUE(FAILED(runner::UnregisterTypeLibraryFile(path, perUser)));
    }

private:
    static constexpr const char* kUserKeys[] = {kClasses, "Software\\Classes\\Interface", "Software\\Classes\\TypeLib"};
    bool existed_[std::size(kUserKeys)] = {};
    testsupport::MachineRegistry before_;
};

TEST_F(TypeLibraryRegistrationTest, FileMachineWide) { RoundTrip(ComponentPath(kOwnGrid), false); }
TEST_F(TypeLibraryRegistrationTest, FilePerUser) { RoundTrip(ComponentPath(kOwnGrid), true); }
TEST_F(TypeLibraryRegistrationTest, ResourceMachineWide) { RoundTrip(GridResource(), false); }
TEST_F(TypeLibraryRegistrationTest, ResourcePerUser) { RoundTrip(GridResource(), true); }

// A per-user registration leaves a machine-wide one of the same library as it was, and the reverse.
TEST_F(TypeLibraryRegistrationTest, PerUserBesideMachineWide) {
    const std::string path = ComponentPath(kOwnGrid);
    ASSERT_EQ(runner::RegisterTypeLibraryFile(path, false), S_OK);
    ASSERT_EQ(runner::RegisterTypeLibraryFile(GridResource(), true), S_OK);
    const std::string platformKey = std::string(kGridKey) + "\\1.0\\0\\" + kOwnPlatform;
    EXPECT_EQ(_stricmp(testsupport::StringValue(HKEY_LOCAL_MACHINE, platformKey, nullptr, kOwnView).c_str(),
                       path.c_str()), 0);
    EXPECT_EQ(_stricmp(testsupport::StringValue(HKEY_CURRENT_USER, platformKey, nullptr, kOwnView).c_str(),
                       GridResource().c_str()), 0);
    const REGSAM otherView = kOwnView == KEY_WOW64_64KEY ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
    const std::string otherInterface = InterfaceKey(VELQUIST_GRID_IID) + "\\TypeLib";
    const std::string machineWide = testsupport::StringValue(HKEY_LOCAL_MACHINE, otherInterface, nullptr, otherView);
    ASSERT_EQ(runner::UnregisterTypeLibraryFile(GridResource(), true), S_OK);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kGridKey, kOwnView));
    // The machine-wide registration's keys of the other view are as they were (Wine's per-user
    // unregistration deletes them past the redirection).
    EXPECT_EQ(testsupport::StringValue(HKEY_LOCAL_MACHINE, otherInterface, nullptr, otherView), machineWide);
    EXPECT_EQ(machineWide, VELQUIST_GRID_LIBID);
    EXPECT_EQ(_stricmp(testsupport::StringValue(HKEY_LOCAL_MACHINE, platformKey, nullptr, kOwnView).c_str(),
                       path.c_str()), 0);
    EXPECT_EQ(testsupport::StringValue(HKEY_LOCAL_MACHINE, InterfaceKey(VELQUIST_GRID_IID) + "\\TypeLib", nullptr,
                                       kOwnView), VELQUIST_GRID_LIBID);
    ASSERT_EQ(runner::UnregisterTypeLibraryFile(path, false), S_OK);
    EXPECT_FALSE(AnyKeyUnder(HKEY_LOCAL_MACHINE));
}

}  // namespace
