// The steps of a session's requests: the header check, the capture's exchange, and a runner's answer
// turned into an outcome.
#include "registration/SessionExchange.h"

#include "pe/FileBytes.h"
#include "win32/Paths.h"

namespace registration::exchange {
namespace {

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

}  // namespace

Result Make(Outcome outcome, DWORD code, peexports::ExportCheck headers) {
    Result result;
    result.outcome = outcome;
    result.code = code;
    result.headers = headers;
    return result;
}

// The full path and the header check for the export `name`; Success when the file is for a runner to load.
Result CheckedFile(const std::string& path, pefile::PageCache& pages, std::string& fullPath, const char* name) {
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

// The capture itself: the request (Capture, or CaptureTypeLib) with the scratch key named, then what the
// runner wrote into it.
void CaptureInRunner(runner::Request kind, runner::RunnerClient& client, const std::string& fullPath, DWORD waitLimitMs,
                     runner::WaitObserver* observer, EscapeWatch& escapes, ScratchSweeper* sweeper, Result& result,
                     capture::Capture& captured) {
    escapes.Before();
    struct PutBack {
        EscapeWatch& escapes;
        ~PutBack() { escapes.After(); }
    } putBack{escapes};
    ScratchKey scratch(sweeper);
    Interpret(client.Send(kind, runner::CaptureText(fullPath, scratch.Name()), waitLimitMs, observer), result);
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


}  // namespace registration::exchange
