// A restart with administrator rights on a request, and its offer after a run that was denied access.
#include "window/Rights.h"

namespace velquist {
namespace {

std::string CurrentFolder() {
    char folder[MAX_PATH * 4] = {};
    ::GetCurrentDirectoryA(static_cast<DWORD>(std::size(folder)), folder);
    return folder;
}

}  // namespace

bool RestartElevated(HWND owner, Elevation& rights, const RunRequest& request, bool run) {
    return rights.Relaunch(owner, RelaunchParameters(request, run), CurrentFolder());
}

bool OfferElevation(HWND owner, Elevation& rights, const RunRequest& request) {
    const std::string what = request.task == RunRequest::Task::Clean     ? "Some broken registrations could not be removed"
                             : request.task == RunRequest::Task::PutBack ? "Some changes could not be put back"
                             : request.registerFlag                      ? "Some components could not be registered"
                                                                         : "Some components could not be unregistered";
    const std::string question = what + " because access was denied.\n\nRestart Velquist as administrator and run this again?";
    return ::MessageBoxA(owner, question.c_str(), "Velquist!", MB_YESNO | MB_ICONQUESTION) == IDYES &&
           RestartElevated(owner, rights, request, true);
}

}  // namespace velquist
