// The lanes themselves: two files at once in two sessions, never two bitnesses at once, results in
// the order the files came, and a then-step that stops the walk drops what follows.
#include "folders/SideBySide.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "TestComponents.h"
#include "TestSupport.h"

namespace {

// Waits (a while at most) until `flag` is set.
bool Await(const std::atomic<bool>& flag) {
    for (int i = 0; i < 1000 && !flag; ++i) ::Sleep(10);
    return flag;
}

class SideBySideLanes : public ::testing::Test {
protected:
    registration::Session session_{testsupport::BuildRunners()};
    Module1::WalkProgress walk_;
    std::vector<std::string> order_;
};

// Two files of no bitness meet on two of the lanes: the first waits for the second to begin.
TEST_F(SideBySideLanes, TwoFilesGoAtOnceInTwoSessionsAndComeBackInOrder) {
    std::atomic<bool> secondBegun{false};
    std::atomic<registration::Session*> sessions[2] = {nullptr, nullptr};
    const DWORD adder = ::GetCurrentThreadId();
    {
        Module1::SideBySide lanes(session_, walk_, true);
        lanes.Add("first.txt", [&](registration::Session& lane) -> Module1::SideBySide::Then {
            sessions[0] = &lane;
            const bool met = Await(secondBegun);
            return [&, met] {
                EXPECT_TRUE(met) << "the second file did not begin while the first was under way";
                EXPECT_EQ(::GetCurrentThreadId(), adder);
                order_.push_back("first");
            };
        });
        lanes.Add("second.txt", [&](registration::Session& lane) -> Module1::SideBySide::Then {
            sessions[1] = &lane;
            secondBegun = true;
            return [&] { order_.push_back("second"); };
        });
        lanes.Finish();
    }
    EXPECT_EQ(order_, (std::vector<std::string>{"first", "second"}));
    EXPECT_NE(sessions[0].load(), sessions[1].load());
    // Any two of the lanes: the session, its partner, its partner's partner.
    std::vector<registration::Session*> lanes{&session_};
    while (lanes.size() < 3 && lanes.back()->Partner() != nullptr) lanes.push_back(lanes.back()->Partner());
    for (const auto& session : sessions) {
        EXPECT_NE(std::find(lanes.begin(), lanes.end(), session.load()), lanes.end());
    }
}

// Components of the two bitnesses never overlap (a capture's escapes land in the other view), those of
// one may; one after another, every step is done at once on the adding thread.
TEST_F(SideBySideLanes, NoTwoBitnessesAtOnceAndOneAfterAnotherIsInline) {
    ASSERT_TRUE(testsupport::OtherBitnessRuns());
    const std::string mine = testsupport::ComponentPath(VELQUIST_COMSERVER_DLL);
    const std::string other = testsupport::OtherComponentPath(VELQUIST_COMSERVER_DLL);
    for (const bool together : {true, false}) {
        SCOPED_TRACE(together);
        std::atomic<int> running{0}, mixed{0};
        std::atomic<std::uint16_t> runningMachine{0};
        std::vector<std::string> done;
        Module1::SideBySide lanes(session_, walk_, together);
        const DWORD adder = ::GetCurrentThreadId();
        for (const std::string& path : {mine, mine, other, other, mine}) {
            const std::uint16_t machine = path == mine ? (sizeof(void*) == 8 ? 0x8664 : 0x14c)
                                                       : (sizeof(void*) == 8 ? 0x14c : 0x8664);
            lanes.Add(path, [&, path, machine](registration::Session&) -> Module1::SideBySide::Then {
                if (running++ > 0 && runningMachine != machine) ++mixed;
                runningMachine = machine;
                if (together != (::GetCurrentThreadId() != adder)) ++mixed;
                ::Sleep(50);
                --running;
                return [&, path] { done.push_back(path); };
            });
        }
        lanes.Finish();
        EXPECT_EQ(mixed, 0);
        EXPECT_EQ(done, (std::vector<std::string>{mine, mine, other, other, mine}));
    }
}

// A then-step that stops the walk: nothing after it is done, nothing more is taken.
TEST_F(SideBySideLanes, AThenStepThatStopsTheWalkDropsTheRest) {
    Module1::SideBySide lanes(session_, walk_, true);
    for (int i = 0; i < 6; ++i) {
        lanes.Add("file" + std::to_string(i) + ".txt", [&, i](registration::Session&) -> Module1::SideBySide::Then {
            return [&, i] {
                order_.push_back(std::to_string(i));
                if (i == 1) walk_.stopped = true;
            };
        });
    }
    lanes.Finish();
    EXPECT_EQ(order_, (std::vector<std::string>{"0", "1"}));
}

// A stop the walk sees itself (the window's Stop, Ctrl+C): the call under way on a lane ends at once,
// and what was done before it keeps its then-step.
TEST_F(SideBySideLanes, AStopTheWalkSeesEndsTheLanesCallsAndKeepsWhatWasDone) {
    const ULONGLONG start = ::GetTickCount64();
    {
        Module1::SideBySide lanes(session_, walk_, true);
        lanes.Add("done.txt", [&](registration::Session&) -> Module1::SideBySide::Then {
            return [&] { order_.push_back("done"); };
        });
        lanes.Add("hung.txt", [&](registration::Session& lane) -> Module1::SideBySide::Then {
            // As a runner's wait does: until the lane's observer asks to stop, ten seconds at most.
            bool stopped = false;
            for (int i = 0; i < 1000 && !stopped; ++i) {
                stopped = lane.Observer() != nullptr && lane.Observer()->StopRequested();
                if (!stopped) ::Sleep(10);
            }
            return [&, stopped] {
                order_.push_back(stopped ? "hung, stopped" : "hung, ran out");
                walk_.stopped = true;
            };
        });
        ::Sleep(100);
        walk_.stopped = true;  // as the walk sets it when it is asked to stop
        lanes.Finish();
    }
    EXPECT_LT(::GetTickCount64() - start, 5000u);
    EXPECT_EQ(order_, (std::vector<std::string>{"done", "hung, stopped"}));
}

// A file done again alone from its then-step (as a failed capture is) meets no other file under way.
TEST_F(SideBySideLanes, WorkDoneAloneOverlapsNothing) {
    std::atomic<int> running{0};
    std::vector<std::string> seen;
    Module1::SideBySide lanes(session_, walk_, true);
    const auto step = [&](const std::string& name) {
        return [&, name](registration::Session&) -> Module1::SideBySide::Then {
            ++running;
            ::Sleep(150);
            const bool overlapped = running > 1;
            ::Sleep(150);
            --running;
            return [&, name, overlapped] {
                seen.push_back(name + (overlapped ? " beside another" : " alone"));
                if (name != "a") return;
                lanes.Alone([&](registration::Session& session) {
                    EXPECT_EQ(&session, &session_);
                    ++running;
                    ::Sleep(150);
                    seen.push_back(running > 1 ? "a again, beside another" : "a again, alone");
                    --running;
                });
            };
        };
    };
    for (const char* name : {"a", "b", "c", "d"}) lanes.Add(std::string(name) + ".txt", step(name));
    lanes.Finish();
    ASSERT_EQ(seen.size(), 5u);
    EXPECT_EQ(seen[0], "a beside another");  // b went at once on the other lane
    EXPECT_EQ(seen[1], "a again, alone");
}

}  // namespace
