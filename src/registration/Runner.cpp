// The runner's side: one request at a time from the pipe, each answered with a reply.
#include "registration/Runner.h"

#include <windows.h>
#include <objbase.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "registration/LoadDiagnosis.h"
#include "registration/RunnerProtocol.h"
#include "win32/Paths.h"

namespace runner {
namespace {

using EntryPoint = HRESULT(STDAPICALLTYPE*)();

constexpr char kRegisterName[] = "DllRegisterServer";
constexpr char kUnregisterName[] = "DllUnregisterServer";

// A fault nobody handled, on any thread (the component's own included): the runner ends at once with
// the exception code as its exit code, before the system can show a dialog or start a debugger.
LONG WINAPI LastChance(EXCEPTION_POINTERS* info) {
    const DWORD code = info != nullptr && info->ExceptionRecord != nullptr ? info->ExceptionRecord->ExceptionCode
                                                                           : static_cast<DWORD>(E_UNEXPECTED);
    ::TerminateProcess(::GetCurrentProcess(), code);
    return EXCEPTION_EXECUTE_HANDLER;
}

// Ends the runner when the program ends, however it ends (where no job object could do it).
DWORD WINAPI WatchProgram(LPVOID parent) {
    ::WaitForSingleObject(static_cast<HANDLE>(parent), INFINITE);
    ::TerminateProcess(::GetCurrentProcess(), 0);
    return 0;
}

bool ReadAll(HANDLE pipe, void* buffer, DWORD size) {
    auto* bytes = static_cast<char*>(buffer);
    while (size > 0) {
        DWORD read = 0;
        if (!::ReadFile(pipe, bytes, size, &read, nullptr) || read == 0) return false;
        bytes += read;
        size -= read;
    }
    return true;
}

bool WriteAll(HANDLE pipe, const void* buffer, DWORD size) {
    const auto* bytes = static_cast<const char*>(buffer);
    while (size > 0) {
        DWORD written = 0;
        if (!::WriteFile(pipe, bytes, size, &written, nullptr) || written == 0) return false;
        bytes += written;
        size -= written;
    }
    return true;
}

// A reply and the detail that follows it on the pipe.
struct Response {
    Reply reply;
    std::string detail;
};

Response Answer(runner::Answer answer, DWORD code = 0) {
    Response response;
    response.reply.answer = answer;
    response.reply.code = code;
    return response;
}

// A failed load, with the import behind it when its error says an import is unmet. The runner is the
// place to look: its system folder and loaded libraries are those of the component's bitness.
Response LoadFailure(const std::string& path, DWORD error) {
    Response response = Answer(Answer::LoadFailed, error);
    if (error == ERROR_MOD_NOT_FOUND || error == ERROR_PROC_NOT_FOUND) {
        response.detail = EncodeDetail(FindUnmetImport(path, error));
        response.reply.detailBytes = static_cast<std::uint32_t>(response.detail.size());
    }
    return response;
}

// Loads exactly the file named; its dependencies from its own folder first, then the system folders and
// PATH, never the current folder. A trailing '.' keeps the loader from adding ".dll" to a bare name.
HMODULE LoadComponent(const std::string& fullPath) {
    std::string loadPath = fullPath;
    const auto nameStart = loadPath.find_last_of("\\/");
    if (loadPath.find('.', nameStart == std::string::npos ? 0 : nameStart + 1) == std::string::npos) loadPath += '.';
    return ::LoadLibraryExA(loadPath.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// Lets RegisterTypeLib follow HKEY_CLASSES_ROOT to the user's classes, where oleaut32 has the switch
// (Vista SP1 and later; Wine 8 has none). The setting is the process's and oleaut32 stays loaded to
// keep it; it matters only while HKEY_CLASSES_ROOT is overridden.
void EnablePerUserTypeLibraries() {
    static bool done = false;
    if (done) return;
    done = true;
    const std::string system = win32::SystemFolder();
    if (system.empty()) return;
    HMODULE oleaut = ::LoadLibraryA((system + "\\oleaut32.dll").c_str());
    if (oleaut == nullptr) return;
    using EnableFunction = void(WINAPI*)();
    if (auto enable = reinterpret_cast<EnableFunction>(
            reinterpret_cast<void*>(::GetProcAddress(oleaut, "OaEnablePerUserTLibRegistration")))) {
        enable();
    }
}

// While entered, this process's HKEY_CLASSES_ROOT is HKEY_CURRENT_USER\Software\Classes: what a component
// registers there is for the current user only and needs no administrator.
class UserClasses {
public:
    UserClasses() = default;
    UserClasses(const UserClasses&) = delete;
    UserClasses& operator=(const UserClasses&) = delete;
    ~UserClasses() { Leave(); }

    // ERROR_SUCCESS, or the system error that left HKEY_CLASSES_ROOT as it was.
    DWORD Enter() {
        if (entered_) return ERROR_SUCCESS;
        HKEY classes = nullptr;
        // Created if missing: a new profile (or Wine prefix) has no classes of its own yet.
        LONG error = ::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Classes", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                       &classes, nullptr);
        if (error != ERROR_SUCCESS) return static_cast<DWORD>(error);
        error = ::RegOverridePredefKey(HKEY_CLASSES_ROOT, classes);
        ::RegCloseKey(classes);  // the override holds its own reference
        if (error != ERROR_SUCCESS) return static_cast<DWORD>(error);
        entered_ = true;
        EnablePerUserTypeLibraries();
        return ERROR_SUCCESS;
    }

    void Leave() noexcept {
        if (!entered_) return;
        ::RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
        entered_ = false;
    }

private:
    bool entered_ = false;
};

// The library a probe left loaded for the call that normally follows on the same file, so that a
// component is loaded (and its initialisation run) once per file rather than twice. The user's classes
// stay in place from a per-user load until that library is freed: its DllMain, its entry point and
// what it leaves behind all see the classes of one mode.
// What is still loaded when the runner ends is never freed: the runner ends outright.
class Runner {
public:
    Response Serve(Request kind, const std::string& path, bool perUser) {
        Response response = Dispatch(kind, path, perUser);
        if (kept_ == nullptr) classes_.Leave();  // nothing of the component is loaded any more
        return response;
    }

private:
    Response Dispatch(Request kind, const std::string& path, bool perUser) {
        if (kind == Request::Probe) return Probe(path, perUser);
        if (kind == Request::Register || kind == Request::Unregister) {
            return Call(path, kind == Request::Register, perUser);
        }
        return Answer(Answer::BadRequest);
    }

    // Frees what was kept, puts HKEY_CLASSES_ROOT where the request wants it, then loads the file;
    // nullptr with the answer in `failure` when that fails.
    HMODULE Load(const std::string& path, bool perUser, Response& failure) {
        Release();
        if (perUser) {
            const DWORD error = classes_.Enter();
            if (error != ERROR_SUCCESS) {
                failure = Answer(Answer::LoadFailed, error);
                return nullptr;
            }
        }
        HMODULE library = LoadComponent(path);
        if (library == nullptr) failure = LoadFailure(path, ::GetLastError());
        return library;
    }

    Response Probe(const std::string& path, bool perUser) {
        Response failure;
        HMODULE library = Load(path, perUser, failure);
        if (library == nullptr) return failure;
        if (::GetProcAddress(library, kRegisterName) == nullptr) {
            ::FreeLibrary(library);
            return Answer(Answer::EntryMissing);
        }
        kept_ = library;
        keptPath_ = path;
        keptPerUser_ = perUser;
        return Answer(Answer::Success);
    }

    Response Call(const std::string& path, bool registerFlag, bool perUser) {
        HMODULE library = nullptr;
        if (kept_ != nullptr && keptPath_ == path && keptPerUser_ == perUser) {
            library = kept_;
            kept_ = nullptr;
            keptPath_.clear();
        } else {
            Response failure;
            library = Load(path, perUser, failure);
            if (library == nullptr) return failure;
        }
        const auto entry = reinterpret_cast<EntryPoint>(
            reinterpret_cast<void*>(::GetProcAddress(library, registerFlag ? kRegisterName : kUnregisterName)));
        if (entry == nullptr) {
            ::FreeLibrary(library);
            return Answer(Answer::EntryMissing);
        }
        // A single-threaded apartment, as components expect and the system's own registration tool gives.
        const HRESULT apartment = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        const HRESULT hr = entry();
        if (SUCCEEDED(apartment)) ::CoUninitialize();
        ::FreeLibrary(library);
        return SUCCEEDED(hr) ? Answer(Answer::Success) : Answer(Answer::EntryFailed, static_cast<DWORD>(hr));
    }

    // Frees the kept library, then gives HKEY_CLASSES_ROOT back to the machine.
    void Release() {
        if (kept_ != nullptr) ::FreeLibrary(kept_);
        kept_ = nullptr;
        keptPath_.clear();
        classes_.Leave();
    }

    UserClasses classes_;
    HMODULE kept_ = nullptr;
    std::string keptPath_;
    bool keptPerUser_ = false;  // loaded with the user's classes in place
};

HANDLE ParseHandle(const char*& text) {
    while (*text == ' ') ++text;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 10);
    if (end == text) return nullptr;
    text = end;
    return reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(value));
}

// No dialog of any kind from the runner: no critical-error or fault boxes from the system, no
// "abnormal termination" box from the C runtime that components share with us.
void Quieten() {
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

}  // namespace

bool IsRunnerCommandLine(const char* commandLine) noexcept {
    if (commandLine == nullptr) return false;
    while (*commandLine == ' ') ++commandLine;
    const std::size_t length = std::strlen(kRunnerSwitch);
    return std::strncmp(commandLine, kRunnerSwitch, length) == 0 && commandLine[length] == ' ';
}

namespace {

int Serve(const char* commandLine) noexcept {
    const char* cursor = commandLine;
    while (*cursor == ' ') ++cursor;
    cursor += std::strlen(kRunnerSwitch);
    HANDLE pipe = ParseHandle(cursor);
    HANDLE parent = ParseHandle(cursor);
    if (pipe == nullptr || parent == nullptr) return 2;
    // Processes a component starts must not inherit our ends: they would keep the pipe open after us.
    ::SetHandleInformation(pipe, HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(parent, HANDLE_FLAG_INHERIT, 0);
    HANDLE watch = ::CreateThread(nullptr, 64 * 1024, WatchProgram, parent, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (watch != nullptr) ::CloseHandle(watch);

    // Never the current folder in the search: no DLL directory of ours, and a current folder that
    // holds only the system's own files.
    ::SetDllDirectoryA("");
    const std::string system = win32::SystemFolder();
    if (!system.empty()) ::SetCurrentDirectoryA(system.c_str());

    try {
        Runner runner;
        const Reply ready = Answer(Answer::Ready, kOwnMachine).reply;
        if (!WriteAll(pipe, &ready, sizeof ready)) return 3;
        for (;;) {
            RequestHeader header;
            if (!ReadAll(pipe, &header, sizeof header)) return 0;  // the program closed the pipe
            if (header.magic != kMagic || (header.flags & ~kKnownFlags) != 0 || header.pathBytes == 0 ||
                header.pathBytes > kMaxPathBytes) {
                const Reply bad = Answer(Answer::BadRequest).reply;
                WriteAll(pipe, &bad, sizeof bad);
                return 4;
            }
            std::string path(header.pathBytes, '\0');
            if (!ReadAll(pipe, path.data(), header.pathBytes)) return 0;
            // The reply and the detail it announces, in one write.
            const Response response = runner.Serve(header.kind, path, (header.flags & kPerUserFlag) != 0);
            std::string message(reinterpret_cast<const char*>(&response.reply), sizeof response.reply);
            message += response.detail;
            if (!WriteAll(pipe, message.data(), static_cast<DWORD>(message.size()))) return 0;
        }
    } catch (...) {
        return 5;
    }
}

}  // namespace

int RunnerMain(const char* commandLine) noexcept {
    Quieten();
    const int code = Serve(commandLine);
    // Ended outright: a normal exit would run the detach code of whatever a component left loaded.
    ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(code));
    return code;
}

}  // namespace runner
