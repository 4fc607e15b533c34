// modRegister: the header check here, the probe load and the time-limited call in a runner.
#include "registration/modRegister.h"

#include <cstdio>

#include "registration/MappedFile.h"
#include "registration/RunnerClient.h"

namespace modRegister {
namespace {

constexpr char kRegisterName[] = "DllRegisterServer";

Result Make(Outcome outcome, DWORD code = 0, peexports::ExportCheck headers = peexports::ExportCheck::Exported) {
    Result result;
    result.outcome = outcome;
    result.code = code;
    result.headers = headers;
    return result;
}

// The full path, or "" (with the system error) when there is none.
std::string FullPath(const std::string& path, DWORD& error) {
    error = ERROR_SUCCESS;
    if (path.empty()) {
        error = ERROR_INVALID_NAME;
        return {};
    }
    std::string full(MAX_PATH, '\0');
    for (;;) {
        const DWORD length = ::GetFullPathNameA(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0) {
            error = ::GetLastError();
            return {};
        }
        if (length < full.size()) {
            full.resize(length);
            return full;
        }
        full.resize(length);
    }
}

// Reads the file's headers without running any of it.
peexports::HeaderCheck CheckHeaders(const std::string& fullPath, DWORD& error) {
    const registration::MappedFile file(fullPath);
    error = file.Error();
    if (file.TooLarge()) return {peexports::ExportCheck::Malformed, 0};
    return peexports::CheckExport(file.Data(), file.Size(), kRegisterName);
}

// The runners, one per bitness, started at first need and kept for the program's life.
struct Runners {
    runner::RunnerClient i386{peexports::kMachineI386, "velquist.exe"};
    runner::RunnerClient amd64{peexports::kMachineAmd64, "velquist64.exe"};
    runner::RunnerClient* For(std::uint16_t machine) {
        if (machine == peexports::kMachineI386) return &i386;
        if (machine == peexports::kMachineAmd64) return &amd64;
        return nullptr;
    }
};

Runners& TheRunners() {
    static Runners runners;
    return runners;
}

// The full path and the header check; Success when the file is for a runner to load.
Result CheckedFile(const std::string& path, std::string& fullPath) {
    DWORD error = ERROR_SUCCESS;
    fullPath = FullPath(path, error);
    if (fullPath.empty()) return Make(Outcome::LoadFailed, error, peexports::ExportCheck::NotPe);
    const peexports::HeaderCheck headers = CheckHeaders(fullPath, error);
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

bool g_perUser = false;  // set between runs, on the thread that runs them

// One request to the runner of the file's bitness, its exchange turned into an outcome.
Result Ask(runner::Request kind, const std::string& path, DWORD waitLimitMs, bool perUser) {
    std::string fullPath;
    Result result = CheckedFile(path, fullPath);
    result.perUser = perUser;
    if (!result.Succeeded()) return result;
    runner::RunnerClient* client = TheRunners().For(result.machine);
    if (client == nullptr) {  // a component for a processor we have no runner for (ARM64, say)
        result.outcome = Outcome::RunnerUnavailable;
        result.code = ERROR_BAD_EXE_FORMAT;
        return result;
    }
    const runner::Exchange exchange =
        client->Send(kind, fullPath, waitLimitMs, CurrentWaitObserver(), perUser ? runner::kPerUserFlag : 0);
    switch (exchange.status) {
        case runner::Exchange::Status::Unavailable:
            result.outcome = Outcome::RunnerUnavailable;
            result.code = exchange.code;
            return result;
        case runner::Exchange::Status::TimedOut:
            result.outcome = Outcome::TimedOut;
            return result;
        case runner::Exchange::Status::Stopped:
            result.outcome = Outcome::Stopped;
            return result;
        case runner::Exchange::Status::Died:
            // The runner's last-chance filter ends it with the exception code, whose severity bits
            // are set; a component that ended the process itself normally chose a small code.
            result.outcome = (exchange.code & 0x80000000u) != 0 && exchange.code != 0xFFFFFFFFu ? Outcome::Crashed
                                                                                                : Outcome::ProcessEnded;
            result.code = exchange.code;
            return result;
        case runner::Exchange::Status::Answered:
            break;
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
        default:
            result.outcome = Outcome::RunnerUnavailable;
            result.code = ERROR_INVALID_DATA;
            break;
    }
    return result;
}

std::string Hex(DWORD value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(value));
    return text;
}

}  // namespace

Result ProbeComponent(const std::string& path, DWORD waitLimitMs) {
    const bool perUser = g_perUser;
    try {
        return Ask(runner::Request::Probe, path, waitLimitMs, perUser);
    } catch (...) {  // only allocation can throw here; nothing crosses the interface
        Result result = Make(Outcome::LoadFailed, ERROR_NOT_ENOUGH_MEMORY);
        result.perUser = perUser;
        return result;
    }
}

Result CallServerEntry(const std::string& path, bool registerFlag, DWORD waitLimitMs) {
    const bool perUser = g_perUser;
    try {
        return Ask(registerFlag ? runner::Request::Register : runner::Request::Unregister, path, waitLimitMs, perUser);
    } catch (...) {
        Result result = Make(Outcome::LoadFailed, ERROR_NOT_ENOUGH_MEMORY);
        result.perUser = perUser;
        return result;
    }
}

bool IsDLLActiveX(const std::string& path) { return ProbeComponent(path).Succeeded(); }

bool RunServerEntry(const std::string& path, bool registerFlag, DWORD waitLimitMs) {
    return CallServerEntry(path, registerFlag, waitLimitMs).Succeeded();
}

void UsePerUserRegistration(bool perUser) { g_perUser = perUser; }

bool PerUserRegistration() { return g_perUser; }

void UseRunnerFolder(const std::string& folder) {
    TheRunners().i386.SetFolder(folder);
    TheRunners().amd64.SetFolder(folder);
}

DWORD RunnerProcessId(std::uint16_t machine) {
    runner::RunnerClient* client = TheRunners().For(machine);
    return client == nullptr ? 0 : client->ProcessId();
}

namespace {
WaitObserver* g_waitObserver = nullptr;  // the UI thread's; runs happen on that thread only
}  // namespace

void SetWaitObserver(WaitObserver* observer) { g_waitObserver = observer; }

WaitObserver* CurrentWaitObserver() { return g_waitObserver; }

void EndRunners() {
    TheRunners().i386.End();
    TheRunners().amd64.End();
}

std::string Describe(const Result& result) {
    switch (result.outcome) {
        case Outcome::Success: return "succeeded";
        case Outcome::NotComponent: return std::string("not an ActiveX component: ") + peexports::Describe(result.headers);
        case Outcome::LoadFailed: {
            std::string text = "could not be loaded (error " + std::to_string(result.code) + ")";
            if (!result.missingFunction.empty()) {
                text += ": " + result.neededBy + " needs " + result.missingFunction + " from " + result.missingLibrary;
            } else if (!result.missingLibrary.empty()) {
                text += ": " + result.neededBy + " needs " + result.missingLibrary;
            }
            return text;
        }
        case Outcome::EntryMissing: return "has no such entry point";
        case Outcome::RunnerUnavailable: return "no runner for its bitness (error " + std::to_string(result.code) + ")";
        case Outcome::EntryFailed: return "the entry point failed (" + Hex(result.code) + ")";
        case Outcome::TimedOut: return "timed out";
        case Outcome::Crashed: return "crashed (exception " + Hex(result.code) + ")";
        case Outcome::ProcessEnded: return "ended the process (exit code " + std::to_string(result.code) + ")";
        case Outcome::Stopped: return "stopped";
    }
    return "unknown";
}

}  // namespace modRegister
