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
    if (line.test) request.task = RunRequest::Task::Test;
    if (!line.exportFile.empty()) {
        request.task = RunRequest::Task::Export;
        request.target = line.exportFile;
    }
    if (!line.removalFile.empty()) {
        request.task = RunRequest::Task::Removal;
        request.target = line.removalFile;
    }
    if (!line.manifestFile.empty()) {
        request.task = RunRequest::Task::Manifest;
        request.target = line.manifestFile;
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
    if (request.perUser && request.task != RunRequest::Task::Manifest) add("/user");  // a manifest is nobody's
    // An export goes on only with its file: the command line cannot say "ask for one", and without
    // its switch the new instance would take the request for a register run. It then just shows the
    // inputs.
    const bool exporting = WritesFile(request.task);
    if (request.task == RunRequest::Task::Check) add("/check");
    if (request.task == RunRequest::Task::Test) add("/test");
    if (exporting && !request.target.empty()) {
        const char* const word = request.task == RunRequest::Task::Export    ? "/export:"
                                 : request.task == RunRequest::Task::Removal ? "/removal:"
                                                                             : "/manifest:";
        add(QuoteArgument(word + win32::FullPathOr(request.target)));
    }
    if (run && !(exporting && request.target.empty())) add("/run");
    if (!request.path.empty()) add(QuoteArgument(win32::FullPathOr(request.path)));
    return parameters;
}

}  // namespace velquist
