// The messages between the program and a runner: fixed little records over one duplex pipe.
#pragma once

#include <cstdint>

namespace runner {

// The private argument that makes the program a runner: velquist.exe <kRunnerSwitch> PIPE PARENT,
// where PIPE and PARENT are the decimal values of handles the runner inherits.
constexpr char kRunnerSwitch[] = "/velquist-runner";

constexpr std::uint32_t kMagic = 0x56515252;  // "RRQV"

enum class Request : std::uint32_t {
    Probe = 1,       // load the file and look up "DllRegisterServer"; the library stays loaded for a call
    Register = 2,    // DllRegisterServer
    Unregister = 3,  // DllUnregisterServer
};

enum class Answer : std::uint32_t {
    Ready = 1,         // sent once at start-up; code: the runner's machine
    Success = 2,
    LoadFailed = 3,    // code: the system error of the load
    EntryMissing = 4,
    EntryFailed = 5,   // code: the HRESULT
    BadRequest = 6,    // the request could not be read
};

// A request is this header followed by pathBytes bytes of the file's full path (no terminator).
struct RequestHeader {
    std::uint32_t magic = kMagic;
    Request kind = Request::Probe;
    std::uint32_t pathBytes = 0;
};

struct Reply {
    std::uint32_t magic = kMagic;
    Answer answer = Answer::Ready;
    std::uint32_t code = 0;
};

// The longest path a request may carry.
constexpr std::uint32_t kMaxPathBytes = 32768 * 3;

}  // namespace runner
