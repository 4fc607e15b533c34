// The program's side of a runner: its start in a job, the pipe, and every wait with a deadline.
#include "registration/RunnerClient.h"

#include "win32/Paths.h"

#include <atomic>
#include <cstring>

namespace runner {
namespace {

// How long a runner may take to start and say it is ready.
constexpr DWORD kStartLimitMs = 10000;
// How long to wait for a process or an I/O to be gone after it was ended or cancelled.
constexpr DWORD kEndLimitMs = 2000;

// One job for all runners: they end when the program ends, however it ends. What a component
// itself starts may break away, so that it outlives the runner as it would outlive regsvr32.
HANDLE RunnerJob() {
    static const HANDLE job = [] {
        HANDLE created = ::CreateJobObjectA(nullptr, nullptr);
        if (created == nullptr) return created;
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags =
            JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_SILENT_BREAKAWAY_OK | JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
        ::SetInformationJobObject(created, JobObjectExtendedLimitInformation, &limits, sizeof limits);
        return created;
    }();
    return job;
}

// Handles what may not wait for the runner: messages sent to this thread's windows (a component's
// broadcast waits for every top-level window to answer) and painting. Input stays queued.
void HandleSentAndPaint() {
    MSG msg;
    ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    for (int i = 0; i < 64 && ::PeekMessageA(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE | PM_QS_PAINT); ++i) {
        ::DispatchMessageA(&msg);
    }
}

}  // namespace

// The pipe to one runner process and the I/O records in flight on it. An I/O that could not be shown
// finished keeps its record alive for good (see End).
struct RunnerClient::Connection {
    win32::unique_handle process;
    win32::unique_handle pipe;
    win32::unique_handle readEvent{::CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    win32::unique_handle writeEvent{::CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    OVERLAPPED read{};
    OVERLAPPED write{};
    Reply reply;
    std::string detail;  // the bytes that follow a reply
    std::string request;
    DWORD processId = 0;
    bool readPending = false;  // an overlapped read may still be running
    bool writePending = false;
    bool& PendingFlag(const OVERLAPPED& overlapped) { return &overlapped == &read ? readPending : writePending; }
};

RunnerClient::RunnerClient(std::uint16_t machine, std::string program)
    : machine_(machine), program_(std::move(program)) {}

RunnerClient::~RunnerClient() { End(); }

DWORD RunnerClient::ProcessId() const noexcept { return connection_ ? connection_->processId : 0; }

void RunnerClient::End() noexcept {
    if (!connection_) return;
    Connection& connection = *connection_;
    if (connection.process) {
        ::TerminateProcess(connection.process.get(), ERROR_TIMEOUT);
        ::WaitForSingleObject(connection.process.get(), kEndLimitMs);
    }
    if ((connection.readPending || connection.writePending) && connection.pipe) {
        ::CancelIo(connection.pipe.get());
        connection.pipe.reset();  // the runner's end is gone: whatever was in flight completes now
        const bool readDone =
            !connection.readPending || ::WaitForSingleObject(connection.readEvent.get(), kEndLimitMs) == WAIT_OBJECT_0;
        const bool writeDone =
            !connection.writePending || ::WaitForSingleObject(connection.writeEvent.get(), kEndLimitMs) == WAIT_OBJECT_0;
        if (!readDone || !writeDone) {
            // The system may still write to the records: never free them.
            (void)connection_.release();
            return;
        }
    }
    connection_.reset();
}

bool RunnerClient::Start(DWORD& error) {
    static std::atomic<unsigned> serial{0};
    auto connection = std::make_unique<Connection>();
    if (!connection->readEvent || !connection->writeEvent) {
        error = ::GetLastError();
        return false;
    }
    const std::string name = "\\\\.\\pipe\\velquist-runner-" + std::to_string(::GetCurrentProcessId()) + "-" +
                             std::to_string(::GetTickCount64()) + "-" + std::to_string(++serial);
    connection->pipe.reset(::CreateNamedPipeA(
        name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 4096, 4096, 0, nullptr));
    if (!win32::IsValid(connection->pipe)) {
        error = ::GetLastError();
        return false;
    }
    // The runner's own ends are the only handles it inherits.
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    win32::unique_handle runnerEnd(
        ::CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, &inheritable, OPEN_EXISTING, 0, nullptr));
    if (!win32::IsValid(runnerEnd)) {
        error = ::GetLastError();
        return false;
    }
    HANDLE self = nullptr;
    if (!::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentProcess(), ::GetCurrentProcess(), &self, SYNCHRONIZE,
                           TRUE, 0)) {
        error = ::GetLastError();
        return false;
    }
    win32::unique_handle program(self);

    const std::string& exe = program_;
    std::string commandLine = "\"" + exe + "\" " + kRunnerSwitch + " " +
                              std::to_string(reinterpret_cast<ULONG_PTR>(runnerEnd.get())) + " " +
                              std::to_string(reinterpret_cast<ULONG_PTR>(program.get()));
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;  // no console handles of ours
    PROCESS_INFORMATION info{};
    const std::string system = win32::SystemFolder();
    if (!::CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED | CREATE_NO_WINDOW,
                          nullptr, system.empty() ? nullptr : system.c_str(), &startup, &info)) {
        error = ::GetLastError();
        return false;
    }
    connection->process.reset(info.hProcess);
    win32::unique_handle thread(info.hThread);
    connection->processId = info.dwProcessId;
    runnerEnd.reset();
    program.reset();
    if (HANDLE job = RunnerJob()) ::AssignProcessToJobObject(job, info.hProcess);
    ::ResumeThread(thread.get());
    connection_ = std::move(connection);

    // The runner says it is ready, with the machine it serves.
    Connection& started = *connection_;
    started.read = OVERLAPPED{};
    started.read.hEvent = started.readEvent.get();
    ::ResetEvent(started.read.hEvent);
    DWORD transferred = 0;
    bool ok = ::ReadFile(started.pipe.get(), &started.reply, sizeof started.reply, nullptr, &started.read) ||
              ::GetLastError() == ERROR_IO_PENDING;
    if (ok) {
        started.readPending = true;
        ok = WaitFor(started.read, ::GetTickCount64() + kStartLimitMs, transferred) == Wait::Done;
    }
    if (!ok || transferred != sizeof started.reply || started.reply.magic != kMagic ||
        started.reply.answer != Answer::Ready || started.reply.code != machine_ || started.reply.detailBytes != 0) {
        DWORD exitCode = 0;
        ::GetExitCodeProcess(started.process.get(), &exitCode);
        End();
        error = exitCode != 0 && exitCode != STILL_ACTIVE ? exitCode : ERROR_BAD_EXE_FORMAT;
        return false;
    }
    return true;
}

RunnerClient::Wait RunnerClient::WaitFor(OVERLAPPED& overlapped, ULONGLONG deadline, DWORD& transferred) {
    Connection& connection = *connection_;
    bool& pending = connection.PendingFlag(overlapped);
    const HANDLE handles[] = {overlapped.hEvent, connection.process.get()};
    for (;;) {
        if (::GetOverlappedResult(connection.pipe.get(), &overlapped, &transferred, FALSE)) {
            pending = false;
            return Wait::Done;
        }
        const DWORD error = ::GetLastError();
        if (error != ERROR_IO_INCOMPLETE && error != ERROR_IO_PENDING) {
            pending = false;  // failed: the runner's end of the pipe is gone
            return Wait::Died;
        }
        if (observer_ != nullptr && observer_->StopRequested()) return Wait::Stopped;
        const ULONGLONG now = ::GetTickCount64();
        if (now >= deadline) return Wait::TimedOut;
        // An observer is asked about stopping every kStopPollMs (a console's Ctrl+C comes on another
        // thread) and gets the input that arrives meanwhile.
        DWORD wait = static_cast<DWORD>(deadline - now);
        DWORD wake = QS_SENDMESSAGE | QS_PAINT;
        if (observer_ != nullptr) {
            wait = wait < kStopPollMs ? wait : kStopPollMs;
            wake |= QS_INPUT | QS_POSTMESSAGE;
        }
        const DWORD woke = ::MsgWaitForMultipleObjectsEx(2, handles, wait, wake, 0);
        if (woke == WAIT_OBJECT_0) continue;
        if (woke == WAIT_OBJECT_0 + 1) {
            // The runner ended; what it wrote before it did may still be read.
            if (::GetOverlappedResult(connection.pipe.get(), &overlapped, &transferred, FALSE)) {
                pending = false;
                return Wait::Done;
            }
            return Wait::Died;
        }
        if (woke == WAIT_OBJECT_0 + 2) {
            HandleSentAndPaint();
            if (observer_ != nullptr) observer_->OnInput();
            continue;
        }
        if (woke == WAIT_FAILED) return Wait::TimedOut;
    }
}

Exchange RunnerClient::SendOnce(Request kind, const std::string& path, DWORD waitLimitMs, std::uint32_t flags) {
    Exchange result;
    const auto stopRequested = [this] { return observer_ != nullptr && observer_->StopRequested(); };
    if (stopRequested()) {
        result.status = Exchange::Status::Stopped;
        return result;
    }
    if (connection_ && ::WaitForSingleObject(connection_->process.get(), 0) != WAIT_TIMEOUT) End();
    if (!connection_) {
        DWORD error = 0;
        if (!Start(error)) {
            result.status = stopRequested() ? Exchange::Status::Stopped : Exchange::Status::Unavailable;
            result.code = error;
            return result;
        }
    }
    Connection& connection = *connection_;
    const ULONGLONG deadline = ::GetTickCount64() + waitLimitMs;

    RequestHeader header;
    header.kind = kind;
    header.flags = flags;
    header.pathBytes = static_cast<std::uint32_t>(path.size());
    connection.request.assign(reinterpret_cast<const char*>(&header), sizeof header);
    connection.request += path;

    auto died = [&] {
        DWORD exitCode = 0;
        ::WaitForSingleObject(connection.process.get(), kEndLimitMs);
        ::GetExitCodeProcess(connection.process.get(), &exitCode);
        End();
        result.status = Exchange::Status::Died;
        result.code = exitCode;
        return result;
    };
    auto timedOut = [&] {
        End();
        result.status = Exchange::Status::TimedOut;
        return result;
    };
    auto stopped = [&] {
        End();
        result.status = Exchange::Status::Stopped;
        return result;
    };

    connection.write = OVERLAPPED{};
    connection.write.hEvent = connection.writeEvent.get();
    ::ResetEvent(connection.write.hEvent);
    DWORD transferred = 0;
    if (!::WriteFile(connection.pipe.get(), connection.request.data(), static_cast<DWORD>(connection.request.size()),
                     nullptr, &connection.write) &&
        ::GetLastError() != ERROR_IO_PENDING) {
        return died();
    }
    connection.writePending = true;
    Wait wait = WaitFor(connection.write, deadline, transferred);
    if (wait == Wait::Stopped) return stopped();
    if (wait == Wait::TimedOut) return timedOut();
    if (wait == Wait::Died || transferred != connection.request.size()) return died();

    // Reads exactly `size` bytes into a buffer the connection owns (an I/O left running outlives this call).
    auto readExactly = [&](char* into, DWORD size) {
        DWORD have = 0;
        while (have < size) {
            connection.read = OVERLAPPED{};
            connection.read.hEvent = connection.readEvent.get();
            ::ResetEvent(connection.read.hEvent);
            if (!::ReadFile(connection.pipe.get(), into + have, size - have, nullptr, &connection.read) &&
                ::GetLastError() != ERROR_IO_PENDING) {
                return Wait::Died;
            }
            connection.readPending = true;
            const Wait done = WaitFor(connection.read, deadline, transferred);
            if (done != Wait::Done) return done;
            if (transferred == 0) return Wait::Died;
            have += transferred;
        }
        return Wait::Done;
    };
    wait = readExactly(reinterpret_cast<char*>(&connection.reply), sizeof connection.reply);
    if (wait == Wait::Stopped) return stopped();
    if (wait == Wait::TimedOut) return timedOut();
    // A count past the bound is a runner that no longer speaks the protocol: never read on blindly.
    if (wait == Wait::Died || connection.reply.magic != kMagic || connection.reply.detailBytes > kMaxDetailBytes) {
        return died();
    }
    connection.detail.assign(connection.reply.detailBytes, '\0');
    wait = readExactly(connection.detail.data(), connection.reply.detailBytes);
    if (wait == Wait::Stopped) return stopped();
    if (wait == Wait::TimedOut) return timedOut();
    if (wait == Wait::Died) return died();
    result.status = Exchange::Status::Answered;
    result.reply = connection.reply;
    result.detail = DecodeDetail(connection.detail);
    return result;
}

Exchange RunnerClient::Send(Request kind, const std::string& path, DWORD waitLimitMs, WaitObserver* observer,
                            std::uint32_t flags) {
    Exchange result;
    if (busy_) return result;  // re-entered from a sent message: no second request on the same pipe
    busy_ = true;
    observer_ = observer;
    try {
        result = SendOnce(kind, path, waitLimitMs, flags);
        // A runner lost mid-request may have been killed by a stray thread of an earlier component.
        if (result.status == Exchange::Status::Died) result = SendOnce(kind, path, waitLimitMs, flags);
    } catch (...) {
        End();
        result = Exchange{};
        result.code = ERROR_NOT_ENOUGH_MEMORY;
    }
    busy_ = false;
    observer_ = nullptr;
    return result;
}

}  // namespace runner
