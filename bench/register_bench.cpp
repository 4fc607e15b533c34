// Register benchmark: one directory register run of the program over copies of Wine's own DLLs, side by
// side with regsvr32 once per file and with a floor (one plain process per bitness). Prints figures,
// asserts nothing.
//   register_bench --tree ROOT --floor32 EXE --floor64 EXE [--runners DIR] [--order vfrvfrfv]
//                  [--regsvr32-limit S] [--breakdown] [--output FILE]
// ROOT holds syswow64\ (32-bit copies) and system32\ (64-bit copies).
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "BenchFiles.h"
#include "BenchReport.h"
#include "FloorProtocol.h"
#include "FloorWatch.h"
#include "folders/Module1.h"
#include "registration/Details.h"
#include "runner/RunnerClient.h"
#include "registration/modRegister.h"
#include "results/ResultList.h"
#include "win32/Handles.h"

namespace {

using benchreport::FileRecord;
using benchreport::Side;
using floorbench::FloorOutcome;
using floorbench::FloorRun;

struct Options {
    std::string tree, floor32, floor64, runners = VELQUIST_BIN_DIR;
    std::vector<Side> order{Side::Velquist, Side::Floor,    Side::Regsvr32, Side::Velquist,
                            Side::Floor,    Side::Regsvr32, Side::Floor,    Side::Velquist};
    DWORD regsvrLimitMs = 30000;
    bool breakdown = false;
    std::string output;  // the report goes here as it is written, else to standard output
};

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The result lines of the directory run, by path.
struct LineList : velquist::ResultList {
    struct Seen {
        bool registered = false;
        std::string detail;
    };
    std::map<std::string, Seen> byPath;  // lower-case path
    int lines = 0;
    void Clear() override {
        byPath.clear();
        lines = 0;
    }
    int Count() const override { return lines; }
    void Add(const std::string&, const velquist::ResultLine& line) override {
        ++lines;
        if (line.kind == velquist::LineKind::Registered || line.kind == velquist::LineKind::Failed) {
            byPath[Lower(line.path)] = {line.kind == velquist::LineKind::Registered, line.detail};
        }
    }
};

// ---- (a) regsvr32 ----

struct Regsvr32Tools {
    std::string bits32, bits64;
};

Regsvr32Tools FindRegsvr32() {
    char folder[MAX_PATH] = {};
    Regsvr32Tools tools;
    if (::GetSystemWow64DirectoryA(folder, MAX_PATH) > 0) tools.bits32 = std::string(folder) + "\\regsvr32.exe";
    ::GetSystemWindowsDirectoryA(folder, MAX_PATH);
    // A 32-bit process sees the 64-bit system folder as sysnative; a 64-bit one as system32.
    tools.bits64 = std::string(folder) + (sizeof(void*) == 8 ? "\\system32" : "\\sysnative") + "\\regsvr32.exe";
    return tools;
}

struct Regsvr32Run {
    DWORD code = 0;
    bool timedOut = false;
    double seconds = 0;
};

// regsvr32 /s file, as a batch file runs it: one process, waited for (at most limitMs, then killed).
Regsvr32Run RunRegsvr32(const std::string& tool, const std::string& file, DWORD limitMs) {
    Regsvr32Run run;
    const double start = benchfiles::Seconds();
    std::string command = "\"" + tool + "\" /s \"" + file + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessA(tool.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process)) {
        run.code = ::GetLastError() | 0x40000000u;  // could not start: never 0, and marked apart
        return run;
    }
    const win32::unique_handle owner(process.hProcess), thread(process.hThread);
    if (::WaitForSingleObject(process.hProcess, limitMs) == WAIT_TIMEOUT) {
        ::TerminateProcess(process.hProcess, ERROR_TIMEOUT);
        ::WaitForSingleObject(process.hProcess, 5000);
        run.timedOut = true;
    }
    ::GetExitCodeProcess(process.hProcess, &run.code);
    run.seconds = benchfiles::Seconds() - start;
    return run;
}

// The exit codes of Wine's regsvr32.
const char* Regsvr32CodeName(std::uint32_t code) {
    switch (code) {
        case 0: return " (registered)";
        case 1: return " (bad arguments)";
        case 3: return " (load failed)";
        case 4: return " (no DllRegisterServer)";
        case 5: return " (DllRegisterServer failed)";
        default: return "";
    }
}

// The window's undo record, kept for the length of one run.
class WindowRecord final : public undo::RunRecord {
public:
    std::string WayBack() const override { return {}; }
};

// ---- where Velquist's time goes ----

// One run of one side.
struct SideRun {
    Side side;
    double seconds;
    double busy;  // the machine's busy share during it
    int registered;
};

// How busy the whole machine was since construction: the share of all processors' time not idle.
class BusyMeter {
public:
    BusyMeter() { ::GetSystemTimes(&idle_, &kernel_, &user_); }
    double Share() const {
        FILETIME idle, kernel, user;
        ::GetSystemTimes(&idle, &kernel, &user);
        const double idleTime = Ticks(idle) - Ticks(idle_);
        const double total = Ticks(kernel) - Ticks(kernel_) + Ticks(user) - Ticks(user_);  // kernel includes idle
        return total > 0 ? 1.0 - idleTime / total : 0;
    }

private:
    static double Ticks(const FILETIME& time) {
        return static_cast<double>((static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
    }
    FILETIME idle_{}, kernel_{}, user_{};
};

// Per file, as the floor measured it (seconds): header check, load, call.
struct FloorTimes {
    std::vector<double> header, load, call;
};

void Breakdown(const Options& options, const std::vector<FileRecord>& records, const FloorTimes& floor) {
    std::printf("\nwhere the program's time goes (a second pass, after the timed sides):\n");
    const BusyMeter meter;
    // The header check alone, as the program makes it before asking a runner; and, for scale, what just
    // opening each file and reading its first page costs.
    double t = benchfiles::Seconds();
    int components[2] = {0, 0};
    std::vector<bool> passes(records.size());
    std::vector<int> bitness(records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        const peexports::HeaderCheck headers = benchfiles::ReadHeaders(records[i].path);
        passes[i] = headers.check == peexports::ExportCheck::Exported;
        bitness[i] = headers.machine == peexports::kMachineAmd64 ? 1 : 0;
        if (passes[i]) ++components[bitness[i]];
    }
    const double headerSeconds = benchfiles::Seconds() - t;
    t = benchfiles::Seconds();
    for (const FileRecord& record : records) {
        const win32::unique_handle file(::CreateFileA(record.path.c_str(), GENERIC_READ,
                                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!win32::IsValid(file)) continue;
        char page[4096];
        DWORD read = 0;
        ::ReadFile(file.get(), page, sizeof page, &read, nullptr);
    }
    const double readSeconds = benchfiles::Seconds() - t;
    const double n = static_cast<double>(records.size());
    std::printf("  header check (open, map the whole file, read the export table), %zu files: %.3f s, %.0f us a file;"
                " %d + %d pass (32 + 64-bit)\n",
                records.size(), headerSeconds, headerSeconds * 1e6 / n, components[0], components[1]);
    std::printf("  for scale, open + read 4 KB + close: %.3f s, %.0f us a file\n", readSeconds, readSeconds * 1e6 / n);

    // A runner's start, and a bare round trip: a probe of a small file that is no library (a load that
    // fails at once, with nothing for the runner to look into).
    char temp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, temp);
    const std::string notLibrary = std::string(temp) + "velquist-bench-trip.txt";
    if (const win32::unique_handle file(
            ::CreateFileA(notLibrary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        win32::IsValid(file)) {
        DWORD written = 0;
        ::WriteFile(file.get(), "no library", 10, &written, nullptr);
    }
    const std::uint16_t machines[2] = {peexports::kMachineI386, peexports::kMachineAmd64};
    const char* names[2] = {"velquist.exe", "velquist64.exe"};
    constexpr int kTrips = 300;
    for (int b = 0; b < 2; ++b) {
        runner::RunnerClient client(machines[b], options.runners + "\\" + names[b]);
        t = benchfiles::Seconds();
        const runner::Exchange first = client.Send(runner::Request::Probe, notLibrary, 10000);
        const double startSeconds = benchfiles::Seconds() - t;
        t = benchfiles::Seconds();
        int answered = 0;
        for (int i = 0; i < kTrips; ++i) {
            answered += client.Send(runner::Request::Probe, notLibrary, 10000).status == runner::Exchange::Status::Answered;
        }
        const double tripSeconds = (benchfiles::Seconds() - t) / kTrips;
        std::printf("  %s: start to first answer %.1f ms (%s); round trip %.0f us (%d probes of a text file, %d "
                    "answered)\n",
                    names[b], startSeconds * 1e3,
                    first.status == runner::Exchange::Status::Answered ? "answered" : "NOT answered",
                    tripSeconds * 1e6, kTrips, answered);
    }
    ::DeleteFileA(notLibrary.c_str());

    // The program's two requests per component, timed apart: the probe (header check, round trip, load)
    // and the call (header check again, round trip, DllRegisterServer, FreeLibrary), then the line's detail.
    registration::Session session(registration::RunnerPrograms::InFolder(options.runners));
    // Both runners up before the clock runs: their start is timed above.
    for (int b = 0; b < 2; ++b) {
        for (std::size_t i = 0; i < records.size(); ++i) {
            if (passes[i] && bitness[i] == b && session.Probe(records[i].path).Succeeded()) break;
        }
    }
    std::vector<double> probeFile(records.size(), 0), callFile(records.size(), 0);
    double probeSeconds[2] = {0, 0}, callSeconds[2] = {0, 0}, floorLoad[2] = {0, 0}, floorCall[2] = {0, 0};
    double detailSeconds = 0;
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (!passes[i]) continue;
        t = benchfiles::Seconds();
        const modRegister::Result probe = session.Probe(records[i].path);
        const double probed = benchfiles::Seconds();
        probeFile[i] = probed - t;
        if (probe.Succeeded()) {
            const modRegister::Result call = session.Call(records[i].path, true);
            const double called = benchfiles::Seconds();
            callFile[i] = called - probed;
            modRegister::Detail(records[i].path, call, true);
            detailSeconds += benchfiles::Seconds() - called;
        }
        probeSeconds[bitness[i]] += probeFile[i];
        callSeconds[bitness[i]] += callFile[i];
        floorLoad[bitness[i]] += floor.load[i];
        floorCall[bitness[i]] += floor.call[i];
    }
    session.EndRunners();
    for (int b = 0; b < 2; ++b) {
        std::printf("  %s-bit components (%d): program probe %.2f s + call %.2f s; floor (timed pass) load %.2f s + call "
                    "%.2f s\n",
                    b ? "64" : "32", components[b], probeSeconds[b], callSeconds[b], floorLoad[b], floorCall[b]);
    }
    std::printf("  the lines' details: %.3f s; machine busy during this pass %.0f%%\n", detailSeconds, meter.Share() * 100);
    // The files where the program's probe and call cost most beyond the floor's load and call.
    std::vector<std::size_t> index;
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (passes[i]) index.push_back(i);
    }
    auto excess = [&](std::size_t i) { return probeFile[i] + callFile[i] - floor.load[i] - floor.call[i]; };
    std::sort(index.begin(), index.end(), [&](std::size_t a, std::size_t b) { return excess(a) > excess(b); });
    std::printf("  most above the floor (program probe + call / floor load + call, ms):");
    for (std::size_t k = 0; k < 10 && k < index.size(); ++k) {
        const std::string& path = records[index[k]].path;
        std::printf(" %s %.1f + %.1f / %.1f + %.1f;", path.substr(path.find_last_of('\\') + 1).c_str(),
                    probeFile[index[k]] * 1e3, callFile[index[k]] * 1e3, floor.load[index[k]] * 1e3,
                    floor.call[index[k]] * 1e3);
    }
    std::printf("\n");
}

bool ParseArguments(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--tree" && hasValue) {
            options.tree = argv[++i];
        } else if (arg == "--floor32" && hasValue) {
            options.floor32 = argv[++i];
        } else if (arg == "--floor64" && hasValue) {
            options.floor64 = argv[++i];
        } else if (arg == "--runners" && hasValue) {
            options.runners = argv[++i];
        } else if (arg == "--order" && hasValue) {
            if (!benchreport::ParseOrder(argv[++i], options.order)) return false;
        } else if (arg == "--regsvr32-limit" && hasValue) {
            options.regsvrLimitMs = static_cast<DWORD>(std::atoi(argv[++i])) * 1000;
        } else if (arg == "--output" && hasValue) {
            options.output = argv[++i];
        } else if (arg == "--breakdown") {
            options.breakdown = true;
        } else {
            return false;
        }
    }
    while (!options.tree.empty() && options.tree.back() == '\\') options.tree.pop_back();
    return !options.tree.empty() && !options.floor32.empty() && !options.floor64.empty() && options.regsvrLimitMs > 0;
}

std::string WineVersion() {
    HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    using VersionFunction = const char*(CDECL*)();
    auto version = ntdll ? reinterpret_cast<VersionFunction>(
                               reinterpret_cast<void*>(::GetProcAddress(ntdll, "wine_get_version")))
                         : nullptr;
    return version ? std::string("Wine ") + version() : std::string("not Wine");
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseArguments(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: register_bench --tree ROOT --floor32 EXE --floor64 EXE [--runners DIR] [--order vfrvfrfv]\n"
                     "                      [--regsvr32-limit SECONDS] [--breakdown] [--output FILE]\n");
        return 2;
    }
    if (!options.output.empty() && std::freopen(options.output.c_str(), "w", stdout) == nullptr) {
        std::fprintf(stderr, "cannot write %s\n", options.output.c_str());
        return 1;
    }
    std::setvbuf(stdout, nullptr, _IONBF, 0);  // followed as it grows
    // A component's own error boxes would wait for a click.
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);

    const std::vector<std::string> files = benchfiles::ListTree(options.tree);
    if (files.empty()) {
        std::fprintf(stderr, "no files under %s\n", options.tree.c_str());
        return 1;
    }
    std::vector<FileRecord> records(files.size());
    std::map<std::string, std::size_t> byPath;
    int perBits[2] = {0, 0}, misplaced = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        records[i].path = files[i];
        byPath[Lower(files[i])] = i;
        const int bits = benchreport::RegsvrBits(options.tree, files[i]);
        ++perBits[bits == 64];
        // Reads every file once before any side runs, so that none pays for a cold cache alone.
        const peexports::HeaderCheck headers = benchfiles::ReadHeaders(files[i]);
        if (headers.check == peexports::ExportCheck::Exported &&
            headers.machine != (bits == 64 ? peexports::kMachineAmd64 : peexports::kMachineI386)) {
            ++misplaced;
        }
    }
    SYSTEM_INFO system{};
    ::GetNativeSystemInfo(&system);
    std::string order;
    for (Side side : options.order) order += std::string(order.empty() ? "" : ", ") + benchreport::SideName(side);
    std::printf("register benchmark, %s, %lu processors, %d-bit benchmark process\n", WineVersion().c_str(),
                static_cast<unsigned long>(system.dwNumberOfProcessors), static_cast<int>(sizeof(void*) * 8));
    std::printf("tree %s: %zu files, %d under syswow64 (32-bit), %d under system32 (64-bit); %d components of the "
                "other bitness than their folder's\n",
                options.tree.c_str(), files.size(), perBits[0], perBits[1], misplaced);
    std::printf("order: %s\n", order.c_str());
    std::fflush(stdout);

    // Each side as often as the order names it; the file-by-file verdicts come from each side's first run.
    std::vector<SideRun> runs;
    double regsvrBitsSeconds[2] = {0, 0};
    std::vector<double> regsvrFileSeconds(records.size(), 0);
    LineList lines;
    FloorRun floors[2];
    bool ranBefore[4] = {false, false, false, false};
    const Regsvr32Tools tools = FindRegsvr32();
    const std::string mappingName = "velquist-bench-floor-" + std::to_string(::GetCurrentProcessId()) + "-";
    for (Side side : options.order) {
        std::printf("%s run... ", benchreport::SideName(side));
        std::fflush(stdout);
        const bool first = !ranBefore[static_cast<int>(side)];
        ranBefore[static_cast<int>(side)] = true;
        SideRun run{side, 0, 0, 0};
        const BusyMeter meter;
        const double start = benchfiles::Seconds();
        if (side == Side::Velquist || side == Side::Undo) {
            LineList runLines;
            registration::Session session(registration::RunnerPrograms::InFolder(options.runners));
            // The window's run keeps an undo record: each component captured and its keys read before
            // and after its call.
            WindowRecord record;
            Module1::ChangeOptions changes;
            if (side == Side::Undo) changes.undo = &record;
            Module1::RegisterFolder(session, options.tree, true, true, runLines, nullptr, changes);
            run.seconds = benchfiles::Seconds() - start;
            session.EndRunners();
            for (const auto& entry : runLines.byPath) run.registered += entry.second.registered;
            if (first) lines = std::move(runLines);
        } else if (side == Side::Regsvr32) {
            for (std::size_t i = 0; i < records.size(); ++i) {
                FileRecord& record = records[i];
                const bool bits64 = benchreport::RegsvrBits(options.tree, record.path) == 64;
                const Regsvr32Run file = RunRegsvr32(bits64 ? tools.bits64 : tools.bits32, record.path,
                                                     options.regsvrLimitMs);
                run.registered += file.code == 0 && !file.timedOut;
                if (!first) continue;
                record.regsvrCode = file.code;
                record.regsvrTimedOut = file.timedOut;
                regsvrBitsSeconds[bits64] += file.seconds;
                regsvrFileSeconds[i] = file.seconds;
            }
            run.seconds = benchfiles::Seconds() - start;
        } else {
            FloorRun floorRuns[2] = {floorbench::RunFloor(options.floor32, options.tree + "\\syswow64", mappingName + "32"),
                                     floorbench::RunFloor(options.floor64, options.tree + "\\system32", mappingName + "64")};
            run.seconds = floorRuns[0].seconds + floorRuns[1].seconds;
            for (const FloorRun& floor : floorRuns) {
                for (const floorbench::FloorSlot& slot : floor.slots) {
                    run.registered += slot.outcome == static_cast<std::int32_t>(FloorOutcome::Registered);
                }
                if (!floor.error.empty()) std::printf("floor error: %s\n", floor.error.c_str());
            }
            std::printf("(32-bit %.2f s in %d processes, 64-bit %.2f s in %d) ", floorRuns[0].seconds,
                        floorRuns[0].processes, floorRuns[1].seconds, floorRuns[1].processes);
            if (first) {
                floors[0] = std::move(floorRuns[0]);
                floors[1] = std::move(floorRuns[1]);
            }
        }
        run.busy = meter.Share();
        runs.push_back(run);
        std::printf("%.2f s, %d registered\n", run.seconds, run.registered);
        std::fflush(stdout);
    }

    // File by file.
    std::vector<std::string> velquistDetail(records.size());
    for (const auto& [path, seen] : lines.byPath) {
        const auto found = byPath.find(path);
        if (found == byPath.end()) continue;
        records[found->second].velquistTried = true;
        records[found->second].velquistRegistered = seen.registered;
        velquistDetail[found->second] = seen.detail;
    }
    std::vector<double> floorFileSeconds(records.size(), 0);
    std::vector<std::uint32_t> floorCode(records.size(), 0);
    FloorTimes floorTimes{std::vector<double>(records.size(), 0), std::vector<double>(records.size(), 0),
                          std::vector<double>(records.size(), 0)};
    for (const FloorRun& floor : floors) {
        for (const floorbench::FloorSlot& slot : floor.slots) {
            const auto found = byPath.find(Lower(slot.path));
            if (found == byPath.end()) continue;
            records[found->second].floor = static_cast<FloorOutcome>(slot.outcome);
            floorFileSeconds[found->second] = (slot.headerMicros + slot.loadMicros + slot.callMicros) / 1e6;
            floorCode[found->second] = slot.code;
            floorTimes.header[found->second] = slot.headerMicros / 1e6;
            floorTimes.load[found->second] = slot.loadMicros / 1e6;
            floorTimes.call[found->second] = slot.callMicros / 1e6;
        }
    }
    int velquistRegistered = 0, velquistTried = 0, regsvrRegistered = 0, regsvrTimedOut = 0, floorRegistered = 0,
        bothRegistered = 0;
    std::map<std::uint32_t, int> regsvrCodes;
    std::map<FloorOutcome, int> floorOutcomes;
    for (const FileRecord& record : records) {
        velquistTried += record.velquistTried;
        velquistRegistered += record.velquistRegistered;
        regsvrRegistered += record.RegsvrRegistered();
        regsvrTimedOut += record.regsvrTimedOut;
        floorRegistered += record.FloorRegistered();
        bothRegistered += record.velquistRegistered && record.RegsvrRegistered();
        ++regsvrCodes[record.regsvrCode];
        ++floorOutcomes[record.floor];
    }
    const double n = static_cast<double>(records.size());
    double median[4] = {0, 0, 0, 0};
    const char* labels[4] = {"Velquist: RegisterFolder, runners velquist.exe + velquist64.exe",
                             "(a) regsvr32 /s once per file", "(b) floor, one plain process per bitness",
                             "(c) Velquist with the window's undo record"};
    std::printf("\n| side | runs, s (machine busy) | seconds | files/s | registered |\n|---|---|---:|---:|---:|\n");
    for (Side side : {Side::Velquist, Side::Regsvr32, Side::Floor, Side::Undo}) {
        std::vector<double> seconds;
        std::string each, registered;
        for (const SideRun& run : runs) {
            if (run.side != side) continue;
            char text[64];
            std::snprintf(text, sizeof text, "%s%.2f (%.0f%%)", each.empty() ? "" : ", ", run.seconds, run.busy * 100);
            each += text;
            seconds.push_back(run.seconds);
            const std::string count = std::to_string(run.registered);
            if (registered.find(count) == std::string::npos) registered += (registered.empty() ? "" : " / ") + count;
        }
        if (seconds.empty()) continue;
        const int k = static_cast<int>(side);
        median[k] = benchreport::Median(seconds);
        std::printf("| %s | %s | %.2f | %s | %s |\n", labels[k], each.c_str(), median[k],
                    benchreport::Rate(n, median[k]).c_str(), registered.c_str());
    }
    if (median[0] > 0 && median[1] > 0) {
        std::printf("| (a) / Velquist | | | | %s |\n", benchreport::Verdict(median[1] / median[0], 15, true).c_str());
    }
    if (median[0] > 0 && median[2] > 0) {
        std::printf("| Velquist / (b) | | | | %s |\n", benchreport::Verdict(median[0] / median[2], 1.3, false).c_str());
    }
    if (median[3] > 0 && median[2] > 0) {
        std::printf("| (c) / (b) | | | | %s |\n", benchreport::Verdict(median[3] / median[2], 2.2, false).c_str());
        std::printf("| (c) / Velquist | | | | %.2fx |\n", median[3] / median[0]);
    }
    std::printf("\nseconds: the median of a side's runs. Machine busy: all processors, whoever used them; the "
                "benchmark alone keeps 35 to 60%% of two busy, more means another load shared the machine and the "
                "run's figure scatters.\n");
    std::printf("regsvr32, first run: 32-bit %.1f s (%d files), 64-bit %.1f s (%d files)\n", regsvrBitsSeconds[0],
                perBits[0], regsvrBitsSeconds[1], perBits[1]);
    std::printf("\nVelquist: %d lines (%d registered, %d failed); %zu files passed over silently\n", velquistTried,
                velquistRegistered, velquistTried - velquistRegistered,
                records.size() - static_cast<std::size_t>(velquistTried));
    std::printf("regsvr32 exit codes:");
    for (const auto& [code, count] : regsvrCodes) {
        std::printf(" %lu%s: %d,", static_cast<unsigned long>(code), Regsvr32CodeName(code), count);
    }
    std::printf(" killed after %lu s: %d\n", static_cast<unsigned long>(options.regsvrLimitMs / 1000), regsvrTimedOut);
    std::printf("floor outcomes:");
    for (const auto& [outcome, count] : floorOutcomes) std::printf(" %s: %d,", floorbench::OutcomeName(outcome), count);
    std::printf("\n");
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (records[i].floor == FloorOutcome::Crashed || records[i].floor == FloorOutcome::Hung) {
            std::printf("  floor restarted after %s: %s (exit code 0x%08lX)\n", records[i].path.c_str(),
                        floorbench::OutcomeName(records[i].floor), static_cast<unsigned long>(floorCode[i]));
        }
        if (records[i].regsvrTimedOut) std::printf("  regsvr32 killed after the limit: %s\n", records[i].path.c_str());
    }

    std::string unloadable;
    for (const FileRecord& record : records) {
        if (record.regsvrCode == 3 && !record.regsvrTimedOut) {
            unloadable += " " + record.path.substr(record.path.find_last_of('\\') + 1);
        }
    }
    if (!unloadable.empty()) std::printf("regsvr32 could not load:%s\n", unloadable.c_str());

    // The slowest files of the two sides timed file by file.
    auto slowest = [&](const char* what, const std::vector<double>& seconds) {
        std::vector<std::size_t> index(records.size());
        for (std::size_t i = 0; i < index.size(); ++i) index[i] = i;
        std::sort(index.begin(), index.end(), [&](std::size_t a, std::size_t b) { return seconds[a] > seconds[b]; });
        std::printf("slowest, %s:", what);
        for (std::size_t k = 0; k < 8 && k < index.size() && seconds[index[k]] > 0; ++k) {
            const std::string& path = records[index[k]].path;
            std::printf(" %s %.2f s;", path.substr(path.find_last_of('\\') + 1).c_str(), seconds[index[k]]);
        }
        std::printf("\n");
    };
    std::printf("\n");
    slowest("regsvr32 (process start to end)", regsvrFileSeconds);
    slowest("floor (header, load, call)", floorFileSeconds);

    // Velquist against regsvr32, file by file, with the program's own reason for the files it did not register.
    const std::vector<std::size_t> disagree = benchreport::VelquistDisagreements(records);
    const std::vector<std::size_t> floorDisagree = benchreport::FloorDisagreements(records);
    std::printf("\nregistered: Velquist %d, regsvr32 %d, floor %d; by both Velquist and regsvr32 %d; Velquist and "
                "regsvr32 disagree on %zu files, the floor and regsvr32 on %zu\n",
                velquistRegistered, regsvrRegistered, floorRegistered, bothRegistered, disagree.size(),
                floorDisagree.size());
    registration::Session session(registration::RunnerPrograms::InFolder(options.runners));
    auto reason = [&](std::size_t i) {
        if (records[i].velquistRegistered) return std::string("registered");
        if (records[i].velquistTried) return "failed: " + velquistDetail[i];
        return "passed over: " + modRegister::Describe(session.Probe(records[i].path));
    };
    for (std::size_t i : disagree) {
        std::printf("  %s: Velquist %s; regsvr32 exit code %lu%s; floor %s\n", records[i].path.c_str(),
                    reason(i).c_str(), static_cast<unsigned long>(records[i].regsvrCode),
                    records[i].regsvrTimedOut ? " (killed)" : "", floorbench::OutcomeName(records[i].floor));
    }
    for (std::size_t i : floorDisagree) {
        std::printf("  floor against regsvr32: %s: floor %s (0x%08lX); regsvr32 exit code %lu\n", records[i].path.c_str(),
                    floorbench::OutcomeName(records[i].floor), static_cast<unsigned long>(floorCode[i]),
                    static_cast<unsigned long>(records[i].regsvrCode));
    }
    // The files the program failed, with its lines' details.
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (records[i].velquistTried && !records[i].velquistRegistered) {
            std::printf("  Velquist failed %s: %s\n", records[i].path.c_str(), velquistDetail[i].c_str());
        }
    }
    session.EndRunners();

    if (options.breakdown) Breakdown(options, records, floorTimes);
    std::fflush(stdout);
    return 0;
}
