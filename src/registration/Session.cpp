// The session: the header check here, then the request to the runner of the file's bitness, its
// exchange turned into an outcome.
#include "registration/Session.h"

#include "inspect/CaptureKeys.h"
#include "pe/FileBytes.h"
#include "win32/Paths.h"

namespace registration {
namespace {

using modRegister::Outcome;
using modRegister::Result;

constexpr char kRegisterName[] = "DllRegisterServer";
constexpr char kInstallName[] = "DllInstall";

bool AsksInstall(runner::Request kind) {
    return kind == runner::Request::ProbeInstall || kind == runner::Request::Install ||
           kind == runner::Request::Uninstall;
}

Result Make(Outcome outcome, DWORD code = 0, peexports::ExportCheck headers = peexports::ExportCheck::Exported) {
    Result result;
    result.outcome = outcome;
    result.code = code;
    result.headers = headers;
    return result;
}

// Reads the file's headers without running any of it: only the pages they and the export tables lie
// in, through the session's page buffers.
peexports::HeaderCheck CheckHeaders(const std::string& fullPath, pefile::PageCache& pages, DWORD& error,
                                    const char* name) {
    FileBytes file(fullPath);
    error = file.Error();
    if (error != ERROR_SUCCESS) return {};
    if (!file.StartsLikeProgram()) {
        error = file.Error();
        return {};  // not a PE file
    }
    pages.Reset(file);
    const peexports::HeaderCheck headers = peexports::CheckExport(pages, name);
    if (file.Error() != ERROR_SUCCESS) error = file.Error();
    if (pages.Failed()) error = file.Error() != ERROR_SUCCESS ? file.Error() : ERROR_READ_FAULT;
    pages.Detach();
    return headers;
}

// The full path and the header check for the export `name`; Success when the file is for a runner to load.
Result CheckedFile(const std::string& path, pefile::PageCache& pages, std::string& fullPath,
                   const char* name = kRegisterName) {
    DWORD error = ERROR_SUCCESS;
    fullPath = win32::FullPath(path, error);
    if (fullPath.empty()) return Make(Outcome::LoadFailed, error, peexports::ExportCheck::NotPe);
    const peexports::HeaderCheck headers = CheckHeaders(fullPath, pages, error, name);
    Result result = Make(Outcome::Success, 0, headers.check);
    result.machine = headers.machine;
    if (error != ERROR_SUCCESS) {
        result.outcome = Outcome::LoadFailed;
        result.code = error;
    } else if (headers.check != peexports::ExportCheck::Exported) {
        result.outcome = Outcome::NotComponent;
    }
    return result;
}

// The runner's exchange as the outcome of the request.
void Interpret(const runner::Exchange& exchange, Result& result) {
    switch (exchange.status) {
        case runner::Exchange::Status::Unavailable:
            result.outcome = Outcome::RunnerUnavailable;
            result.code = exchange.code;
            result.runnerExit = exchange.runnerExit;
            return;
        case runner::Exchange::Status::ProtocolFault:
            result.outcome = Outcome::ProtocolFault;
            result.code = exchange.code;
            return;
        case runner::Exchange::Status::TimedOut: result.outcome = Outcome::TimedOut; return;
        case runner::Exchange::Status::Stopped: result.outcome = Outcome::Stopped; return;
        case runner::Exchange::Status::Died:
            // The runner's last-chance filter ends it with the exception code, whose severity bits
            // are set; a component that ended the process itself normally chose a small code.
            result.outcome = (exchange.code & 0x80000000u) != 0 && exchange.code != 0xFFFFFFFFu ? Outcome::Crashed
                                                                                                : Outcome::ProcessEnded;
            result.code = exchange.code;
            return;
        case runner::Exchange::Status::Answered: break;
    }
    result.code = exchange.reply.code;
    switch (exchange.reply.answer) {
        case runner::Answer::Success: result.outcome = Outcome::Success; break;
        case runner::Answer::LoadFailed:
            result.outcome = Outcome::LoadFailed;
            result.missingLibrary = exchange.detail.library;
            result.missingFunction = exchange.detail.function;
            result.neededBy = exchange.detail.neededBy;
            break;
        case runner::Answer::EntryMissing: result.outcome = Outcome::EntryMissing; break;
        case runner::Answer::EntryFailed: result.outcome = Outcome::EntryFailed; break;
        case runner::Answer::CaptureFailed: result.outcome = Outcome::CaptureFailed; break;
        case runner::Answer::Made:  // a test answered to the end: each reply tells its item
            result.outcome = Outcome::Success;
            result.code = 0;
            break;
        case runner::Answer::ItemCrashed:
            result.outcome = Outcome::Crashed;
            result.missingLibrary = exchange.detail.library;
            result.missingFunction = exchange.detail.function;
            break;
        default:  // the client lets no other answer through; should one come, it is the runner's fault
            result.outcome = Outcome::ProtocolFault;
            result.code = static_cast<DWORD>(exchange.reply.answer);
            break;
    }
}

// The capture itself: the request with the scratch key named, then what the runner wrote into it.
void CaptureInRunner(runner::RunnerClient& client, const std::string& fullPath, DWORD waitLimitMs,
                     runner::WaitObserver* observer, EscapeWatch& escapes, ScratchSweeper* sweeper, Result& result,
                     capture::Capture& captured) {
    escapes.Before();
    struct PutBack {
        EscapeWatch& escapes;
        ~PutBack() { escapes.After(); }
    } putBack{escapes};
    ScratchKey scratch(sweeper);
    Interpret(client.Send(runner::Request::Capture, runner::CaptureText(fullPath, scratch.Name()), waitLimitMs,
                          observer),
              result);
    // An entry point that failed, crashed or hung may have written half of its registration: that half
    // is read back too, the outcome left as it was.
    if (result.RanAndFailed()) {
        if (scratch.ReadBack(captured.keys) != ERROR_SUCCESS) captured.keys.clear();
        return;
    }
    if (!result.Succeeded()) return;
    const LONG error = scratch.ReadBack(captured.keys);
    if (error != ERROR_SUCCESS) {
        result.outcome = Outcome::CaptureFailed;
        result.code = static_cast<DWORD>(error);
    } else if (captured.Empty()) {
        result.outcome = Outcome::NothingCaptured;
    }
}

}  // namespace

RunnerPrograms RunnerPrograms::InFolder(const std::string& folder) {
    if (folder.empty()) return {"velquist.exe", "velquist64.exe"};
    return {win32::JoinPath(folder, "velquist.exe"), win32::JoinPath(folder, "velquist64.exe")};
}

RunnerPrograms RunnerPrograms::BesideProgram() { return InFolder(win32::ProgramFolder()); }

Session::Session(const RunnerPrograms& programs)
    : programs_(programs),
      i386_(peexports::kMachineI386, programs.i386),
      amd64_(peexports::kMachineAmd64, programs.amd64),
      ownEscapes_(std::make_unique<EscapeWatch>()),
      escapes_(ownEscapes_.get()) {}

Session::Session(const RunnerPrograms& programs, EscapeWatch& shared)
    : programs_(programs),
      i386_(peexports::kMachineI386, programs.i386),
      amd64_(peexports::kMachineAmd64, programs.amd64),
      escapes_(&shared) {}

Session* Session::Partner() noexcept {
    try {
        if (!partner_) partner_.reset(new Session(programs_, *escapes_));
    } catch (...) {  // out of memory: no second lane
        return nullptr;
    }
    partner_->perUser_ = perUser_;
    return partner_.get();
}

std::uint16_t ComponentMachine(const std::string& path, pefile::PageCache& pages) {
    std::string fullPath;
    const Result result = CheckedFile(path, pages, fullPath);
    return result.Succeeded() ? result.machine : 0;
}

runner::RunnerClient* Session::For(std::uint16_t machine) noexcept {
    if (machine == peexports::kMachineI386) return &i386_;
    if (machine == peexports::kMachineAmd64) return &amd64_;
    return nullptr;
}

Result Session::Ask(runner::Request kind, const std::string& path, DWORD waitLimitMs, capture::Capture* captured,
                    std::uint32_t flags, const InstallCall* install) {
    try {
        std::string fullPath;
        Result result = CheckedFile(path, pages_, fullPath, AsksInstall(kind) ? kInstallName : kRegisterName);
        result.perUser = captured == nullptr && perUser_;
        result.capture = captured != nullptr;
        result.install = AsksInstall(kind);
        // A component that cannot be installed is told apart from a file that is none.
        if (kind == runner::Request::ProbeInstall && result.headers == peexports::ExportCheck::NameAbsent &&
            HeadersExport(path, kRegisterName)) {
            result.outcome = Outcome::EntryMissing;
            result.headers = peexports::ExportCheck::Exported;
            return result;
        }
        if (!result.Succeeded()) return result;
        runner::RunnerClient* client = For(result.machine);
        if (client == nullptr) {  // a component for a processor we have no runner for (ARM64, say)
            result.outcome = Outcome::RunnerUnavailable;
            result.code = ERROR_BAD_EXE_FORMAT;
            return result;
        }
        if (captured != nullptr) {
            *captured = capture::Capture{fullPath, result.machine, {}};
            CaptureInRunner(*client, fullPath, waitLimitMs, observer_, *escapes_, sweeper_, result, *captured);
            return result;
        }
        if (perUser_) flags |= runner::kPerUserFlag;
        const std::string text =
            install != nullptr ? runner::InstallText(fullPath, install->hasCommandLine, install->commandLine) : fullPath;
        Interpret(client->Send(kind, text, waitLimitMs, observer_, flags), result);
        return result;
    } catch (...) {  // only allocation can throw here; nothing crosses the interface
        Result result = Make(Outcome::LoadFailed, ERROR_NOT_ENOUGH_MEMORY);
        result.perUser = perUser_;
        return result;
    }
}

Result Session::Test(const std::string& path, const std::vector<runner::TestItem>& items,
                     std::vector<runner::TestReply>& replies, DWORD waitLimitMs) {
    replies.clear();
    try {
        std::string fullPath;
        Result result = CheckedFile(path, pages_, fullPath);
        if (!result.Succeeded() || items.empty()) return result;
        runner::RunnerClient* client = For(result.machine);
        if (client == nullptr) {
            result.outcome = Outcome::RunnerUnavailable;
            result.code = ERROR_BAD_EXE_FORMAT;
            return result;
        }
        Interpret(client->SendTest(runner::TestText(fullPath, items), items.size(), waitLimitMs, observer_, replies),
                  result);
        return result;
    } catch (...) {  // only allocation can throw here
        return Make(Outcome::LoadFailed, ERROR_NOT_ENOUGH_MEMORY);
    }
}

bool Session::HeadersSayComponent(const std::string& path) { return HeadersExport(path, kRegisterName); }

bool Session::HeadersExport(const std::string& path, const char* name) {
    std::string fullPath;
    return CheckedFile(path, pages_, fullPath, name).Succeeded();
}

Result Session::Capture(const std::string& path, capture::Capture& captured, DWORD waitLimitMs) {
    return Ask(runner::Request::Capture, path, waitLimitMs, &captured);
}

Result Session::Probe(const std::string& path, DWORD waitLimitMs) {
    return Ask(runner::Request::Probe, path, waitLimitMs);
}

Result Session::Call(const std::string& path, bool registerFlag, DWORD waitLimitMs, bool keepLoaded) {
    return Ask(registerFlag ? runner::Request::Register : runner::Request::Unregister, path, waitLimitMs, nullptr,
               keepLoaded ? runner::kKeepLoadedFlag : 0);
}

Result Session::ProbeInstall(const std::string& path, DWORD waitLimitMs) {
    return Ask(runner::Request::ProbeInstall, path, waitLimitMs);
}

Result Session::Install(const std::string& path, bool install, const InstallCall& call, bool keepLoaded,
                        DWORD waitLimitMs) {
    return Ask(install ? runner::Request::Install : runner::Request::Uninstall, path, waitLimitMs, nullptr,
               keepLoaded ? runner::kKeepLoadedFlag : 0, &call);
}

DWORD Session::RunnerProcessId(std::uint16_t machine) const noexcept {
    if (machine == peexports::kMachineI386) return i386_.ProcessId();
    if (machine == peexports::kMachineAmd64) return amd64_.ProcessId();
    return 0;
}

void Session::EndRunners() noexcept {
    i386_.End();
    amd64_.End();
    if (partner_) partner_->EndRunners();
}

}  // namespace registration
