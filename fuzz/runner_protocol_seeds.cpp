// Writes the runner protocol fuzzer's seed corpus: each reply the runner gives, with and without a detail.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "SeedCorpus.h"
#include "runner/RunnerProtocol.h"

namespace {

std::vector<unsigned char> Seed(runner::Answer answer, std::uint32_t code, runner::Request asked,
                                const std::string& detail = {}) {
    runner::Reply reply;
    reply.answer = answer;
    reply.code = code;
    reply.detailBytes = static_cast<std::uint32_t>(detail.size());
    const auto kind = static_cast<std::uint32_t>(asked);
    const std::uint16_t machine = 0x014C;
    std::vector<unsigned char> bytes(sizeof reply + sizeof kind + sizeof machine);
    std::memcpy(bytes.data(), &reply, sizeof reply);
    std::memcpy(bytes.data() + sizeof reply, &kind, sizeof kind);
    std::memcpy(bytes.data() + sizeof reply + sizeof kind, &machine, sizeof machine);
    bytes.insert(bytes.end(), detail.begin(), detail.end());
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    SeedCorpus corpus;
    if (!corpus.Open(argc, argv)) return 2;
    using runner::Answer;
    using runner::Request;
    const std::string detail = runner::EncodeDetail({"msvcr71.dll", "#12", "component.ocx"});
    // A type library's facts as its probe's reply carries them: name, LIBID, version, locale, kind, interfaces.
    std::string facts;
    for (const char* field : {"Grid", "{48BC6534-B85D-44DC-81BF-FAD077FBA850}", "1", "0", "0", "1", "5"}) {
        facts.append(field).push_back('\0');
    }
    const bool ok = corpus.Write("ready", Seed(Answer::Ready, 0x014C, Request::Probe)) &&
                    corpus.Write("success", Seed(Answer::Success, 0, Request::Probe)) &&
                    corpus.Write("missing", Seed(Answer::EntryMissing, 0, Request::Unregister)) &&
                    corpus.Write("failed", Seed(Answer::EntryFailed, 0x80040201, Request::Register)) &&
                    corpus.Write("load", Seed(Answer::LoadFailed, 126, Request::Probe, detail)) &&
                    corpus.Write("refused", Seed(Answer::BadRequest, 0, Request::Register)) &&
                    corpus.Write("capture", Seed(Answer::CaptureFailed, 5, Request::Capture,
                                                 runner::CaptureText("C:\\a.dll", "Software\\scratch"))) &&
                    corpus.Write("made", Seed(Answer::Made, 0x80040154, Request::Test, detail)) &&
                    corpus.Write("crashed", Seed(Answer::ItemCrashed, 0xC0000005, Request::Test)) &&
                    corpus.Write("install", Seed(Answer::EntryFailed, 0x80004005, Request::Uninstall,
                                                 runner::InstallText("C:\\a.dll", true, "user"))) &&
                    corpus.Write("typelib", Seed(Answer::Success, 0, Request::ProbeTypeLib,
                                                 facts));
    return ok ? 0 : 1;
}
