// The register benchmark's bookkeeping: the order of the sides, which regsvr32 a copy gets, the floor's
// restarts, file-by-file agreement and the table's lines. Pure code, tested in BenchReportTest.cpp.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "FloorProtocol.h"

namespace benchreport {

enum class Side { Velquist, Regsvr32, Floor, Undo };

// The sides in the order they run, one letter a run: v (Velquist), r (regsvr32), f (floor), each at
// least once, and u (Velquist with the window's undo record) where wanted; at most kMaxRuns letters
// in all ("vfrfv").
constexpr std::size_t kMaxRuns = 12;
bool ParseOrder(const std::string& text, std::vector<Side>& order);
const char* SideName(Side side);

// 64 for a copy under root\system32 (copied from the 64-bit system folder), else 32.
int RegsvrBits(const std::string& root, const std::string& path);

// After a floor process ended while on file `current` of `count`: which slot to mark (and how), and where
// a fresh floor starts (-1: the floor is done). A floor that never listed its files (count < 0) is done.
struct FloorExit {
    int markIndex = -1;
    floorbench::FloorOutcome outcome = floorbench::FloorOutcome::Pending;
    int nextStart = -1;
};
FloorExit AfterFloorExit(int count, int current, bool killedByWatchdog);

// One file of the tree as each side saw it.
struct FileRecord {
    std::string path;
    bool velquistTried = false;  // a line came for it (the header check let it through)
    bool velquistRegistered = false;
    std::uint32_t regsvrCode = 0;
    bool regsvrTimedOut = false;
    floorbench::FloorOutcome floor = floorbench::FloorOutcome::Pending;
    bool RegsvrRegistered() const { return regsvrCode == 0 && !regsvrTimedOut; }
    bool FloorRegistered() const { return floor == floorbench::FloorOutcome::Registered; }
};

// The records where Velquist's verdict differs from regsvr32's (or the floor's from regsvr32's).
std::vector<std::size_t> VelquistDisagreements(const std::vector<FileRecord>& records);
std::vector<std::size_t> FloorDisagreements(const std::vector<FileRecord>& records);

// The middle value (the mean of the two middle ones for an even count); 0 for none.
double Median(std::vector<double> values);
// "12,345"
std::string Thousands(long long value);
// files per second, with as many decimals as a small rate needs
std::string Rate(double files, double seconds);
// "16.2x (target at least 15x: holds)"
std::string Verdict(double ratio, double target, bool atLeast);

}  // namespace benchreport
