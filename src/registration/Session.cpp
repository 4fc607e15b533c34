// The session: the header check here, then the request to the runner of the file's bitness, its
// exchange turned into an outcome.
#include "registration/Session.h"

#include "registration/SessionExchange.h"

#include "inspect/CaptureKeys.h"
#include "pe/FileBytes.h"
#include "pe/LoadDiagnosis.h"
#include "win32/Paths.h"

namespace registration {
namespace {

using namespace exchange;

using modRegister::Outcome;
using modRegister::Result;

constexpr char kInstallName[] = "DllInstall";

bool AsksInstall(runner::Request kind) {
    return kind == runner::Request::ProbeInstall || kind == runner::Request::Install ||
           kind == runner::Request::Uninstall;
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

std::string TypeLibraryResourceFile(const std::string& path) {
    const auto cut = path.find_last_not_of("0123456789");
    if (cut == std::string::npos || cut + 1 == path.size() || (path[cut] != '\\' && path[cut] != '/')) return {};
    std::string file = path.substr(0, cut);
    return win32::IsOrdinaryFile(file) ? file : std::string();
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
            CaptureInRunner(runner::Request::Capture, *client, fullPath, waitLimitMs, observer_, *escapes_, sweeper_,
                            result, *captured);
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
                     std::vector<runner::TestReply>& replies, DWORD waitLimitMs, std::uint16_t machine) {
    replies.clear();
    try {
        std::string fullPath;
        Result result = CheckedFile(path, pages_, fullPath);
        if (machine != 0 && !result.Succeeded()) {  // a type library: the runner of its system kind
            DWORD error = ERROR_SUCCESS;
            fullPath = win32::FullPath(path, error);
            result = Make(fullPath.empty() ? Outcome::LoadFailed : Outcome::Success, error, result.headers);
            result.machine = machine;
            result.typeLibrary = true;
        }
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

Result Session::AskTypeLibrary(runner::Request kind, const std::string& path, std::uint16_t machine, DWORD waitLimitMs,
                              runner::TypeLibraryFacts* facts, capture::Capture* captured) {
    try {
        DWORD error = ERROR_SUCCESS;
        const std::string fullPath = win32::FullPath(path, error);
        Result result = Make(Outcome::Success, 0, peexports::ExportCheck::NotPe);
        result.typeLibrary = true;
        result.capture = captured != nullptr;
        result.perUser =
            perUser_ && (kind == runner::Request::RegisterTypeLib || kind == runner::Request::UnregisterTypeLib);
        result.machine = machine;
        if (fullPath.empty()) {
            result.outcome = Outcome::LoadFailed;
            result.code = error;
            return result;
        }
        runner::RunnerClient* client = For(machine);
        if (client == nullptr) {  // a library of a system kind we have no runner for
            result.outcome = Outcome::RunnerUnavailable;
            result.code = ERROR_BAD_EXE_FORMAT;
            return result;
        }
        if (captured != nullptr) {
            *captured = capture::Capture{fullPath, machine, {}};
            CaptureInRunner(runner::Request::CaptureTypeLib, *client, fullPath, waitLimitMs, observer_, *escapes_,
                            sweeper_, result, *captured);
            return result;
        }
        const runner::Exchange exchange =
            client->Send(kind, fullPath, waitLimitMs, observer_, result.perUser ? runner::kPerUserFlag : 0);
        Interpret(exchange, result);
        if (facts != nullptr && result.Succeeded() && !runner::DecodeFacts(exchange.detailBytes, *facts)) {
            result.outcome = Outcome::ProtocolFault;  // facts no runner of ours sends
            result.code = static_cast<DWORD>(exchange.reply.answer);
        }
        return result;
    } catch (...) {  // only allocation can throw here
        return Make(Outcome::LoadFailed, ERROR_NOT_ENOUGH_MEMORY);
    }
}

Result Session::ProbeTypeLibrary(const std::string& path, runner::TypeLibraryFacts& facts, DWORD waitLimitMs) {
    // A program file is read by the runner of its bitness, anything else by this program's own.
    std::string fullPath;
    const std::string file = TypeLibraryResourceFile(path);
    const Result headers = CheckedFile(file.empty() ? path : file, pages_, fullPath);
    // Only a program file has numbered resources (the system's loader would take "x.tlb\\3" for x.tlb);
    // any other file goes to a runner only when it starts as a type library file does.
    if (headers.headers == peexports::ExportCheck::NotPe &&
        (!file.empty() || !FileBytes(fullPath).StartsLikeTypeLibrary())) {
        Result none =
            Make(Outcome::EntryFailed, static_cast<DWORD>(TYPE_E_CANTLOADLIBRARY), peexports::ExportCheck::NotPe);
        none.typeLibrary = true;
        return none;
    }
    const std::uint16_t machine = headers.headers != peexports::ExportCheck::NotPe && For(headers.machine) != nullptr
                                      ? headers.machine
                                      : runner::kOwnMachine;
    return AskTypeLibrary(runner::Request::ProbeTypeLib, path, machine, waitLimitMs, &facts, nullptr);
}

Result Session::CallTypeLibrary(const std::string& path, bool registerFlag, const runner::TypeLibraryFacts& facts,
                                DWORD waitLimitMs) {
    return AskTypeLibrary(registerFlag ? runner::Request::RegisterTypeLib : runner::Request::UnregisterTypeLib, path,
                          runner::MachineOf(facts.syskind), waitLimitMs, nullptr, nullptr);
}

Result Session::CaptureTypeLibrary(const std::string& path, const runner::TypeLibraryFacts& facts,
                                   capture::Capture& captured, DWORD waitLimitMs) {
    return AskTypeLibrary(runner::Request::CaptureTypeLib, path, runner::MachineOf(facts.syskind), waitLimitMs, nullptr,
                          &captured);
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
