// The register benchmark's bookkeeping.
#include "BenchReport.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

namespace benchreport {

bool ParseOrder(const std::string& text, std::vector<Side>& order) {
    order.clear();
    for (char c : text) {
        Side side;
        switch (std::tolower(static_cast<unsigned char>(c))) {
            case 'v': side = Side::Velquist; break;
            case 'r': side = Side::Regsvr32; break;
            case 'f': side = Side::Floor; break;
            case 'u': side = Side::Undo; break;
            default: return false;
        }
        order.push_back(side);
    }
    for (Side side : {Side::Velquist, Side::Regsvr32, Side::Floor}) {
        if (std::find(order.begin(), order.end(), side) == order.end()) return false;
    }
    return order.size() <= kMaxRuns;
}

const char* SideName(Side side) {
    switch (side) {
        case Side::Velquist: return "Velquist";
        case Side::Regsvr32: return "regsvr32";
        case Side::Floor: return "floor";
        case Side::Undo: return "Velquist + undo";
    }
    return "?";
}

int RegsvrBits(const std::string& root, const std::string& path) {
    std::string prefix = root;
    if (!prefix.empty() && prefix.back() != '\\') prefix += '\\';
    prefix += "system32\\";
    if (path.size() < prefix.size()) return 32;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(path[i])) != std::tolower(static_cast<unsigned char>(prefix[i]))) {
            return 32;
        }
    }
    return 64;
}

FloorExit AfterFloorExit(int count, int current, bool killedByWatchdog) {
    FloorExit exit;
    if (count < 0 || current >= count || current < 0) return exit;  // done, or never began
    exit.markIndex = current;
    exit.outcome = killedByWatchdog ? floorbench::FloorOutcome::Hung : floorbench::FloorOutcome::Crashed;
    exit.nextStart = current + 1 < count ? current + 1 : -1;
    return exit;
}

std::vector<std::size_t> VelquistDisagreements(const std::vector<FileRecord>& records) {
    std::vector<std::size_t> found;
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (records[i].velquistRegistered != records[i].RegsvrRegistered()) found.push_back(i);
    }
    return found;
}

std::vector<std::size_t> FloorDisagreements(const std::vector<FileRecord>& records) {
    std::vector<std::size_t> found;
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (records[i].FloorRegistered() != records[i].RegsvrRegistered()) found.push_back(i);
    }
    return found;
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

std::string Thousands(long long value) {
    std::string digits = std::to_string(value < 0 ? -value : value);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) digits.insert(static_cast<std::size_t>(at), 1, ',');
    return value < 0 ? "-" + digits : digits;
}

std::string Rate(double files, double seconds) {
    if (seconds <= 0) return "-";
    const double rate = files / seconds;
    char text[32];
    if (rate >= 100) return Thousands(std::llround(rate));
    std::snprintf(text, sizeof text, rate >= 10 ? "%.1f" : "%.2f", rate);
    return text;
}

std::string Verdict(double ratio, double target, bool atLeast) {
    char text[96];
    const bool holds = atLeast ? ratio >= target : ratio <= target;
    std::snprintf(text, sizeof text, "%.*fx (target %s %gx: %s)", ratio < 10 ? 2 : 1, ratio,
                  atLeast ? "at least" : "at most", target, holds ? "holds" : "does not hold");
    return text;
}

}  // namespace benchreport
