// A runner that breaks the protocol on purpose, started by tests in place of the program's own runner
// (same command line); VELQUIST_FAKE_RUNNER names what it does:
//   serve             Ready, then Success to a probe and EntryFailed (SELFREG_E_CLASS) to a call
//   split-ready       as serve, its Ready in two writes with a pause between
//   exit-after-reply  as serve, ending after each reply
//   bad-magic, long-detail, answer-99, refuse   a reply of that fault to every request
//   wrong-machine     Ready for the other machine
//   exit:N            ends with exit code N before Ready
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "runner/PipeIo.h"
#include "runner/RunnerProtocol.h"

namespace {

#if defined(__x86_64__) || defined(_M_X64)
constexpr std::uint32_t kMachine = 0x8664;
constexpr std::uint32_t kOtherMachine = 0x014C;
#else
constexpr std::uint32_t kMachine = 0x014C;
constexpr std::uint32_t kOtherMachine = 0x8664;
#endif
constexpr std::uint32_t kSelfRegClass = 0x80040201;  // SELFREG_E_CLASS

using runner::ReadAll;
using runner::WriteAll;

runner::Reply ReplyFor(const std::string& mode, runner::Request asked) {
    runner::Reply reply;
    reply.answer = asked == runner::Request::Probe ? runner::Answer::Success : runner::Answer::EntryFailed;
    reply.code = asked == runner::Request::Probe ? 0 : kSelfRegClass;
    if (mode == "bad-magic") {
        reply.magic = 0x4B4F4F42;
    } else if (mode == "long-detail") {
        reply.answer = runner::Answer::LoadFailed;
        reply.code = ERROR_MOD_NOT_FOUND;
        reply.detailBytes = runner::kMaxDetailBytes + 1;  // announced, never sent
    } else if (mode == "answer-99") {
        reply.answer = static_cast<runner::Answer>(99);
    } else if (mode == "refuse") {
        reply.answer = runner::Answer::BadRequest;
        reply.code = 0;
    }
    return reply;
}

}  // namespace

int main() {
    const char* at = std::strstr(::GetCommandLineA(), runner::kRunnerSwitch);
    if (at == nullptr) return 2;
    char* end = nullptr;
    const HANDLE pipe =
        reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(std::strtoull(at + std::strlen(runner::kRunnerSwitch), &end, 10)));
    char buffer[64] = {};
    ::GetEnvironmentVariableA("VELQUIST_FAKE_RUNNER", buffer, sizeof buffer);
    const std::string mode = buffer;
    if (mode.rfind("exit:", 0) == 0) return std::atoi(mode.c_str() + 5);

    runner::Reply ready;
    ready.answer = runner::Answer::Ready;
    ready.code = mode == "wrong-machine" ? kOtherMachine : kMachine;
    const char* readyBytes = reinterpret_cast<const char*>(&ready);
    if (mode == "split-ready") {
        if (!WriteAll(pipe, readyBytes, 6)) return 3;
        ::Sleep(300);  // the program's first read returns with six bytes alone
        if (!WriteAll(pipe, readyBytes + 6, sizeof ready - 6)) return 3;
    } else if (!WriteAll(pipe, readyBytes, sizeof ready)) {
        return 3;
    }
    for (;;) {
        runner::RequestHeader header;
        if (!ReadAll(pipe, &header, sizeof header) || header.pathBytes > runner::kMaxPathBytes) return 0;
        std::string path(header.pathBytes, '\0');
        if (!ReadAll(pipe, path.data(), header.pathBytes)) return 0;
        const runner::Reply reply = ReplyFor(mode, header.kind);
        if (!WriteAll(pipe, &reply, sizeof reply)) return 0;
        if (mode == "exit-after-reply") return 0;
    }
}
