// How the runner loads a component, and what it answers when the load fails.
#pragma once

#include <windows.h>

#include <string>

#include "runner/RunnerProtocol.h"
#include "win32/Handles.h"

namespace runner {

// A reply and the detail that follows it on the pipe.
struct Response {
    Reply reply;
    std::string detail;
};

Response AnswerOf(Answer answer, DWORD code = 0);

// A failed load, with the import behind it when its error says an import is unmet.
Response LoadFailure(const std::string& path, DWORD error);

// Loads exactly the file named; its dependencies from its own folder first, then the folders every load
// of the runner searches (`restricted`: RestrictLibrarySearch took), never the runner's own folder or
// the current one.
win32::unique_hmodule LoadComponent(const std::string& fullPath, bool restricted);

}  // namespace runner
