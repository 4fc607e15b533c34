// The program's side of a runner: starts it, sends it requests over a pipe, waits for each answer
// with a deadline, and ends or replaces it when it overruns or dies.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "registration/RunnerProtocol.h"
#include "win32/Handles.h"

namespace runner {

// How one request went.
struct Exchange {
    enum class Status {
        Answered,     // `reply` holds the runner's answer
        TimedOut,     // no answer within the limit: the runner was ended
        Died,         // the runner ended during the request, also when tried again (`code`: its exit code)
        Unavailable,  // no runner could be started (`code`: the system error)
        Stopped,      // the run was stopped while waiting: the runner was ended
    };
    Status status = Status::Unavailable;
    Reply reply;
    LoadDetail detail;  // what the runner sent after its reply (for LoadFailed), empty when nothing or garbled
    DWORD code = 0;
};

// Who is waiting: what to do with the thread's input meanwhile, and whether to give up the wait.
class WaitObserver {
public:
    virtual ~WaitObserver() = default;
    // Input arrived for this thread while waiting (keys, clicks): handle what may be handled now.
    virtual void OnInput() {}
    // True once the wait is to be given up; asked at least every kStopPollMs.
    virtual bool StopRequested() = 0;
};
constexpr unsigned kStopPollMs = 100;

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
    // once more in a fresh one; one that overruns is not.
    // With an observer, input is handed to it while waiting, and a stop it asks for ends the runner.
    // flags: RequestHeader::flags (kPerUserFlag).
    Exchange Send(Request kind, const std::string& path, DWORD waitLimitMs, WaitObserver* observer = nullptr,
                  std::uint32_t flags = 0);

    // The running runner's process id, 0 when none runs.
    DWORD ProcessId() const noexcept;
    // Ends the runner now, if one runs.
    void End() noexcept;

private:
    struct Connection;
    enum class Wait { Done, TimedOut, Died, Stopped };

    bool Start(DWORD& error);
    Exchange SendOnce(Request kind, const std::string& path, DWORD waitLimitMs, std::uint32_t flags);
    WaitObserver* observer_ = nullptr;  // of the request in flight
    // Waits for an overlapped operation on the pipe to finish, or the runner to end, or the deadline.
    Wait WaitFor(OVERLAPPED& overlapped, ULONGLONG deadline, DWORD& transferred);

    std::uint16_t machine_;
    std::string program_;
    std::unique_ptr<Connection> connection_;
    bool busy_ = false;  // a request is in flight (a sent message may re-enter)
};

}  // namespace runner
