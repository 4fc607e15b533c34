// Waiting for a runner: one overlapped operation on its pipe against its process and a deadline, with
// the waiting thread's sent messages and painting handled meanwhile.
#pragma once

#include <windows.h>

namespace runner {

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

enum class Wait { Done, TimedOut, Died, Stopped };

// Waits for an overlapped operation on `pipe` to finish, or `process` to end, or the deadline; clears
// `pending` once the system is done with `overlapped`. transferred: the bytes moved, for Done.
Wait WaitForIo(HANDLE pipe, HANDLE process, OVERLAPPED& overlapped, bool& pending, ULONGLONG deadline,
               WaitObserver* observer, DWORD& transferred);

// Waits for `event` to be set, handling the thread's sent messages and painting meanwhile; with an
// observer, input is handed to it and it is asked about stopping every kStopPollMs. Done once the
// event is set; Stopped as soon as the observer asks for it (the event left as it is).
Wait WaitForEvent(HANDLE event, WaitObserver* observer);

}  // namespace runner
