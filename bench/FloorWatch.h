// The register benchmark's side of the floor: starts register_floor over a folder, watches it, and
// restarts it after a file that ended or hung it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "FloorProtocol.h"

namespace floorbench {

// As long as the program waits for a component.
constexpr DWORD kWatchdogMs = 10000;

struct FloorRun {
    double seconds = 0;  // from the first start to the last end, restarts included
    int processes = 0;   // floor processes started
    int count = 0;       // files the floor found
    std::vector<FloorSlot> slots;
    std::string error;   // why the floor could not run, "" when it did
};

// Runs the floor program exe over folder until it has been through every file; a process that holds one
// file longer than watchdogMs is ended. mappingName names the shared memory, unique to the caller.
FloorRun RunFloor(const std::string& exe, const std::string& folder, const std::string& mappingName,
                  DWORD watchdogMs = kWatchdogMs);

const char* OutcomeName(FloorOutcome outcome);

}  // namespace floorbench
