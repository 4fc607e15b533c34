// The run request from a command line, and back to parameters for a restart.
#include "app/RunRequest.h"

#include "win32/Paths.h"

namespace velquist {

RunRequest RequestFrom(const CommandLine& line) {
    RunRequest request;
    request.mode = win32::IsFolder(line.path) ? RunRequest::Mode::Directory : RunRequest::Mode::SingleFile;
    request.path = line.path;
    request.subfolders = line.subfolders;
    request.registerFlag = !line.unregister;
    request.perUser = line.perUser;
    if (line.check) request.task = RunRequest::Task::Check;
    if (!line.exportFile.empty()) {
        request.task = RunRequest::Task::Export;
        request.target = line.exportFile;
    }
    if (!line.removalFile.empty()) {
        request.task = RunRequest::Task::Removal;
        request.target = line.removalFile;
    }
    return request;
}

std::string RelaunchParameters(const RunRequest& request, bool run) {
    std::string parameters;
    const auto add = [&parameters](const std::string& part) {
        if (!parameters.empty()) parameters += ' ';
        parameters += part;
    };
    if (!request.registerFlag && request.task == RunRequest::Task::Change) add("/u");
    if (request.mode == RunRequest::Mode::Directory && request.subfolders) add("/r");
    if (request.perUser) add("/user");
    if (request.task == RunRequest::Task::Check) add("/check");
    // Without a file the new instance asks for one, as this one would have.
    if (!request.target.empty() && request.task == RunRequest::Task::Export) {
        add(QuoteArgument("/export:" + win32::FullPathOr(request.target)));
    }
    if (!request.target.empty() && request.task == RunRequest::Task::Removal) {
        add(QuoteArgument("/removal:" + win32::FullPathOr(request.target)));
    }
    if (run) add("/run");
    if (!request.path.empty()) add(QuoteArgument(win32::FullPathOr(request.path)));
    return parameters;
}

}  // namespace velquist
