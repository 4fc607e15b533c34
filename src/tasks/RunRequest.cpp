// A run request as parameters for a restart.
#include "tasks/RunRequest.h"

#include "tasks/Tasks.h"
#include "win32/Paths.h"
#include "win32/Text.h"

namespace velquist {

std::string RelaunchParameters(const RunRequest& request, bool run) {
    std::string parameters;
    const auto add = [&parameters](const std::string& part) {
        if (!parameters.empty()) parameters += ' ';
        parameters += part;
    };
    const TaskSpec& task = TaskOf(request.task);
    if (!request.registerFlag && request.task == RunRequest::Task::Change) add("/u");
    if (task.takesPath && request.mode == RunRequest::Mode::Directory && request.subfolders) add("/r");
    if (request.perUser && task.perUserApplies) add("/user");
    if (request.force && request.task == RunRequest::Task::Change && !request.registerFlag) add("/force");
    if (request.typeLibraries && task.takesPath) add("/tlb");
    if (request.install.on && request.task == RunRequest::Task::Change) {
        if (request.install.alone) add("/n");
        std::string install = "/i";  // appended piecewise: GCC 12 warns falsely (-Wrestrict) on "/i:" + text
        if (request.install.hasCommandLine) install.append(":").append(request.install.commandLine);
        add(win32::QuoteArgument(install));
    }
    // An export goes on only with its file: the command line cannot say "ask for one", and without
    // its switch the new instance would take the request for a register run. It then just shows the
    // inputs.
    const bool exporting = task.fileSwitch;
    std::string word = "/";  // appended piecewise, as above
    word.append(task.word);
    if (!task.word.empty() && !exporting) add(word);
    if (exporting && !request.target.empty()) {
        add(win32::QuoteArgument(word.append(":").append(win32::FullPathOr(request.target))));
    }
    if (run && !(exporting && request.target.empty())) add("/run");
    if (!request.path.empty() && task.takesPath) add(win32::QuoteArgument(win32::FullPathOr(request.path)));
    return parameters;
}

}  // namespace velquist
