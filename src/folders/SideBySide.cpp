// Two lanes, each a thread with a session of its own, taking the queued files in order; the adding
// thread waits for the oldest, handling its window's messages meanwhile, and does its then-step.
#include "folders/SideBySide.h"

#include <algorithm>
#include <system_error>

namespace Module1 {
namespace {

// Three lanes: the work waits on the registry more than on a processor, so a third fills the waits of
// two on two processors (measured: a check of 1,097 files 10% faster than with two, a fourth no faster).
// Files added but not yet handed back: enough to keep the lanes busy, few enough that a walk's
// captures do not pile up in memory.
constexpr std::size_t kLanes = 3;
constexpr std::size_t kQueued = 2 * kLanes;

}  // namespace

SideBySide::SideBySide(registration::Session& session, WalkProgress& walk, bool together)
    : session_(session), walk_(walk), observer_(session.Observer()) {
    if (!together) return;
    // The session itself, its partner, its partner's partner, ...
    std::vector<registration::Session*> sessions{&session};
    while (sessions.size() < kLanes && sessions.back()->Partner() != nullptr) sessions.push_back(sessions.back()->Partner());
    doneEvent_.reset(::CreateEventA(nullptr, FALSE, FALSE, nullptr));
    if (sessions.size() < 2 || !doneEvent_) return;
    try {
        sweeper_ = std::make_unique<registration::ScratchSweeper>();
        partners_.assign(sessions.begin() + 1, sessions.end());
        for (registration::Session* lane : sessions) {
            lane->SetObserver(&laneObserver_);
            lane->SetSweeper(sweeper_.get());
        }
        for (registration::Session* lane : sessions) lanes_.emplace_back([this, lane] { Lane(*lane); });
    } catch (...) {  // no thread (or memory) to be had: one after another, as one lane
        Close();
    }
}

SideBySide::~SideBySide() {
    try {
        Finish();
    } catch (...) {  // a then-step's fault while unwinding: the lanes are ended all the same
    }
    Close();
}

void SideBySide::Close() noexcept {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
        if (!items_.empty()) stop_ = true;  // ended early: what is under way is stopped
    }
    work_.notify_all();
    for (std::thread& lane : lanes_) {
        if (lane.joinable()) lane.join();
    }
    if (!partners_.empty()) {
        session_.SetObserver(observer_);
        session_.SetSweeper(nullptr);
        for (registration::Session* partner : partners_) {
            partner->SetObserver(nullptr);
            partner->SetSweeper(nullptr);
        }
        partners_.clear();
    }
    sweeper_.reset();  // every scratch key gone before the run ends
    lanes_.clear();
    items_.clear();
    if (batch_ != 0) {
        batch_ = 0;
        session_.EndCaptures();
    }
}

void SideBySide::Lane(registration::Session& session) {
    for (;;) {
        std::shared_ptr<Item> item;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            work_.wait(lock, [this, &item] {
                if (paused_ && !closing_) return false;
                for (const std::shared_ptr<Item>& queued : items_) {
                    if (!queued->started) {
                        item = queued;
                        return true;
                    }
                }
                return closing_;
            });
            if (!item) return;
            item->started = true;
        }
        Then then;
        if (!stop_) {
            try {
                then = item->step(session);
            } catch (...) {  // out of memory: nothing to hand back for this file
            }
        }
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            item->then = std::move(then);
            item->done = true;
            item->afterStop = stop_;
        }
        ::SetEvent(doneEvent_.get());
    }
}

void SideBySide::Add(const std::string& path, Step step) {
    if (walk_.stopped) return;
    if (lanes_.empty()) {
        if (Then then = step(session_)) then();
        return;
    }
    // A component of the other bitness waits until this bitness's captures are over and the guard
    // has put back what they reached.
    const std::uint16_t machine = registration::ComponentMachine(path, pages_);
    if (machine != 0 && batch_ != 0 && machine != batch_) EndBatch();
    if (walk_.stopped) return;
    if (machine != 0 && batch_ == 0) {
        session_.BeginCaptures();
        batch_ = machine;
    }
    while (items_.size() >= kQueued && !walk_.stopped) DeliverFront();
    if (walk_.stopped) return;
    auto item = std::make_shared<Item>();
    item->step = std::move(step);
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        items_.push_back(std::move(item));
    }
    work_.notify_one();
}

void SideBySide::DeliverFront() {
    std::shared_ptr<Item> front;
    for (;;) {
        if (walk_.stopped) stop_ = true;  // the walk saw a stop itself: the lanes' calls end now
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (items_.empty()) return;
            if (items_.front()->done) {
                front = items_.front();
                items_.pop_front();
                break;
            }
        }
        // A stop asked for stops the lanes' calls in progress; their files then come back stopped.
        runner::WaitObserver* observer = stop_ ? nullptr : observer_;
        if (runner::WaitForEvent(doneEvent_.get(), observer) == runner::Wait::Stopped) {
            stop_ = true;
            ::SetEvent(doneEvent_.get());  // look again at once
        }
    }
    // What was done before the stop still has its line; after the file under way when it came (the
    // first done after it, or one whose then-step stopped the walk), nothing has.
    const bool stoppedBefore = walk_.stopped;
    if (!dropping_ && front->then) front->then();
    if (walk_.stopped && (!stoppedBefore || front->afterStop)) dropping_ = true;
    if (walk_.stopped) stop_ = true;
}

void SideBySide::EndBatch() {
    for (;;) {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (items_.empty()) break;
        }
        DeliverFront();
    }
    if (batch_ != 0) {
        batch_ = 0;
        session_.EndCaptures();
    }
}

void SideBySide::Alone(const std::function<void(registration::Session& session)>& work) {
    if (lanes_.empty()) {
        work(session_);
        return;
    }
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        paused_ = true;
    }
    struct Resume {
        SideBySide& lanes;
        ~Resume() {
            lanes.session_.SetObserver(&lanes.laneObserver_);
            {
                const std::lock_guard<std::mutex> lock(lanes.mutex_);
                lanes.paused_ = false;
            }
            lanes.work_.notify_all();
        }
    } resume{*this};
    for (;;) {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            const bool busy = std::any_of(items_.begin(), items_.end(),
                                          [](const std::shared_ptr<Item>& item) { return item->started && !item->done; });
            if (!busy) break;
        }
        if (runner::WaitForEvent(doneEvent_.get(), stop_ ? nullptr : observer_) == runner::Wait::Stopped) {
            stop_ = true;
            ::SetEvent(doneEvent_.get());
        }
    }
    session_.SetObserver(observer_);
    work(session_);
}

void SideBySide::Finish() {
    if (lanes_.empty()) return;
    EndBatch();
    if (sweeper_) sweeper_->Drain();
}

}  // namespace Module1
