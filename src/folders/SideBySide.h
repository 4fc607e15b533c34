// Files of a check, an export or a test worked on in three runners of a bitness at once,
// their results handed back in the walk's order.
#pragma once

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "folders/Module1.h"
#include "pe/PageCache.h"
#include "registration/Session.h"
#include "runner/RunnerWait.h"
#include "win32/Handles.h"

namespace Module1 {

// Only what reads may go side by side: each capture writes into a scratch key of its own, and the
// guard of the keys a capture reaches around the redirection is held across the captures that
// overlap. Two files side by side are always of one bitness: a capture's escapes land in the other
// bitness's view, which the check and the test of a file of this bitness never read. Register and
// unregister calls do not come here (their order decides shared keys), only their captures ahead
// of the first call.
class SideBySide {
public:
    // What is done with one file on a lane, in that lane's session; what it returns is then done on the
    // thread that added the file, in the order the files were added.
    using Then = std::function<void()>;
    using Step = std::function<Then(registration::Session& session)>;

    // Lanes: the session and its partner when `together` and both can be had (threads, a partner);
    // otherwise each step is done at once, in the session, on the adding thread, as one after another.
    // The session's observer is asked about stopping, and given the input, while this thread waits. A
    // stop (asked there, or seen by the walk) stops the lanes' calls; the files done before it still
    // get their then-steps, and a then-step that sets walk.stopped is the last.
    SideBySide(registration::Session& session, WalkProgress& walk, bool together);
    ~SideBySide();
    SideBySide(const SideBySide&) = delete;
    SideBySide& operator=(const SideBySide&) = delete;

    // The step for `path`, queued; earlier files' then-steps may be done meanwhile.
    void Add(const std::string& path, Step step);
    // Waits for every file added and does the rest of their then-steps; their scratch keys are gone.
    void Finish();

    // From a then-step: `work` done on this thread in the session, with nothing else under way (the
    // lanes' calls awaited, none begun meanwhile) and the session's own observer. For a file whose
    // capture failed side by side: a component may write files beside itself (a type library, say)
    // that another lane's look at the next file holds open; alone, it meets what one after another
    // meets. One after another, `work` is simply done.
    void Alone(const std::function<void(registration::Session& session)>& work);
    bool Together() const noexcept { return !lanes_.empty(); }

private:
    struct Item {
        Step step;
        Then then;
        bool started = false;
        bool done = false;
        bool afterStop = false;  // done once the lanes were told to stop
    };
    class StopFlag : public runner::WaitObserver {
    public:
        explicit StopFlag(const std::atomic<bool>& stop) : stop_(stop) {}
        bool StopRequested() override { return stop_.load(); }

    private:
        const std::atomic<bool>& stop_;
    };

    void Lane(registration::Session& session);
    // Waits for the oldest file and does its then-step.
    void DeliverFront();
    void EndBatch();
    void Close() noexcept;

    registration::Session& session_;
    WalkProgress& walk_;
    runner::WaitObserver* observer_;  // the session's own, asked on this thread only
    std::atomic<bool> stop_{false};
    bool dropping_ = false;  // a then-step stopped the walk: the rest are dropped
    StopFlag laneObserver_{stop_};
    std::mutex mutex_;
    std::condition_variable work_;
    std::deque<std::shared_ptr<Item>> items_;  // added, their then-steps not yet done
    bool closing_ = false;
    bool paused_ = false;  // Alone is under way: no lane begins a file
    std::unique_ptr<registration::ScratchSweeper> sweeper_;  // the lanes' scratch keys, deleted meanwhile
    std::vector<registration::Session*> partners_;  // the other lanes' sessions, waiting with laneObserver_
    win32::unique_handle doneEvent_;            // set when a lane finishes a step
    std::vector<std::thread> lanes_;
    std::uint16_t batch_ = 0;                   // the bitness of the captures that may overlap, 0 none
    pefile::PageCache pages_;                   // the adding thread's header checks
};

}  // namespace Module1
