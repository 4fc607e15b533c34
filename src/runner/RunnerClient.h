// The program's side of a runner: starts it, sends it requests over a pipe, waits for each answer
// with a deadline, and ends or replaces it when it overruns or dies.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "runner/RunnerProtocol.h"
#include "runner/RunnerWait.h"
#include "win32/Handles.h"

namespace runner {

// How one request went.
struct Exchange {
    enum class Status {
        Answered,     // `reply` holds the runner's answer
        TimedOut,     // no answer within the limit: the runner was ended
        Died,         // the runner ended during the request, also when tried again (`code`: its exit code)
        Unavailable,  // no runner could be started (`code`: the system error, or see runnerExit)
        Stopped,      // the run was stopped while waiting: the runner was ended
        ProtocolFault,  // the runner sent what it should not (`code`: the answer it gave): it was ended
    };
    Status status = Status::Unavailable;
    Reply reply;
    LoadDetail detail;  // what the runner sent after its reply (for LoadFailed), empty when nothing or garbled
    std::string detailBytes;  // the same as sent, for a detail of another kind (a type library's facts)
    DWORD code = 0;
    bool runnerExit = false;  // Unavailable: the runner ended before it was ready, `code` is its exit code
};

// One reply of a test, with the detail that came after it.
struct TestReply {
    Reply reply;
    LoadDetail detail;
};

// One runner of one bitness, started at first need and reused until it overruns or dies.
class RunnerClient {
public:
    // program: the runner's program file; `machine` the COFF machine it serves.
    RunnerClient(std::uint16_t machine, std::string program);
    ~RunnerClient();
    RunnerClient(const RunnerClient&) = delete;
    RunnerClient& operator=(const RunnerClient&) = delete;

    // Sends the request and waits at most waitLimitMs for its answer, handling sent messages and
    // painting meanwhile. A runner found dead first is replaced; a request whose runner dies is tried
    // once more in a fresh one; one that overruns is not, nor one whose reply fails CheckReply (that
    // runner is ended at once).
    // With an observer, input is handed to it while waiting, and a stop it asks for ends the runner.
    // flags: RequestHeader::flags (kPerUserFlag).
    Exchange Send(Request kind, const std::string& path, DWORD waitLimitMs, WaitObserver* observer = nullptr,
                  std::uint32_t flags = 0);

    // Sends a Test request (its text as TestText makes it, of `items` items) and reads a reply per item
    // as the runner makes them, all within waitLimitMs, each checked as Send checks its reply.
    // `replies` gets every reply that came: a runner lost on the way (Died, TimedOut, Stopped) leaves
    // the earlier ones, and replies.size() is the item it was on. An ItemCrashed reply is the last; its
    // runner is ended. A runner that dies before any reply is tried once more, as for Send.
    Exchange SendTest(const std::string& text, std::size_t items, DWORD waitLimitMs, WaitObserver* observer,
                      std::vector<TestReply>& replies);

    // The running runner's process id, 0 when none runs.
    DWORD ProcessId() const noexcept;
    // Ends the runner now, if one runs.
    void End() noexcept;

private:
    struct Connection;

    // Starts a runner and reads its Ready; false, with why in `failed`, when none could be started.
    bool Start(Exchange& failed);
    bool Launch(Exchange& failed);
    // One request and its replies: one, or a test's `replies` (which then gets them).
    Exchange SendOnce(Request kind, const std::string& path, DWORD waitLimitMs, std::uint32_t flags,
                      std::vector<TestReply>* replies = nullptr, std::size_t count = 1);
    // Send's frame: no second request while one is in flight, the observer, one retry when the runner dies.
    Exchange Exchanged(Request kind, const std::string& path, DWORD waitLimitMs, WaitObserver* observer,
                       std::uint32_t flags, std::vector<TestReply>* replies, std::size_t count);
    // Reads exactly `size` bytes into a buffer the connection owns (an I/O left running outlives the call).
    Wait ReadExactly(char* into, DWORD size, ULONGLONG deadline);
    // Waits for an overlapped operation on the pipe to finish, or the runner to end, or the deadline.
    Wait WaitFor(OVERLAPPED& overlapped, ULONGLONG deadline, DWORD& transferred);
    // Ends a runner that broke the protocol, at once: the exchange to report (`reply` is copied: the
    // connection that holds it goes).
    Exchange Faulted(Reply reply) noexcept;
    // Ends a runner whose request was not answered (Died, TimedOut, Stopped): the exchange to report.
    Exchange Lost(Wait wait) noexcept;

    WaitObserver* observer_ = nullptr;  // of the request in flight

    std::uint16_t machine_;
    std::string program_;
    win32::unique_handle job_;  // closed after the connection: the runner is ended first
    std::unique_ptr<Connection> connection_;
    bool busy_ = false;  // a request is in flight (a sent message may re-enter)
};

}  // namespace runner
