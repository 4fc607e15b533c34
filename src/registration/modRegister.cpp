// modRegister: the header check, the probe load and the time-limited call of a component's entry point.
#include "registration/modRegister.h"

#include <atomic>
#include <cstdio>
#include <memory>

#include "win32/Handles.h"

namespace modRegister {
namespace {

using EntryPoint = HRESULT(STDAPICALLTYPE*)();

#if defined(_M_X64) || defined(__x86_64__)
constexpr std::uint16_t kOwnMachine = peexports::kMachineAmd64;
#else
constexpr std::uint16_t kOwnMachine = peexports::kMachineI386;
#endif

constexpr char kRegisterName[] = "DllRegisterServer";
constexpr char kUnregisterName[] = "DllUnregisterServer";
// How long to wait for a worker to be gone after TerminateThread, which only starts its end.
constexpr DWORD kTerminateWaitMs = 2000;
// How long a load waits for another thread to leave the library loader before giving up.
constexpr DWORD kLoaderWaitMs = 2000;

Result Make(Outcome outcome, DWORD code = 0, peexports::ExportCheck headers = peexports::ExportCheck::Exported) {
    Result result;
    result.outcome = outcome;
    result.code = code;
    result.headers = headers;
    return result;
}

// The full path, or "" (with the system error) when there is none.
std::string FullPath(const std::string& path, DWORD& error) {
    error = ERROR_SUCCESS;
    if (path.empty()) {
        error = ERROR_INVALID_NAME;
        return {};
    }
    std::string full(MAX_PATH, '\0');
    for (;;) {
        const DWORD length = ::GetFullPathNameA(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0) {
            error = ::GetLastError();
            return {};
        }
        if (length < full.size()) {
            full.resize(length);
            return full;
        }
        full.resize(length);
    }
}

// Reads the file's headers without running any of it.
peexports::ExportCheck CheckHeaders(const std::string& fullPath, DWORD& error) {
    error = ERROR_SUCCESS;
    win32::unique_handle file(::CreateFileA(fullPath.c_str(), GENERIC_READ,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!win32::IsValid(file)) {
        error = ::GetLastError();
        return peexports::ExportCheck::NotPe;
    }
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size)) {
        error = ::GetLastError();
        return peexports::ExportCheck::NotPe;
    }
    if (size.QuadPart == 0) return peexports::ExportCheck::NotPe;  // an empty file cannot be mapped
    if (static_cast<unsigned long long>(size.QuadPart) > SIZE_MAX) return peexports::ExportCheck::Malformed;
    win32::unique_handle mapping(::CreateFileMappingA(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!win32::IsValid(mapping)) {
        error = ::GetLastError();
        return peexports::ExportCheck::NotPe;
    }
    win32::unique_view view(::MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0));
    if (!view) {
        error = ::GetLastError();
        return peexports::ExportCheck::NotPe;
    }
    return peexports::CheckExport(static_cast<const unsigned char*>(view.get()), static_cast<std::size_t>(size.QuadPart),
                                  kOwnMachine, kRegisterName);
}


// A worker ended by force while inside the library loader (say, blocked in some DLL's initialisation)
// leaves the loader locked for good, and every later load or release in the process would hang. So we
// look before we load: waits up to waitMs for the loader to be free, false if it never was.
bool LoaderAvailable(DWORD waitMs) {
    using LockFunction = LONG(NTAPI*)(ULONG flags, ULONG* disposition, ULONG_PTR* cookie);
    using UnlockFunction = LONG(NTAPI*)(ULONG flags, ULONG_PTR cookie);
    constexpr ULONG kTryOnly = 0x2;
    constexpr ULONG kAcquired = 1;
    static const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    static const auto lock = reinterpret_cast<LockFunction>(
        reinterpret_cast<void*>(::GetProcAddress(ntdll, "LdrLockLoaderLock")));
    static const auto unlock = reinterpret_cast<UnlockFunction>(
        reinterpret_cast<void*>(::GetProcAddress(ntdll, "LdrUnlockLoaderLock")));
    if (lock == nullptr || unlock == nullptr) return true;
    const ULONGLONG deadline = ::GetTickCount64() + waitMs;
    for (;;) {
        ULONG disposition = 0;
        ULONG_PTR cookie = 0;
        if (lock(kTryOnly, &disposition, &cookie) == 0 && disposition == kAcquired) {
            unlock(0, cookie);
            return true;
        }
        if (::GetTickCount64() >= deadline) return false;
        ::Sleep(10);
    }
}

// Loads exactly the file named, its own folder searched first for its dependencies and the current
// folder never. A trailing '.' keeps LoadLibrary from adding ".dll" to a name without an extension.
HMODULE LoadComponent(const std::string& fullPath) {
    if (!LoaderAvailable(kLoaderWaitMs)) {
        ::SetLastError(ERROR_POSSIBLE_DEADLOCK);
        return nullptr;
    }
    std::string loadPath = fullPath;
    const auto nameStart = loadPath.find_last_of("\\/");
    const auto dot = loadPath.find('.', nameStart == std::string::npos ? 0 : nameStart + 1);
    if (dot == std::string::npos) loadPath += '.';
    DWORD oldMode = 0;
    ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &oldMode);
    HMODULE library = ::LoadLibraryExA(loadPath.c_str(), nullptr,
                                       LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    const DWORD error = ::GetLastError();
    ::SetThreadErrorMode(oldMode, nullptr);
    ::SetLastError(error);
    return library;
}

// Shared between one call and its worker. A worker that cannot be shown to have ended keeps it for ever.
struct Worker {
    EntryPoint entry = nullptr;
    std::atomic<bool> returned{false};
    std::atomic<bool> crashed{false};
    HRESULT hr = S_OK;
    DWORD exceptionCode = 0;
};

// The worker's Worker, so that the crash filter can tell a worker's fault from anyone else's.
DWORD g_workerSlot = TLS_OUT_OF_INDEXES;
std::atomic<LPTOP_LEVEL_EXCEPTION_FILTER> g_previousFilter{nullptr};

// An exception nobody handled: on a worker, it ends only that thread; elsewhere, whoever came before us.
LONG WINAPI WorkerCrashFilter(EXCEPTION_POINTERS* info) {
    auto* worker = g_workerSlot == TLS_OUT_OF_INDEXES ? nullptr : static_cast<Worker*>(::TlsGetValue(g_workerSlot));
    if (worker == nullptr) {
        const LPTOP_LEVEL_EXCEPTION_FILTER previous = g_previousFilter.load();
        return previous != nullptr ? previous(info) : EXCEPTION_CONTINUE_SEARCH;
    }
    const DWORD code = info != nullptr && info->ExceptionRecord != nullptr ? info->ExceptionRecord->ExceptionCode
                                                                           : static_cast<DWORD>(E_UNEXPECTED);
    if (worker->crashed.load()) {
        // A second fault while the thread was ending (in a library's thread-detach code): end it at once.
        ::TerminateThread(::GetCurrentThread(), code);
    }
    worker->exceptionCode = code;
    worker->crashed.store(true);
    ::ExitThread(code);
}

bool InstallCrashFilter() {
    static const bool slotReady = [] {
        g_workerSlot = ::TlsAlloc();
        return g_workerSlot != TLS_OUT_OF_INDEXES;
    }();
    if (!slotReady) return false;
    // Set again on every call, in case someone replaced it since.
    const LPTOP_LEVEL_EXCEPTION_FILTER previous = ::SetUnhandledExceptionFilter(WorkerCrashFilter);
    if (previous != WorkerCrashFilter) g_previousFilter.store(previous);
    return true;
}

// The worker: a single-threaded COM apartment (as components expect), the entry point, nothing else.
DWORD WINAPI WorkerMain(LPVOID parameter) {
    auto* worker = static_cast<Worker*>(parameter);
    ::TlsSetValue(g_workerSlot, worker);
    const HRESULT apartment = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const HRESULT hr = worker->entry();
    worker->hr = hr;
    if (SUCCEEDED(apartment)) ::CoUninitialize();
    worker->returned.store(true);
    ::TlsSetValue(g_workerSlot, nullptr);
    return static_cast<DWORD>(hr);
}

// After a worker was ended by force, the component's code may still run in threads it started, and
// its state is unknown: unloading it could crash the program later. It stays loaded for good.
void KeepLoaded(win32::unique_hmodule& library) {
    HMODULE pinned = nullptr;
    // Pinning takes the loader lock, which the ended worker may have left locked; not freeing is enough.
    if (LoaderAvailable(0)) {
        ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                             reinterpret_cast<LPCSTR>(library.get()), &pinned);
    }
    (void)library.release();
}

Result CheckedFile(const std::string& path, std::string& fullPath) {
    DWORD error = ERROR_SUCCESS;
    fullPath = FullPath(path, error);
    if (fullPath.empty()) return Make(Outcome::LoadFailed, error, peexports::ExportCheck::NotPe);
    const peexports::ExportCheck headers = CheckHeaders(fullPath, error);
    if (error != ERROR_SUCCESS) return Make(Outcome::LoadFailed, error, headers);
    if (headers != peexports::ExportCheck::Exported) return Make(Outcome::NotComponent, 0, headers);
    return Make(Outcome::Success);
}

Result Call(const std::string& path, bool registerFlag, DWORD waitLimitMs) {
    std::string fullPath;
    const Result checked = CheckedFile(path, fullPath);
    if (!checked.Succeeded()) return checked;

    win32::unique_hmodule library(LoadComponent(fullPath));
    if (!library) return Make(Outcome::LoadFailed, ::GetLastError());
    const FARPROC entry = ::GetProcAddress(library.get(), registerFlag ? kRegisterName : kUnregisterName);
    if (entry == nullptr) return Make(Outcome::EntryMissing);
    if (!InstallCrashFilter()) return Make(Outcome::ThreadNotCreated, ::GetLastError());

    auto worker = std::make_unique<Worker>();
    worker->entry = reinterpret_cast<EntryPoint>(reinterpret_cast<void*>(entry));
    DWORD threadId = 0;
    win32::unique_handle thread(::CreateThread(nullptr, 0, WorkerMain, worker.get(), 0, &threadId));
    if (!thread) return Make(Outcome::ThreadNotCreated, ::GetLastError());

    if (::WaitForSingleObject(thread.get(), waitLimitMs) == WAIT_OBJECT_0) {
        if (worker->crashed.load()) {
            KeepLoaded(library);
            return Make(Outcome::Crashed, worker->exceptionCode);
        }
        if (!worker->returned.load()) {  // the entry point ended its own thread
            DWORD exitCode = 0;
            ::GetExitCodeThread(thread.get(), &exitCode);
            return Make(Outcome::EntryFailed, exitCode);
        }
        return SUCCEEDED(worker->hr) ? Make(Outcome::Success) : Make(Outcome::EntryFailed, static_cast<DWORD>(worker->hr));
    }

    // Overran (or the wait failed): end the worker, then make sure it is gone before its state is.
    DWORD exitCode = 0;
    ::GetExitCodeThread(thread.get(), &exitCode);
    ::TerminateThread(thread.get(), exitCode);
    const bool ended = ::WaitForSingleObject(thread.get(), kTerminateWaitMs) == WAIT_OBJECT_0;
    KeepLoaded(library);
    if (!ended) {
        (void)worker.release();
        return Make(Outcome::TimedOut);
    }
    if (worker->crashed.load()) return Make(Outcome::Crashed, worker->exceptionCode);
    return Make(Outcome::TimedOut);
}

Result Probe(const std::string& path) {
    std::string fullPath;
    const Result checked = CheckedFile(path, fullPath);
    if (!checked.Succeeded()) return checked;
    win32::unique_hmodule library(LoadComponent(fullPath));
    if (!library) return Make(Outcome::LoadFailed, ::GetLastError());
    if (::GetProcAddress(library.get(), kRegisterName) == nullptr) return Make(Outcome::EntryMissing);
    return Make(Outcome::Success);
}

std::string Hex(DWORD value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(value));
    return text;
}

}  // namespace

Result ProbeComponent(const std::string& path) {
    try {
        return Probe(path);
    } catch (...) {  // only allocation can throw here; nothing crosses the interface
        return Make(Outcome::LoadFailed, ERROR_NOT_ENOUGH_MEMORY);
    }
}

Result CallServerEntry(const std::string& path, bool registerFlag, DWORD waitLimitMs) {
    try {
        return Call(path, registerFlag, waitLimitMs);
    } catch (...) {
        return Make(Outcome::ThreadNotCreated, ERROR_NOT_ENOUGH_MEMORY);
    }
}

bool IsDLLActiveX(const std::string& path) { return ProbeComponent(path).Succeeded(); }

bool RunServerEntry(const std::string& path, bool registerFlag, DWORD waitLimitMs) {
    return CallServerEntry(path, registerFlag, waitLimitMs).Succeeded();
}

std::string Describe(const Result& result) {
    switch (result.outcome) {
        case Outcome::Success: return "succeeded";
        case Outcome::NotComponent: return std::string("not an ActiveX component: ") + peexports::Describe(result.headers);
        case Outcome::LoadFailed: return "could not be loaded (error " + std::to_string(result.code) + ")";
        case Outcome::EntryMissing: return "has no such entry point";
        case Outcome::ThreadNotCreated: return "no worker thread (error " + std::to_string(result.code) + ")";
        case Outcome::EntryFailed: return "the entry point failed (" + Hex(result.code) + ")";
        case Outcome::TimedOut: return "timed out";
        case Outcome::Crashed: return "crashed (exception " + Hex(result.code) + ")";
    }
    return "unknown";
}

}  // namespace modRegister
