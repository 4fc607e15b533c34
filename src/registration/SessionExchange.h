// The steps a session's requests share: the header check of a file, a runner's exchange turned into
// an outcome, and a capture's request with what it wrote read back.
#pragma once

#include <windows.h>

#include <string>

#include "inspect/Capture.h"
#include "inspect/CaptureKeys.h"
#include "pe/PageCache.h"
#include "registration/Outcome.h"
#include "runner/RunnerClient.h"

namespace registration::exchange {

using modRegister::Outcome;
using modRegister::Result;

inline constexpr char kRegisterName[] = "DllRegisterServer";

Result Make(Outcome outcome, DWORD code = 0, peexports::ExportCheck headers = peexports::ExportCheck::Exported);

// The full path and the header check for the export `name`, reading only the pages the headers and
// export tables lie in (none of the file runs); Success when the file is for a runner to load.
Result CheckedFile(const std::string& path, pefile::PageCache& pages, std::string& fullPath,
                   const char* name = kRegisterName);

// The runner's exchange as the outcome of the request.
void Interpret(const runner::Exchange& exchange, Result& result);

// The capture itself: the request (Capture, or CaptureTypeLib) with a scratch key named, then what the
// runner wrote into it, in `captured`; the escapes of the registration put back.
void CaptureInRunner(runner::Request kind, runner::RunnerClient& client, const std::string& fullPath, DWORD waitLimitMs,
                     runner::WaitObserver* observer, EscapeWatch& escapes, ScratchSweeper* sweeper, Result& result,
                     capture::Capture& captured);

}  // namespace registration::exchange
