// Tests of the register benchmark's bookkeeping and of its tree walk and header check.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BenchFiles.h"
#include "BenchReport.h"

namespace {

using benchreport::FileRecord;
using benchreport::Side;
using floorbench::FloorOutcome;

TEST(BenchOrder, TakesEachSideInAnyOrderAndAsOftenAsNamed) {
    std::vector<Side> order;
    ASSERT_TRUE(benchreport::ParseOrder("vrf", order));
    EXPECT_EQ(order, (std::vector<Side>{Side::Velquist, Side::Regsvr32, Side::Floor}));
    ASSERT_TRUE(benchreport::ParseOrder("FRV", order));
    EXPECT_EQ(order, (std::vector<Side>{Side::Floor, Side::Regsvr32, Side::Velquist}));
    ASSERT_TRUE(benchreport::ParseOrder("vfrfv", order));
    EXPECT_EQ(order, (std::vector<Side>{Side::Velquist, Side::Floor, Side::Regsvr32, Side::Floor, Side::Velquist}));
}

TEST(BenchOrder, RefusesMissingOrUnknownSidesAndEndlessRuns) {
    std::vector<Side> order;
    EXPECT_FALSE(benchreport::ParseOrder("vr", order));
    EXPECT_FALSE(benchreport::ParseOrder("vvff", order));
    EXPECT_FALSE(benchreport::ParseOrder("vrfx", order));
    EXPECT_FALSE(benchreport::ParseOrder("", order));
    EXPECT_TRUE(benchreport::ParseOrder(std::string(benchreport::kMaxRuns - 2, 'v') + "rf", order));
    EXPECT_FALSE(benchreport::ParseOrder(std::string(benchreport::kMaxRuns - 1, 'v') + "rf", order));
}

TEST(BenchMedian, MiddleValueOrMeanOfTheTwoMiddleOnes) {
    EXPECT_EQ(benchreport::Median({}), 0);
    EXPECT_EQ(benchreport::Median({4}), 4);
    EXPECT_EQ(benchreport::Median({9, 1, 5}), 5);
    EXPECT_EQ(benchreport::Median({6, 2}), 4);
    EXPECT_EQ(benchreport::Median({1, 100, 3, 2}), 2.5);
}

TEST(BenchRegsvr32, SystemCopiesGetTheSixtyFourBitTool) {
    EXPECT_EQ(benchreport::RegsvrBits("C:\\bench", "C:\\bench\\system32\\ole32.dll"), 64);
    EXPECT_EQ(benchreport::RegsvrBits("C:\\bench\\", "c:\\BENCH\\System32\\x.ocx"), 64);
    EXPECT_EQ(benchreport::RegsvrBits("C:\\bench", "C:\\bench\\syswow64\\ole32.dll"), 32);
    EXPECT_EQ(benchreport::RegsvrBits("C:\\bench", "C:\\bench\\system32x\\a.dll"), 32);
    EXPECT_EQ(benchreport::RegsvrBits("C:\\bench", "C:\\bench\\system32"), 32);
}

TEST(BenchFloorExit, MarksTheFileInHandAndGoesOnAfterIt) {
    const benchreport::FloorExit crashed = benchreport::AfterFloorExit(10, 3, false);
    EXPECT_EQ(crashed.markIndex, 3);
    EXPECT_EQ(crashed.outcome, FloorOutcome::Crashed);
    EXPECT_EQ(crashed.nextStart, 4);
    const benchreport::FloorExit hung = benchreport::AfterFloorExit(10, 9, true);
    EXPECT_EQ(hung.markIndex, 9);
    EXPECT_EQ(hung.outcome, FloorOutcome::Hung);
    EXPECT_EQ(hung.nextStart, -1);  // the last file: nothing left to restart for
}

TEST(BenchFloorExit, AFloorThatFinishedOrNeverListedIsDone) {
    const benchreport::FloorExit finished = benchreport::AfterFloorExit(10, 10, false);
    EXPECT_EQ(finished.markIndex, -1);
    EXPECT_EQ(finished.nextStart, -1);
    const benchreport::FloorExit never = benchreport::AfterFloorExit(-1, 0, true);
    EXPECT_EQ(never.markIndex, -1);
    EXPECT_EQ(never.nextStart, -1);
    const benchreport::FloorExit empty = benchreport::AfterFloorExit(0, 0, false);
    EXPECT_EQ(empty.nextStart, -1);
}

TEST(BenchAgreement, ListsTheFilesWhereTheVerdictsDiffer) {
    std::vector<FileRecord> records(5);
    records[0].velquistRegistered = true;  // both registered
    records[0].floor = FloorOutcome::Registered;
    records[1].velquistRegistered = false;  // both failed
    records[1].regsvrCode = 3;
    records[2].velquistRegistered = true;  // regsvr32 overran its limit (exit code 0 or not)
    records[2].regsvrTimedOut = true;
    records[2].floor = FloorOutcome::Registered;
    records[3].velquistRegistered = false;  // regsvr32 alone registered
    records[3].floor = FloorOutcome::Hung;
    records[4].velquistRegistered = false;  // Velquist as regsvr32, the floor not
    records[4].regsvrCode = 5;
    records[4].floor = FloorOutcome::Registered;
    EXPECT_EQ(benchreport::VelquistDisagreements(records), (std::vector<std::size_t>{2, 3}));
    EXPECT_EQ(benchreport::FloorDisagreements(records), (std::vector<std::size_t>{2, 3, 4}));
}

TEST(BenchFormat, NumbersAndVerdicts) {
    EXPECT_EQ(benchreport::Thousands(0), "0");
    EXPECT_EQ(benchreport::Thousands(999), "999");
    EXPECT_EQ(benchreport::Thousands(1000), "1,000");
    EXPECT_EQ(benchreport::Thousands(-1234567), "-1,234,567");
    EXPECT_EQ(benchreport::Rate(1100, 2), "550");
    EXPECT_EQ(benchreport::Rate(1100, 100), "11.0");
    EXPECT_EQ(benchreport::Rate(10, 4), "2.50");
    EXPECT_EQ(benchreport::Rate(10, 0), "-");
    EXPECT_EQ(benchreport::Verdict(16.25, 15, true), "16.2x (target at least 15x: holds)");
    EXPECT_EQ(benchreport::Verdict(1.5, 1.3, false), "1.50x (target at most 1.3x: does not hold)");
    EXPECT_EQ(benchreport::Verdict(8, 15, true), "8.00x (target at least 15x: does not hold)");
}

// A scratch tree under the temporary folder, removed at the end.
class BenchTree : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH];
        ::GetTempPathA(MAX_PATH, temp);
        root_ = std::string(temp) + "velquist-bench-test-" + std::to_string(::GetCurrentProcessId());
        ASSERT_TRUE(::CreateDirectoryA(root_.c_str(), nullptr));
    }
    void TearDown() override {
        for (auto it = created_.rbegin(); it != created_.rend(); ++it) {
            if (!::DeleteFileA(it->c_str())) ::RemoveDirectoryA(it->c_str());
        }
        ::RemoveDirectoryA(root_.c_str());
    }
    std::string Folder(const std::string& relative) {
        const std::string path = root_ + "\\" + relative;
        ::CreateDirectoryA(path.c_str(), nullptr);
        created_.push_back(path);
        return path;
    }
    std::string File(const std::string& relative, const std::string& content) {
        const std::string path = root_ + "\\" + relative;
        HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        ::WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
        ::CloseHandle(file);
        created_.push_back(path);
        return path;
    }
    std::string root_;
    std::vector<std::string> created_;
};

TEST_F(BenchTree, ListsSubfoldersFirstDepthFirstThenOwnFiles) {
    const std::string top = File("top.dll", "x");
    Folder("a");
    const std::string a = File("a\\a.dll", "x");
    Folder("a\\deep");
    const std::string deep = File("a\\deep\\d.ocx", "x");
    Folder("b");
    const std::string b = File("b\\b.dll", "x");
    Folder("empty");
    // Folders in the order the file system lists them; each folder's files after its sub-folders'.
    const std::vector<std::string> listed = benchfiles::ListTree(root_);
    EXPECT_TRUE(listed == (std::vector<std::string>{deep, a, b, top}) ||
                listed == (std::vector<std::string>{b, deep, a, top}));
    EXPECT_TRUE(benchfiles::ListTree(root_ + "\\missing").empty());
}

TEST_F(BenchTree, HeaderCheckSeesNoComponentInTextEmptyOrMissingFiles) {
    EXPECT_EQ(benchfiles::ReadHeaders(File("text.dll", "MZ but no more")).check, peexports::ExportCheck::NotPe);
    EXPECT_EQ(benchfiles::ReadHeaders(File("empty.dll", "")).check, peexports::ExportCheck::NotPe);
    EXPECT_EQ(benchfiles::ReadHeaders(root_ + "\\none.dll").check, peexports::ExportCheck::NotPe);
}

TEST(BenchHeaders, ReadsTheSystemsComponentsAndPrograms) {
    char system[MAX_PATH];
    ::GetSystemDirectoryA(system, MAX_PATH);
    const peexports::HeaderCheck ole = benchfiles::ReadHeaders(std::string(system) + "\\ole32.dll");
    EXPECT_EQ(ole.check, peexports::ExportCheck::Exported);
    EXPECT_EQ(ole.machine, sizeof(void*) == 8 ? peexports::kMachineAmd64 : peexports::kMachineI386);
    EXPECT_EQ(benchfiles::ReadHeaders(std::string(system) + "\\kernel32.dll").check,
              peexports::ExportCheck::NameAbsent);
    char self[MAX_PATH];
    ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    EXPECT_EQ(benchfiles::ReadHeaders(self).check, peexports::ExportCheck::NotDll);
}

}  // namespace
