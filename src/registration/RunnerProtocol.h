// The messages between the program and a runner: fixed little records over one duplex pipe, a
// reply followed by the few names that explain a failed load.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

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
    LoadFailed = 3,    // code: the system error of the load; a LoadDetail may follow
    EntryMissing = 4,
    EntryFailed = 5,   // code: the HRESULT
    BadRequest = 6,    // the request could not be read
};

// Bits of RequestHeader::flags; a runner refuses a request with any other bit set.
constexpr std::uint32_t kPerUserFlag = 0x1;  // HKEY_CLASSES_ROOT is HKEY_CURRENT_USER\Software\Classes for the file
constexpr std::uint32_t kKnownFlags = kPerUserFlag;

// A request is this header followed by pathBytes bytes of the file's full path (no terminator).
struct RequestHeader {
    std::uint32_t magic = kMagic;
    Request kind = Request::Probe;
    std::uint32_t flags = 0;
    std::uint32_t pathBytes = 0;
};

// A reply is this record followed by detailBytes bytes of an encoded LoadDetail (none for most replies).
struct Reply {
    std::uint32_t magic = kMagic;
    Answer answer = Answer::Ready;
    std::uint32_t code = 0;
    std::uint32_t detailBytes = 0;
};

// The longest path a request may carry.
constexpr std::uint32_t kMaxPathBytes = 32768 * 3;
// The most detail a reply may carry: three names of at most a file name's length in UTF-8 (the program
// takes a larger count for a broken runner).
constexpr std::uint32_t kMaxDetailBytes = 4096;

// The import that made a load fail, when the runner could tell.
struct LoadDetail {
    std::string library;   // the dependency that was not found, or the library lacking `function`
    std::string function;  // the function (or "#ordinal") imported from `library` that it lacks; "" otherwise
    std::string neededBy;  // the file name of the library whose import is unmet
    bool Empty() const { return library.empty(); }
};

// The three names, each ended by a NUL; nothing at all for an empty detail or one past kMaxDetailBytes.
inline std::string EncodeDetail(const LoadDetail& detail) {
    if (detail.Empty()) return {};
    std::string bytes;
    for (const std::string* field : {&detail.library, &detail.function, &detail.neededBy}) {
        bytes.append(field->data(), field->size());
        bytes += '\0';
    }
    return bytes.size() <= kMaxDetailBytes ? bytes : std::string();
}

// The inverse of EncodeDetail: exactly three NUL-ended names and nothing after them, else an empty
// detail (so that a confused runner's bytes are never shown as names).
inline LoadDetail DecodeDetail(std::string_view bytes) {
    LoadDetail detail;
    std::string* fields[] = {&detail.library, &detail.function, &detail.neededBy};
    for (std::string* field : fields) {
        const auto end = bytes.find('\0');
        if (end == std::string_view::npos) return {};
        field->assign(bytes.substr(0, end));
        bytes.remove_prefix(end + 1);
    }
    if (!bytes.empty() || detail.library.empty()) return {};
    return detail;
}

}  // namespace runner
