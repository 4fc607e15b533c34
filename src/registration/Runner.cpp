// The runner's side: one request at a time from the pipe, each answered with a reply.
#include "registration/Runner.h"

#include <windows.h>
#include <objbase.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "registration/LoadDiagnosis.h"
#include "registration/RunnerProtocol.h"

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

// The library a probe left loaded for the call that normally follows on the same file, so that a
// component is loaded (and its initialisation run) once per file rather than twice.
// What is still loaded when the runner ends is never freed: the runner ends outright.
class Runner {
public:
    Response Serve(Request kind, const std::string& path) {
        if (kind == Request::Probe) return Probe(path);
        if (kind == Request::Register || kind == Request::Unregister) return Call(path, kind == Request::Register);
        return Answer(Answer::BadRequest);
    }

private:
    Response Probe(const std::string& path) {
        Release();
        HMODULE library = LoadComponent(path);
        if (library == nullptr) return LoadFailure(path, ::GetLastError());
        if (::GetProcAddress(library, kRegisterName) == nullptr) {
            ::FreeLibrary(library);
            return Answer(Answer::EntryMissing);
        }
        kept_ = library;
        keptPath_ = path;
        return Answer(Answer::Success);
    }

    Response Call(const std::string& path, bool registerFlag) {
        HMODULE library = nullptr;
        if (kept_ != nullptr && keptPath_ == path) {
            library = kept_;
            kept_ = nullptr;
            keptPath_.clear();
        } else {
            Release();
            library = LoadComponent(path);
            if (library == nullptr) return LoadFailure(path, ::GetLastError());
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

    void Release() {
        if (kept_ != nullptr) ::FreeLibrary(kept_);
        kept_ = nullptr;
        keptPath_.clear();
    }

    HMODULE kept_ = nullptr;
    std::string keptPath_;
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
    char system[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryA(system, MAX_PATH);
    if (length > 0 && length < MAX_PATH) ::SetCurrentDirectoryA(system);

    try {
        Runner runner;
        const Reply ready = Answer(Answer::Ready, kOwnMachine).reply;
        if (!WriteAll(pipe, &ready, sizeof ready)) return 3;
        for (;;) {
            RequestHeader header;
            if (!ReadAll(pipe, &header, sizeof header)) return 0;  // the program closed the pipe
            if (header.magic != kMagic || header.pathBytes == 0 || header.pathBytes > kMaxPathBytes) {
                const Reply bad = Answer(Answer::BadRequest).reply;
                WriteAll(pipe, &bad, sizeof bad);
                return 4;
            }
            std::string path(header.pathBytes, '\0');
            if (!ReadAll(pipe, path.data(), header.pathBytes)) return 0;
            // The reply and the detail it announces, in one write.
            const Response response = runner.Serve(header.kind, path);
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
