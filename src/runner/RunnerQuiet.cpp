// The runner's silence: error modes, the last-chance filter and the C runtime's abort behaviour.
#include "runner/RunnerQuiet.h"

#include <windows.h>

#include <atomic>

namespace runner {
namespace {

std::atomic<FaultWitness*> witness{nullptr};

// A fault nobody handled, on any thread (the component's own included): the runner ends at once with
// the exception code as its exit code, before the system can show a dialog or start a debugger.
LONG WINAPI LastChance(EXCEPTION_POINTERS* info) {
    const DWORD code = info != nullptr && info->ExceptionRecord != nullptr ? info->ExceptionRecord->ExceptionCode
                                                                           : static_cast<DWORD>(E_UNEXPECTED);
    if (FaultWitness* told = witness.exchange(nullptr)) told->Witness(code);  // once, even if it faults again
    ::TerminateProcess(::GetCurrentProcess(), code);
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

void SetFaultWitness(FaultWitness* told) noexcept { witness.store(told); }

void Quieten() noexcept {
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    ::SetUnhandledExceptionFilter(LastChance);
    ULONG guarantee = 64 * 1024;  // stack left for the filter after an overflow
    ::SetThreadStackGuarantee(&guarantee);
    if (HMODULE crt = ::GetModuleHandleA("msvcrt.dll")) {
        using SetErrorModeFunction = int(__cdecl*)(int);
        using SetAbortFunction = unsigned(__cdecl*)(unsigned, unsigned);
        if (auto setMode = reinterpret_cast<SetErrorModeFunction>(
                reinterpret_cast<void*>(::GetProcAddress(crt, "_set_error_mode")))) {
            setMode(1);  // _OUT_TO_STDERR
        }
        if (auto setAbort = reinterpret_cast<SetAbortFunction>(
                reinterpret_cast<void*>(::GetProcAddress(crt, "_set_abort_behavior")))) {
            setAbort(0, 0x1 | 0x2);  // neither _WRITE_ABORT_MSG nor _CALL_REPORTFAULT
        }
    }
}

}  // namespace runner
