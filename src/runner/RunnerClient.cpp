// The program's side of a runner: its start in a job, the pipe, each request and its checked reply.
#include "runner/RunnerClient.h"

#include "runner/RunnerPipe.h"

#include <cstdint>
#include <cstring>

namespace runner {
namespace {

// How long a runner may take to start and say it is ready.
constexpr DWORD kStartLimitMs = 10000;
// How long to wait for a process or an I/O to be gone after it was ended or cancelled.
constexpr DWORD kEndLimitMs = 2000;

// The job of a client's runners: they end when the client's handle to it closes, at the latest when
// the program ends, however it ends. What a component itself starts may break away, so that it
// outlives the runner as it would outlive regsvr32.
win32::unique_handle MakeRunnerJob() {
    win32::unique_handle job(::CreateJobObjectA(nullptr, nullptr));
    if (!job) return job;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags =
        JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_SILENT_BREAKAWAY_OK | JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
    ::SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits);
    return job;
}

// The exit code of a process that has ended or is ending; STILL_ACTIVE if it runs on past the wait.
DWORD ExitCodeOf(HANDLE process) {
    DWORD exitCode = STILL_ACTIVE;
    ::WaitForSingleObject(process, kEndLimitMs);
    if (!::GetExitCodeProcess(process, &exitCode)) exitCode = STILL_ACTIVE;
    return exitCode;
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
    : machine_(machine), program_(std::move(program)), job_(MakeRunnerJob()) {}

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

// The runner's process on a fresh pipe, suspended until it is in the job; connection_ once it runs.
bool RunnerClient::Launch(Exchange& failed) {
    failed.status = Exchange::Status::Unavailable;
    auto connection = std::make_unique<Connection>();
    if (!connection->readEvent || !connection->writeEvent) {
        failed.code = ::GetLastError();
        return false;
    }
    const std::string name = NewPipeName();
    if (name.empty()) {
        failed.code = ERROR_GEN_FAILURE;
        return false;
    }
    connection->pipe = CreateRunnerPipe(name);
    if (!win32::IsValid(connection->pipe)) {
        failed.code = ::GetLastError();
        return false;
    }
    // The runner's own ends are the only handles it inherits.
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    win32::unique_handle runnerEnd(
        ::CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, &inheritable, OPEN_EXISTING, 0, nullptr));
    if (!win32::IsValid(runnerEnd)) {
        failed.code = ::GetLastError();
        return false;
    }
    HANDLE self = nullptr;
    if (!::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentProcess(), ::GetCurrentProcess(), &self, SYNCHRONIZE,
                           TRUE, 0)) {
        failed.code = ::GetLastError();
        return false;
    }
    win32::unique_handle program(self);

    PROCESS_INFORMATION info{};
    if (!StartSuspendedRunner(program_, runnerEnd.get(), program.get(), info)) {
        failed.code = ::GetLastError();
        return false;
    }
    connection->process.reset(info.hProcess);
    win32::unique_handle thread(info.hThread);
    connection->processId = info.dwProcessId;
    if (job_) ::AssignProcessToJobObject(job_.get(), info.hProcess);
    ::ResumeThread(thread.get());
    connection_ = std::move(connection);
    return true;
}

bool RunnerClient::Start(Exchange& failed) {
    if (!Launch(failed)) return false;
    // The runner says it is ready, with the machine it serves.
    Connection& started = *connection_;
    const Wait wait =
        ReadExactly(reinterpret_cast<char*>(&started.reply), sizeof started.reply, ::GetTickCount64() + kStartLimitMs);
    if (wait == Wait::Done) {
        if (CheckReady(started.reply, machine_) == ReplyFault::None) return true;
        failed = Faulted(started.reply);
        return false;
    }
    failed.status = wait == Wait::Stopped ? Exchange::Status::Stopped : Exchange::Status::Unavailable;
    failed.code = ERROR_TIMEOUT;
    if (wait == Wait::Died) {
        // Its end of the pipe is gone: it ended as it started, with a code of its own (or a loader's).
        const DWORD exitCode = ExitCodeOf(started.process.get());
        failed.runnerExit = exitCode != STILL_ACTIVE;
        failed.code = failed.runnerExit ? exitCode : ERROR_BROKEN_PIPE;
    }
    End();
    return false;
}

Wait RunnerClient::WaitFor(OVERLAPPED& overlapped, ULONGLONG deadline, DWORD& transferred) {
    Connection& connection = *connection_;
    return WaitForIo(connection.pipe.get(), connection.process.get(), overlapped, connection.PendingFlag(overlapped),
                     deadline, observer_, transferred);
}

Wait RunnerClient::ReadExactly(char* into, DWORD size, ULONGLONG deadline) {
    Connection& connection = *connection_;
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
        DWORD transferred = 0;
        const Wait done = WaitFor(connection.read, deadline, transferred);
        if (done != Wait::Done) return done;
        if (transferred == 0) return Wait::Died;
        have += transferred;
    }
    return Wait::Done;
}

Exchange RunnerClient::Faulted(Reply reply) noexcept {
    End();
    Exchange result;
    result.status = Exchange::Status::ProtocolFault;
    result.code = static_cast<DWORD>(reply.answer);
    return result;
}

Exchange RunnerClient::Lost(Wait wait) noexcept {
    Exchange result;
    result.status = wait == Wait::Stopped ? Exchange::Status::Stopped : Exchange::Status::TimedOut;
    if (wait == Wait::Died) {
        result.status = Exchange::Status::Died;
        result.code = ExitCodeOf(connection_->process.get());
    }
    End();
    return result;
}

Exchange RunnerClient::SendOnce(Request kind, const std::string& path, DWORD waitLimitMs, std::uint32_t flags,
                                std::vector<TestReply>* replies, std::size_t count) {
    Exchange result;
    const auto stopRequested = [this] { return observer_ != nullptr && observer_->StopRequested(); };
    if (stopRequested()) {
        result.status = Exchange::Status::Stopped;
        return result;
    }
    if (connection_ && ::WaitForSingleObject(connection_->process.get(), 0) != WAIT_TIMEOUT) End();
    if (!connection_ && !Start(result)) {
        if (stopRequested()) result.status = Exchange::Status::Stopped;
        return result;
    }
    Connection& connection = *connection_;
    const ULONGLONG deadline = ::GetTickCount64() + waitLimitMs;

    RequestHeader header;
    header.kind = kind;
    header.flags = flags;
    header.pathBytes = static_cast<std::uint32_t>(path.size());
    connection.request.assign(reinterpret_cast<const char*>(&header), sizeof header);
    connection.request += path;

    connection.write = OVERLAPPED{};
    connection.write.hEvent = connection.writeEvent.get();
    ::ResetEvent(connection.write.hEvent);
    if (!::WriteFile(connection.pipe.get(), connection.request.data(), static_cast<DWORD>(connection.request.size()),
                     nullptr, &connection.write) &&
        ::GetLastError() != ERROR_IO_PENDING) {
        return Lost(Wait::Died);
    }
    connection.writePending = true;
    DWORD transferred = 0;
    Wait wait = WaitFor(connection.write, deadline, transferred);
    if (wait == Wait::Done && transferred != connection.request.size()) wait = Wait::Died;
    if (wait != Wait::Done) return Lost(wait);

    for (std::size_t i = 0; i < count; ++i) {
        wait = ReadExactly(reinterpret_cast<char*>(&connection.reply), sizeof connection.reply, deadline);
        if (wait != Wait::Done) return Lost(wait);
        // Checked before anything it announces is read: a runner that no longer speaks the protocol is
        // never read on blindly, nor waited for.
        if (CheckReply(connection.reply, kind) != ReplyFault::None) return Faulted(connection.reply);
        connection.detail.assign(connection.reply.detailBytes, '\0');
        wait = ReadExactly(connection.detail.data(), connection.reply.detailBytes, deadline);
        if (wait != Wait::Done) return Lost(wait);
        result.status = Exchange::Status::Answered;
        result.reply = connection.reply;
        result.detail = DecodeDetail(connection.detail);
        result.detailBytes = connection.detail;
        if (replies != nullptr) replies->push_back({result.reply, result.detail});
        if (result.reply.answer == Answer::ItemCrashed) {
            End();  // it is ending itself; nothing more comes from it
            break;
        }
    }
    return result;
}

Exchange RunnerClient::Send(Request kind, const std::string& path, DWORD waitLimitMs, WaitObserver* observer,
                            std::uint32_t flags) {
    return Exchanged(kind, path, waitLimitMs, observer, flags, nullptr, 1);
}

Exchange RunnerClient::SendTest(const std::string& text, std::size_t items, DWORD waitLimitMs, WaitObserver* observer,
                                std::vector<TestReply>& replies) {
    replies.clear();
    return Exchanged(Request::Test, text, waitLimitMs, observer, 0, &replies, items);
}

Exchange RunnerClient::Exchanged(Request kind, const std::string& path, DWORD waitLimitMs, WaitObserver* observer,
                                 std::uint32_t flags, std::vector<TestReply>* replies, std::size_t count) {
    Exchange result;
    if (busy_) return result;  // re-entered from a sent message: no second request on the same pipe
    busy_ = true;
    observer_ = observer;
    try {
        result = SendOnce(kind, path, waitLimitMs, flags, replies, count);
        // A runner lost mid-request may have been killed by a stray thread of an earlier component; a
        // test that had begun to answer was lost to its own component.
        if (result.status == Exchange::Status::Died && (replies == nullptr || replies->empty())) {
            result = SendOnce(kind, path, waitLimitMs, flags, replies, count);
        }
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
