// The floor of a register run: one process, no window, no runner; each component of this process's
// bitness loaded and registered in turn. Started and watched by register_bench, which restarts it
// after a file that ended it or hung it.
//   register_floor FOLDER MAPPING START
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "BenchFiles.h"
#include "FloorProtocol.h"
#include "win32/Handles.h"

namespace {

using EntryPoint = HRESULT(STDAPICALLTYPE*)();
using floorbench::FloorOutcome;

#if defined(__x86_64__) || defined(_M_X64)
constexpr std::uint16_t kOwnMachine = peexports::kMachineAmd64;
#else
constexpr std::uint16_t kOwnMachine = peexports::kMachineI386;
#endif

// A fault nobody handled ends the floor with its code before Wine can start a debugger.
LONG WINAPI LastChance(EXCEPTION_POINTERS* info) {
    ::TerminateProcess(::GetCurrentProcess(), info && info->ExceptionRecord ? info->ExceptionRecord->ExceptionCode
                                                                             : static_cast<DWORD>(E_UNEXPECTED));
    return EXCEPTION_EXECUTE_HANDLER;
}

// What the runner does once at start, so that both load components under the same conditions.
void Prepare() {
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    ::SetUnhandledExceptionFilter(LastChance);
    ULONG guarantee = 64 * 1024;
    ::SetThreadStackGuarantee(&guarantee);
    if (HMODULE crt = ::GetModuleHandleA("msvcrt.dll")) {
        using SetAbortFunction = unsigned(__cdecl*)(unsigned, unsigned);
        if (auto setAbort = reinterpret_cast<SetAbortFunction>(
                reinterpret_cast<void*>(::GetProcAddress(crt, "_set_abort_behavior")))) {
            setAbort(0, 0x1 | 0x2);
        }
    }
    ::SetDllDirectoryA("");
    char system[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryA(system, MAX_PATH);
    if (length > 0 && length < MAX_PATH) ::SetCurrentDirectoryA(system);
}

std::uint32_t Micros(double from, double to) { return static_cast<std::uint32_t>((to - from) * 1e6 + 0.5); }

void Register(const std::string& path, floorbench::FloorSlot& slot) {
    double t = benchfiles::Seconds();
    const peexports::HeaderCheck headers = benchfiles::ReadHeaders(path);
    double now = benchfiles::Seconds();
    slot.headerMicros = Micros(t, now);
    if (headers.check != peexports::ExportCheck::Exported) {
        slot.outcome = static_cast<std::int32_t>(FloorOutcome::NotComponent);
        return;
    }
    if (headers.machine != kOwnMachine) {
        slot.outcome = static_cast<std::int32_t>(FloorOutcome::OtherMachine);
        return;
    }
    t = now;
    HMODULE library = ::LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (library == nullptr) {
        slot.code = ::GetLastError();
        slot.loadMicros = Micros(t, benchfiles::Seconds());
        slot.outcome = static_cast<std::int32_t>(FloorOutcome::LoadFailed);
        return;
    }
    const auto entry =
        reinterpret_cast<EntryPoint>(reinterpret_cast<void*>(::GetProcAddress(library, "DllRegisterServer")));
    now = benchfiles::Seconds();
    slot.loadMicros = Micros(t, now);
    t = now;
    if (entry == nullptr) {
        ::FreeLibrary(library);
        slot.callMicros = Micros(t, benchfiles::Seconds());
        slot.outcome = static_cast<std::int32_t>(FloorOutcome::EntryMissing);
        return;
    }
    const HRESULT apartment = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const HRESULT hr = entry();
    if (SUCCEEDED(apartment)) ::CoUninitialize();
    ::FreeLibrary(library);
    slot.callMicros = Micros(t, benchfiles::Seconds());
    slot.code = static_cast<std::uint32_t>(hr);
    slot.outcome = static_cast<std::int32_t>(SUCCEEDED(hr) ? FloorOutcome::Registered : FloorOutcome::EntryFailed);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: register_floor FOLDER MAPPING START\n");
        return 2;
    }
    Prepare();
    const win32::unique_handle mapping(::OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, argv[2]));
    const win32::unique_view view(
        mapping ? ::MapViewOfFile(mapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, sizeof(floorbench::FloorShared)) : nullptr);
    auto* shared = static_cast<floorbench::FloorShared*>(const_cast<void*>(view.get()));
    if (shared == nullptr || shared->magic != floorbench::kMagic) {
        std::fprintf(stderr, "register_floor: no shared memory %s\n", argv[2]);
        return 2;
    }
    const int start = std::atoi(argv[3]);
    const std::vector<std::string> files = benchfiles::ListTree(argv[1]);
    const int count = static_cast<int>(files.size());
    if (count > floorbench::kMaxFiles || (start > 0 && count != shared->count)) {
        std::fprintf(stderr, "register_floor: %d files, expected at most %d (or %d on a restart)\n", count,
                     floorbench::kMaxFiles, shared->count);
        return 2;
    }
    if (start == 0) {
        for (int i = 0; i < count; ++i) {
            std::strncpy(shared->slots[i].path, files[i].c_str(), floorbench::kPathBytes - 1);
        }
        shared->count = count;
    }
    for (int i = start; i < count; ++i) {
        ::InterlockedExchange(reinterpret_cast<volatile LONG*>(&shared->current), i);
        Register(files[i], shared->slots[i]);
    }
    ::InterlockedExchange(reinterpret_cast<volatile LONG*>(&shared->current), count);
    // Ended outright, as the runner ends: a normal exit would run the detach code of whatever a
    // component left loaded, and could still crash after the work is done.
    ::TerminateProcess(::GetCurrentProcess(), 0);
    return 0;
}
