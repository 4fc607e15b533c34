// The shared memory between register_bench and a register_floor process: the floor's files, the one in
// hand, and what each came to. Fixed-width fields only, so a 32-bit and a 64-bit process agree on it.
#pragma once

#include <cstdint>

namespace floorbench {

constexpr std::uint32_t kMagic = 0x524F4C46;  // "FLOR"
constexpr int kMaxFiles = 4096;
constexpr int kPathBytes = 520;

enum class FloorOutcome : std::int32_t {
    Pending = 0,   // not reached (or the process ended while on it; the driver then says which)
    NotComponent,  // the header check ruled it out
    OtherMachine,  // a component of the other bitness: the other floor's
    LoadFailed,    // code: the system error
    EntryMissing,  // loaded, but no DllRegisterServer after all
    EntryFailed,   // code: the HRESULT
    Registered,
    Crashed,       // the process ended while on this file (code: its exit code); restarted after it
    Hung,          // no progress within the watchdog's limit: killed, restarted after it
};

struct FloorSlot {
    char path[kPathBytes];
    std::int32_t outcome;
    std::uint32_t code;
    std::uint32_t headerMicros;  // open, map and check the headers
    std::uint32_t loadMicros;    // LoadLibraryEx and GetProcAddress
    std::uint32_t callMicros;    // apartment, DllRegisterServer, FreeLibrary
};

struct FloorShared {
    std::uint32_t magic;
    std::int32_t count;             // files the floor found; set once, before any is loaded
    volatile std::int32_t current;  // the file in hand; count once the floor is done
    std::int32_t reserved;
    FloorSlot slots[kMaxFiles];
};

}  // namespace floorbench
