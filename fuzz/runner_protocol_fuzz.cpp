// Fuzzes the check of a runner's records and the detail decoder: nothing malformed is ever taken.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "runner/RunnerProtocol.h"

namespace {

// The input: a reply record, the request it answers, the machine expected of Ready, then detail bytes.
constexpr std::size_t kHead = sizeof(runner::Reply) + sizeof(std::uint32_t) + sizeof(std::uint16_t);

void Require(bool holds) {
    if (!holds) std::abort();
}

void CheckReplyInvariants(const runner::Reply& reply, runner::Request asked) {
    using runner::Answer;
    const runner::ReplyFault fault = runner::CheckReply(reply, asked);
    if (reply.magic != runner::kMagic) Require(fault == runner::ReplyFault::BadMagic);
    if (fault != runner::ReplyFault::None) return;
    Require(reply.detailBytes <= runner::kMaxDetailBytes);
    if (asked == runner::Request::Test) {
        // One item's result: any HRESULT made or loaded, or the exception that ended it (always an error code)
        Require(reply.answer == Answer::Made ||
                (reply.answer == Answer::ItemCrashed && (reply.code & 0x80000000u) != 0));
        return;
    }
    Require(reply.answer != Answer::Made && reply.answer != Answer::ItemCrashed);
    if (asked == runner::Request::ProbeTypeLib || asked == runner::Request::RegisterTypeLib ||
        asked == runner::Request::UnregisterTypeLib || asked == runner::Request::CaptureTypeLib) {
        // A type library's request: done (only its probe carries its facts), failed with an error
        // HRESULT, or a capture whose redirection failed.
        switch (reply.answer) {
            case Answer::Success:
                Require(reply.code == 0 && (reply.detailBytes == 0 || asked == runner::Request::ProbeTypeLib));
                break;
            case Answer::EntryFailed: Require((reply.code & 0x80000000u) != 0 && reply.detailBytes == 0); break;
            case Answer::CaptureFailed:
                Require(asked == runner::Request::CaptureTypeLib && reply.code != 0 && reply.detailBytes == 0);
                break;
            default: Require(false);
        }
        return;
    }
    const bool capture = asked == runner::Request::Capture;
    const bool call = asked == runner::Request::Register || asked == runner::Request::Unregister || capture ||
                      asked == runner::Request::Install || asked == runner::Request::Uninstall;
    Require(call || asked == runner::Request::Probe || asked == runner::Request::ProbeInstall);
    switch (reply.answer) {
        case Answer::Success:
        case Answer::EntryMissing: Require(reply.code == 0 && reply.detailBytes == 0); break;
        case Answer::LoadFailed: Require(reply.code != 0); break;
        case Answer::EntryFailed: Require(call && (reply.code & 0x80000000u) != 0 && reply.detailBytes == 0); break;
        case Answer::CaptureFailed: Require(capture && reply.code != 0 && reply.detailBytes == 0); break;
        default: Require(false);  // Ready, BadRequest and unknown answers never pass
    }
}

void CheckReadyInvariants(const runner::Reply& ready, std::uint16_t machine) {
    if (runner::CheckReady(ready, machine) != runner::ReplyFault::None) return;
    Require(ready.magic == runner::kMagic && ready.answer == runner::Answer::Ready && ready.code == machine &&
            ready.detailBytes == 0);
}

// Names come back only from exactly three NUL-ended names, the first not empty, within the bound; and
// then they encode back to the very same bytes.
void CheckDetailInvariants(std::string_view bytes) {
    const runner::LoadDetail detail = runner::DecodeDetail(bytes);
    const bool wellFormed = bytes.size() <= runner::kMaxDetailBytes && !bytes.empty() && bytes.front() != '\0' &&
                            bytes.back() == '\0' && std::count(bytes.begin(), bytes.end(), '\0') == 3;
    Require(detail.Empty() != wellFormed);
    if (wellFormed) {
        Require(runner::EncodeDetail(detail) == bytes);
    } else {
        Require(detail.function.empty() && detail.neededBy.empty());
    }
}

// A capture's text splits only into a non-empty path and key, and joins back to the same bytes.
void CheckCaptureTextInvariants(std::string_view text) {
    std::string path, key;
    if (!runner::SplitCaptureText(text, path, key)) return;
    Require(!path.empty() && !key.empty());
    Require(path.find('\0') == std::string::npos && key.find('\0') == std::string::npos);
    Require(runner::CaptureText(path, key) == text);
}

// DllInstall's text splits only into a non-empty path and a command line without NULs, and joins back
// to the same bytes.
void CheckInstallTextInvariants(std::string_view text) {
    std::string path, commandLine;
    bool hasCommandLine = false;
    if (!runner::SplitInstallText(text, path, hasCommandLine, commandLine)) return;
    Require(!path.empty() && path.find('\0') == std::string::npos && commandLine.find('\0') == std::string::npos);
    Require(hasCommandLine || commandLine.empty());
    Require(runner::InstallText(path, hasCommandLine, commandLine) == text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kHead) return 0;
    runner::Reply reply;
    std::uint32_t asked = 0;
    std::uint16_t machine = 0;
    std::memcpy(&reply, data, sizeof reply);
    std::memcpy(&asked, data + sizeof reply, sizeof asked);
    std::memcpy(&machine, data + sizeof reply + sizeof asked, sizeof machine);
    CheckReplyInvariants(reply, static_cast<runner::Request>(asked));
    CheckReadyInvariants(reply, machine);
    const std::string_view rest(reinterpret_cast<const char*>(data) + kHead, size - kHead);
    CheckDetailInvariants(rest);
    CheckCaptureTextInvariants(rest);
    CheckInstallTextInvariants(rest);
    return 0;
}
