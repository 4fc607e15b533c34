// The messages between the program and a runner: fixed little records over one duplex pipe, a
// reply followed by the few names that explain a failed load.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "pe/LoadDetail.h"

namespace runner {

// The private argument that makes the program a runner: velquist.exe <kRunnerSwitch> PIPE PARENT,
// where PIPE and PARENT are the decimal values of handles the runner inherits.
constexpr char kRunnerSwitch[] = "/velquist-runner";

constexpr std::uint32_t kMagic = 0x56515252;  // "RRQV"

enum class Request : std::uint32_t {
    Probe = 1,       // load the file and look up "DllRegisterServer"; the library stays loaded for a call
    Register = 2,    // DllRegisterServer
    Unregister = 3,  // DllUnregisterServer
    Capture = 4,     // DllRegisterServer with the predefined keys redirected into a scratch key; the request's
                     // text is the file's path, a NUL, and the scratch key's name under HKEY_CURRENT_USER
    Test = 5,        // make the component's classes and load its type libraries as a client would: the text is
                     // the file's path, a NUL and the items (TestItems.h); one reply per item, in their order
    ProbeInstall = 6,  // as Probe, looking up "DllInstall"
    Install = 7,       // DllInstall(TRUE, ...): the text as InstallText makes it
    Uninstall = 8,     // DllInstall(FALSE, ...)
    // A type library file (or a program file's TYPELIB resource, "FILE\\N"): its facts read, answered
    // Success with them as the detail (EncodeFacts), or EntryFailed with the HRESULT of its load.
    ProbeTypeLib = 9,
    RegisterTypeLib = 10,    // RegisterTypeLib (per user: RegisterTypeLibForUser); Success or EntryFailed
    UnregisterTypeLib = 11,  // UnRegisterTypeLib by the library's own LIBID, version, locale and system kind
    CaptureTypeLib = 12,     // RegisterTypeLib with the predefined keys redirected, as Capture; the same text
};

enum class Answer : std::uint32_t {
    Ready = 1,         // sent once at start-up; code: the runner's machine
    Success = 2,
    LoadFailed = 3,    // code: the system error of the load; a LoadDetail may follow
    EntryMissing = 4,
    EntryFailed = 5,   // code: the HRESULT
    BadRequest = 6,    // the request could not be read
    CaptureFailed = 7, // code: the system error that kept the predefined keys from being redirected
    Made = 8,          // Test: one item tried; code: its HRESULT (S_OK: made or loaded); a LoadDetail may follow
                       // (a library that a delay-load did not find meanwhile)
    ItemCrashed = 9,   // Test: an exception nobody handled ended the item; code: the exception; a LoadDetail may
                       // follow; the runner then ends
};

// Bits of RequestHeader::flags; a runner refuses a request with any other bit set.
constexpr std::uint32_t kPerUserFlag = 0x1;  // HKEY_CLASSES_ROOT is HKEY_CURRENT_USER\Software\Classes for the file
// A call after which another call on the same file follows (DllRegisterServer, then DllInstall): the
// library stays loaded for it, as one load serves both calls under the system's registration tool.
constexpr std::uint32_t kKeepLoadedFlag = 0x2;
constexpr std::uint32_t kKnownFlags = kPerUserFlag | kKeepLoadedFlag;

// A request is this header followed by pathBytes bytes of the file's full path (no terminator), for a
// capture followed by a NUL and the scratch key's name.
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

// The longest path a request may carry (with a capture's scratch key name).
constexpr std::uint32_t kMaxPathBytes = 32768 * 3;

// Where a capture puts what the component writes: subkeys of the scratch key, one per predefined key
// redirected there. The machine's one holds an empty "Software\Classes" from the start.
constexpr char kScratchClasses[] = "Classes";  // HKEY_CLASSES_ROOT
constexpr char kScratchMachine[] = "Machine";  // HKEY_LOCAL_MACHINE
constexpr char kScratchUsers[] = "Users";      // HKEY_USERS
constexpr char kScratchUser[] = "User";        // HKEY_CURRENT_USER

// A capture's request text: the path, a NUL, the scratch key.
inline std::string CaptureText(const std::string& path, const std::string& scratchKey) {
    return path + '\0' + scratchKey;
}

// The inverse of CaptureText: false when the text is not a path and a key, both non-empty.
inline bool SplitCaptureText(std::string_view text, std::string& path, std::string& scratchKey) {
    const auto split = text.find('\0');
    if (split == std::string_view::npos || split == 0 || split + 1 == text.size()) return false;
    if (text.find('\0', split + 1) != std::string_view::npos) return false;
    path.assign(text.substr(0, split));
    scratchKey.assign(text.substr(split + 1));
    return true;
}
// DllInstall's request text: the path alone for a NULL command line, else the path, a NUL and the
// command line (which may be empty), in the program's code page.
inline std::string InstallText(const std::string& path, bool hasCommandLine, const std::string& commandLine) {
    return hasCommandLine ? path + '\0' + commandLine : path;
}

// The inverse of InstallText: false when the path is empty or the command line holds a NUL.
inline bool SplitInstallText(std::string_view text, std::string& path, bool& hasCommandLine, std::string& commandLine) {
    const auto split = text.find('\0');
    hasCommandLine = split != std::string_view::npos;
    path.assign(text.substr(0, split));
    commandLine.assign(hasCommandLine ? text.substr(split + 1) : std::string_view());
    return !path.empty() && commandLine.find('\0') == std::string::npos;
}

// The most detail a reply may carry: three names of at most a file name's length in UTF-8 (the program
// takes a larger count for a broken runner).
constexpr std::uint32_t kMaxDetailBytes = 4096;

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

// The inverse of EncodeDetail: exactly three NUL-ended names and nothing after them, within
// kMaxDetailBytes, else an empty detail (so that a confused runner's bytes are never shown as names).
inline LoadDetail DecodeDetail(std::string_view bytes) {
    if (bytes.size() > kMaxDetailBytes) return {};
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

// What is wrong with a record from a runner; None when it is what was asked for.
enum class ReplyFault {
    None,
    BadMagic,        // not a record of ours: the stream is out of step or written by something else
    WrongAnswer,     // an answer that cannot come for the request (unknown, Ready, EntryFailed to a probe)
    Refused,         // BadRequest: the runner could not read what we sent
    WrongCode,       // a code that does not fit the answer (a successful HRESULT with EntryFailed, say)
    WrongMachine,    // Ready from a runner of another machine
    BadDetailSize,   // detail bytes with an answer that has none, or more than kMaxDetailBytes
};

// Checks a reply against the request it answers: the answer one the runner gives for that request, its
// code of the answer's kind, detail bytes only with LoadFailed (and a test's answers) and within
// kMaxDetailBytes.
constexpr ReplyFault CheckReply(const Reply& reply, Request asked) {
    if (reply.magic != kMagic) return ReplyFault::BadMagic;
    if (asked == Request::Test) {
        switch (reply.answer) {
            case Answer::Made: break;  // any HRESULT
            case Answer::ItemCrashed:
                if ((reply.code & 0x80000000u) == 0) return ReplyFault::WrongCode;  // exception codes are errors
                break;
            case Answer::BadRequest: return ReplyFault::Refused;
            default: return ReplyFault::WrongAnswer;
        }
        return reply.detailBytes > kMaxDetailBytes ? ReplyFault::BadDetailSize : ReplyFault::None;
    }
    if (asked == Request::ProbeTypeLib || asked == Request::RegisterTypeLib || asked == Request::UnregisterTypeLib ||
        asked == Request::CaptureTypeLib) {
        switch (reply.answer) {
            case Answer::Success:
                if (reply.code != 0) return ReplyFault::WrongCode;
                if (reply.detailBytes != 0 && asked != Request::ProbeTypeLib) return ReplyFault::BadDetailSize;
                break;
            case Answer::EntryFailed:
                if ((reply.code & 0x80000000u) == 0) return ReplyFault::WrongCode;
                if (reply.detailBytes != 0) return ReplyFault::BadDetailSize;
                break;
            case Answer::CaptureFailed:
                if (asked != Request::CaptureTypeLib) return ReplyFault::WrongAnswer;
                if (reply.code == 0) return ReplyFault::WrongCode;
                if (reply.detailBytes != 0) return ReplyFault::BadDetailSize;
                break;
            case Answer::BadRequest: return ReplyFault::Refused;
            default: return ReplyFault::WrongAnswer;
        }
        return reply.detailBytes > kMaxDetailBytes ? ReplyFault::BadDetailSize : ReplyFault::None;
    }
    const bool call = asked == Request::Register || asked == Request::Unregister || asked == Request::Capture ||
                      asked == Request::Install || asked == Request::Uninstall;
    if (!call && asked != Request::Probe && asked != Request::ProbeInstall) {
        return ReplyFault::WrongAnswer;  // we never ask anything else
    }
    switch (reply.answer) {
        case Answer::Success:
        case Answer::EntryMissing:
            if (reply.code != 0) return ReplyFault::WrongCode;
            break;
        case Answer::LoadFailed:
            if (reply.code == 0) return ReplyFault::WrongCode;
            break;
        case Answer::CaptureFailed:
            if (asked != Request::Capture) return ReplyFault::WrongAnswer;
            if (reply.code == 0) return ReplyFault::WrongCode;
            break;
        case Answer::EntryFailed:
            if (!call) return ReplyFault::WrongAnswer;
            if ((reply.code & 0x80000000u) == 0) return ReplyFault::WrongCode;
            break;
        case Answer::BadRequest: return ReplyFault::Refused;
        default: return ReplyFault::WrongAnswer;
    }
    const bool mayHaveDetail = reply.answer == Answer::LoadFailed;
    if ((!mayHaveDetail && reply.detailBytes != 0) || reply.detailBytes > kMaxDetailBytes) {
        return ReplyFault::BadDetailSize;
    }
    return ReplyFault::None;
}

// Checks the record a runner sends as it starts: Ready, for the machine expected, with no detail.
constexpr ReplyFault CheckReady(const Reply& ready, std::uint16_t machine) {
    if (ready.magic != kMagic) return ReplyFault::BadMagic;
    if (ready.answer != Answer::Ready) return ReplyFault::WrongAnswer;
    if (ready.code != machine) return ReplyFault::WrongMachine;
    if (ready.detailBytes != 0) return ReplyFault::BadDetailSize;
    return ReplyFault::None;
}

// The runner's own exit codes, for what ends it before or outside a component's code. A component
// that ends the process chooses its own code, which may be any of these too.
enum class RunnerExit : std::uint32_t {
    Served = 0,        // the program closed the pipe
    BadArguments = 2,  // the command line named no pipe and parent
    ReadyNotSent = 3,  // Ready could not be written
    BadRequest = 4,    // a request could not be read (answered BadRequest first)
    Fault = 5,         // an exception of the runner's own ended its service
    Stale = 6,         // the load of a file gave a module of its name that an earlier file's load had
                       // brought in from elsewhere: the request is for a fresh runner
};

// Why the runner ended with this code of its own, for users; "" for a code it never gives itself.
constexpr const char* RunnerExitText(std::uint32_t code) {
    switch (static_cast<RunnerExit>(code)) {
        case RunnerExit::Served: return "";
        case RunnerExit::BadArguments: return "it was not given a pipe to serve";
        case RunnerExit::ReadyNotSent: return "it could not tell the program it was ready";
        case RunnerExit::BadRequest: return "it was sent a request it could not read";
        case RunnerExit::Fault: return "an error of its own stopped it";
        case RunnerExit::Stale: return "another file of the same name was already loaded in it";
    }
    return "";
}

}  // namespace runner
