// Tests of the floor's watcher with the test components: a crash or a hang costs the floor only its
// own file, and the floor goes on after it.
#include <windows.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "FloorWatch.h"

namespace {

using floorbench::FloorOutcome;

class FloorWatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH];
        ::GetTempPathA(MAX_PATH, temp);
        name_ = "velquist-floor-test-" + std::to_string(::GetCurrentProcessId());
        folder_ = std::string(temp) + name_;
        ASSERT_TRUE(::CreateDirectoryA(folder_.c_str(), nullptr));
    }
    void TearDown() override {
        for (const std::string& file : files_) ::DeleteFileA((folder_ + "\\" + file).c_str());
        ::RemoveDirectoryA(folder_.c_str());
    }
    void AddComponent(const std::string& file) {
        ASSERT_TRUE(::CopyFileA((std::string(VELQUIST_COMPONENT_DIR) + "\\" + file).c_str(),
                                (folder_ + "\\" + file).c_str(), FALSE))
            << file;
        files_.push_back(file);
    }
    // What the floor made of each file, by name.
    static std::map<std::string, floorbench::FloorSlot> ByName(const floorbench::FloorRun& run) {
        std::map<std::string, floorbench::FloorSlot> slots;
        for (const floorbench::FloorSlot& slot : run.slots) {
            const std::string path = slot.path;
            slots[path.substr(path.find_last_of('\\') + 1)] = slot;
        }
        return slots;
    }
    std::string name_, folder_;
    std::vector<std::string> files_;
};

TEST_F(FloorWatchTest, GoesOnAfterACrashAndAHang) {
    for (const char* file : {"failing.dll", "crashing.dll", "blocking.dll", "noEntry.dll"}) AddComponent(file);
    const floorbench::FloorRun run = floorbench::RunFloor(VELQUIST_FLOOR_EXE, folder_, name_, 1500);
    ASSERT_EQ(run.error, "");
    ASSERT_EQ(run.count, 4);
    auto slots = ByName(run);
    EXPECT_EQ(static_cast<FloorOutcome>(slots["failing.dll"].outcome), FloorOutcome::EntryFailed);
    EXPECT_EQ(slots["failing.dll"].code, static_cast<std::uint32_t>(SELFREG_E_CLASS));
    EXPECT_EQ(static_cast<FloorOutcome>(slots["crashing.dll"].outcome), FloorOutcome::Crashed);
    EXPECT_EQ(slots["crashing.dll"].code, static_cast<std::uint32_t>(EXCEPTION_ACCESS_VIOLATION));
    EXPECT_EQ(static_cast<FloorOutcome>(slots["blocking.dll"].outcome), FloorOutcome::Hung);
    EXPECT_EQ(static_cast<FloorOutcome>(slots["noEntry.dll"].outcome), FloorOutcome::NotComponent);
    // One start, and one more after each of the crash and the hang unless it was the last file.
    EXPECT_GE(run.processes, 2);
    EXPECT_LE(run.processes, 3);
    EXPECT_GE(run.seconds, 1.5);
}

TEST_F(FloorWatchTest, AnEmptyFolderTakesOneProcess) {
    const floorbench::FloorRun run = floorbench::RunFloor(VELQUIST_FLOOR_EXE, folder_, name_);
    EXPECT_EQ(run.error, "");
    EXPECT_EQ(run.count, 0);
    EXPECT_EQ(run.processes, 1);
}

TEST_F(FloorWatchTest, SaysWhenTheFloorCannotStart) {
    const floorbench::FloorRun run = floorbench::RunFloor(folder_ + "\\none.exe", folder_, name_);
    EXPECT_NE(run.error.find("could not start"), std::string::npos) << run.error;
    EXPECT_EQ(run.processes, 0);
    EXPECT_TRUE(run.slots.empty());
}

}  // namespace
