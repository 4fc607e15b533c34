// The floor's watcher: one register_floor process after another until every file is through.
#include "FloorWatch.h"

#include <algorithm>

#include "BenchFiles.h"
#include "BenchReport.h"
#include "win32/Handles.h"

namespace floorbench {

// One floor program over one folder, restarted after each file that ended or hung it.
FloorRun RunFloor(const std::string& exe, const std::string& folder, const std::string& mappingName,
                  DWORD watchdogMs) {
    FloorRun run;
    const win32::unique_handle mapping(::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                                            sizeof(FloorShared), mappingName.c_str()));
    const win32::unique_view view(
        mapping ? ::MapViewOfFile(mapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, sizeof(FloorShared)) : nullptr);
    auto* shared = static_cast<FloorShared*>(const_cast<void*>(view.get()));
    if (shared == nullptr) {
        run.error = "no shared memory (error " + std::to_string(::GetLastError()) + ")";
        return run;
    }
    shared->magic = kMagic;
    shared->count = -1;
    shared->current = 0;

    const double start = benchfiles::Seconds();
    int next = 0;
    while (next >= 0) {
        std::string command = "\"" + exe + "\" \"" + folder + "\" " + mappingName + " " + std::to_string(next);
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        if (!::CreateProcessA(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                              &process)) {
            run.error = "could not start " + exe + " (error " + std::to_string(::GetLastError()) + ")";
            break;
        }
        const win32::unique_handle owner(process.hProcess), thread(process.hThread);
        ++run.processes;
        // The watchdog: a file in hand for longer than the limit ends the process.
        int seen = shared->current;
        ULONGLONG since = ::GetTickCount64();
        bool killed = false;
        while (::WaitForSingleObject(process.hProcess, 50) == WAIT_TIMEOUT) {
            const int now = shared->current;
            if (now != seen) {
                seen = now;
                since = ::GetTickCount64();
            } else if (::GetTickCount64() - since > watchdogMs) {
                ::TerminateProcess(process.hProcess, ERROR_TIMEOUT);
                ::WaitForSingleObject(process.hProcess, 5000);
                killed = true;
                break;
            }
        }
        DWORD exitCode = 0;
        ::GetExitCodeProcess(process.hProcess, &exitCode);
        if (shared->count < 0) {
            run.error = "the floor ended before listing its files (exit code " + std::to_string(exitCode) + ")";
            break;
        }
        const benchreport::FloorExit after = benchreport::AfterFloorExit(shared->count, shared->current, killed);
        if (after.markIndex >= 0) {
            shared->slots[after.markIndex].outcome = static_cast<std::int32_t>(after.outcome);
            shared->slots[after.markIndex].code = exitCode;
        }
        next = after.nextStart;
    }
    run.seconds = benchfiles::Seconds() - start;
    run.count = std::max(0, static_cast<int>(shared->count));
    run.slots.assign(shared->slots, shared->slots + run.count);
    return run;
}

const char* OutcomeName(FloorOutcome outcome) {
    switch (outcome) {
        case FloorOutcome::Pending: return "not reached";
        case FloorOutcome::NotComponent: return "not a component";
        case FloorOutcome::OtherMachine: return "other bitness";
        case FloorOutcome::LoadFailed: return "load failed";
        case FloorOutcome::EntryMissing: return "no entry point";
        case FloorOutcome::EntryFailed: return "entry point failed";
        case FloorOutcome::Registered: return "registered";
        case FloorOutcome::Crashed: return "ended the process";
        case FloorOutcome::Hung: return "hung (killed)";
    }
    return "?";
}

}  // namespace floorbench
