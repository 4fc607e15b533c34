// modRegister: IsDLLActiveX and RunServerEntry, and the probe and call behind them, over a session.
#include "registration/modRegister.h"

#include "win32/Hex.h"

namespace modRegister {

Result ProbeComponent(registration::Session& session, const std::string& path, DWORD waitLimitMs) {
    return session.Probe(path, waitLimitMs);
}

Result CallServerEntry(registration::Session& session, const std::string& path, bool registerFlag,
                       DWORD waitLimitMs) {
    return session.Call(path, registerFlag, waitLimitMs);
}

bool IsDLLActiveX(registration::Session& session, const std::string& path) {
    return session.Probe(path).Succeeded();
}

bool IsDLLActiveX(const std::string& path) {
    registration::Session session;
    return IsDLLActiveX(session, path);
}

bool RunServerEntry(registration::Session& session, const std::string& path, bool registerFlag, DWORD waitLimitMs) {
    return session.Call(path, registerFlag, waitLimitMs).Succeeded();
}

bool RunServerEntry(const std::string& path, bool registerFlag, DWORD waitLimitMs) {
    registration::Session session;
    return RunServerEntry(session, path, registerFlag, waitLimitMs);
}

std::string Describe(const Result& result) {
    using win32::Hex;
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
        case Outcome::RunnerUnavailable:
            if (result.runnerExit) return "the runner ended as it started (exit code " + std::to_string(result.code) + ")";
            return "no runner for its bitness (error " + std::to_string(result.code) + ")";
        case Outcome::EntryFailed: return "the entry point failed (" + Hex(result.code) + ")";
        case Outcome::TimedOut: return "timed out";
        case Outcome::Crashed: return "crashed (exception " + Hex(result.code) + ")";
        case Outcome::ProcessEnded: return "ended the process (exit code " + std::to_string(result.code) + ")";
        case Outcome::Stopped: return "stopped";
        case Outcome::ProtocolFault: return "the runner answered what it should not (answer " + std::to_string(result.code) + ")";
        case Outcome::CaptureFailed: return "the capture could not be made (error " + std::to_string(result.code) + ")";
        case Outcome::NothingCaptured: return "its registration wrote nothing";
    }
    return "unknown";
}

}  // namespace modRegister
