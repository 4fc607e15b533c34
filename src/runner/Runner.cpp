// The runner's side: one request at a time from the pipe, each answered with a reply.
#include "runner/Runner.h"

#include <windows.h>
#include <objbase.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "pe/DllSearch.h"
#include "pe/LoadDiagnosis.h"
#include "runner/PipeIo.h"
#include "runner/RunnerCapture.h"
#include "runner/RunnerLoad.h"
#include "runner/RunnerProtocol.h"
#include "runner/RunnerQuiet.h"
#include "runner/RunnerTest.h"
#include "runner/TypeLibrary.h"
#include "runner/UserClasses.h"
#include "win32/Handles.h"
#include "win32/Paths.h"
#include "win32/Text.h"

namespace runner {
namespace {

using EntryPoint = HRESULT(STDAPICALLTYPE*)();
using InstallPoint = HRESULT(STDAPICALLTYPE*)(BOOL install, LPCWSTR commandLine);

constexpr char kRegisterName[] = "DllRegisterServer";
constexpr char kUnregisterName[] = "DllUnregisterServer";
constexpr char kInstallName[] = "DllInstall";

// Ends the runner when the program ends, however it ends (where no job object could do it).
DWORD WINAPI WatchProgram(LPVOID parent) {
    ::WaitForSingleObject(static_cast<HANDLE>(parent), INFINITE);
    ::TerminateProcess(::GetCurrentProcess(), 0);
    return 0;
}

Response Answer(runner::Answer answer, DWORD code = 0) { return AnswerOf(answer, code); }

template <typename Function>
Function As(FARPROC entry) { return reinterpret_cast<Function>(reinterpret_cast<void*>(entry)); }

HRESULT CallPlain(FARPROC entry) { return As<EntryPoint>(entry)(); }

// The library a probe left loaded for the call that normally follows on the same file, so that a
// component is loaded (and its initialisation run) once per file rather than twice. The user's classes
// stay in place from a per-user load until that library is freed: its DllMain, its entry point and
// what it leaves behind all see the classes of one mode.
class Runner {
public:
    explicit Runner(bool restricted) : restricted_(restricted) {}
    Runner(const Runner&) = delete;
    Runner& operator=(const Runner&) = delete;
    // What is still loaded when the runner ends is never freed: the runner ends outright, and a
    // component's detach code is not to run (it may block or fault).
    ~Runner() { (void)kept_.release(); }

    Response Serve(Request kind, const std::string& text, std::uint32_t flags) {
        Response response = Dispatch(kind, text, (flags & kPerUserFlag) != 0, (flags & kKeepLoadedFlag) != 0);
        if (!kept_) classes_.Leave();  // nothing of the component is loaded any more
        return response;
    }

private:
    Response Dispatch(Request kind, const std::string& text, bool perUser, bool keep) {
        const auto none = [](ScratchOverrides&) { return DWORD{ERROR_SUCCESS}; };
        switch (kind) {
            case Request::Probe: return Probe(text, perUser, kRegisterName);
            case Request::ProbeInstall: return Probe(text, perUser, kInstallName);
            case Request::Register:
            case Request::Unregister: {
                const char* name = kind == Request::Register ? kRegisterName : kUnregisterName;
                return Call(text, perUser, keep, name, CallPlain, none);
            }
            case Request::Install:
            case Request::Uninstall: {
                std::string path, commandLine;
                bool hasCommandLine = false;
                if (!SplitInstallText(text, path, hasCommandLine, commandLine)) return Answer(Answer::BadRequest);
                const std::wstring wide = win32::Wide(commandLine);
                const BOOL install = kind == Request::Install ? TRUE : FALSE;
                return Call(path, perUser, keep, kInstallName,
                            [&](FARPROC entry) {
                                return As<InstallPoint>(entry)(install, hasCommandLine ? wide.c_str() : nullptr);
                            },
                            none);
            }
            case Request::Capture: return Capture(text);
            case Request::ProbeTypeLib:
            case Request::RegisterTypeLib:
            case Request::UnregisterTypeLib:
            case Request::CaptureTypeLib: return TypeLib(kind, text, perUser);
            default: return Answer(Answer::BadRequest);
        }
    }

    // Frees what was kept, puts HKEY_CLASSES_ROOT where the request wants it, then loads the file;
    // none, with the answer in `failure`, when that fails.
    win32::unique_hmodule Load(const std::string& path, bool perUser, Response& failure) {
        Release();
        if (perUser) {
            const DWORD error = classes_.Enter();
            if (error != ERROR_SUCCESS) {
                failure = Answer(Answer::LoadFailed, error);
                return nullptr;
            }
        }
        win32::unique_hmodule library = LoadComponent(path, restricted_);
        if (!library) {
            failure = LoadFailure(path, ::GetLastError());
            return library;
        }
        // Another file of this name, brought in by an earlier file's load, would be registered or
        // captured in its stead: the request goes to a fresh runner (the program tries it once more when
        // a runner ends mid-request), where the file is loaded as in a runner of its own. Where even a
        // fresh runner gets the other file (one the runner itself uses), it is served as the system loads it.
        if (loadedBefore_ && !IsFileLoaded(library.get(), path)) {
            ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(RunnerExit::Stale));
        }
        loadedBefore_ = true;
        return library;
    }

    Response Probe(const std::string& path, bool perUser, const char* name) {
        Response failure;
        win32::unique_hmodule library = Load(path, perUser, failure);
        if (!library) return failure;
        if (::GetProcAddress(library.get(), name) == nullptr) return Answer(Answer::EntryMissing);
        Keep(std::move(library), path, perUser);
        return Answer(Answer::Success);
    }

    void Keep(win32::unique_hmodule library, const std::string& path, bool perUser) {
        kept_ = std::move(library);
        keptPath_ = path;
        keptPerUser_ = perUser;
    }

    // The library the probe kept for this file and mode, else the file loaded afresh; none, with the
    // answer in `failure`, when that fails.
    win32::unique_hmodule Take(const std::string& path, bool perUser, Response& failure) {
        if (kept_ && keptPath_ == path && keptPerUser_ == perUser) {
            keptPath_.clear();
            return std::move(kept_);
        }
        return Load(path, perUser, failure);
    }

    // The entry point `name` of the file, called by `invoke` in a single-threaded apartment, as
    // components expect and the system's own registration tool gives; `redirect` runs inside the
    // apartment, just before it. With `keep`, the library stays loaded for the next call on the file.
    template <typename Invoke, typename Redirect>
    Response Call(const std::string& path, bool perUser, bool keep, const char* name, Invoke&& invoke,
                  Redirect&& redirect) {
        Response failure;
        win32::unique_hmodule library = Take(path, perUser, failure);
        if (!library) return failure;
        const FARPROC entry = ::GetProcAddress(library.get(), name);
        if (entry == nullptr) return Answer(Answer::EntryMissing);
        HRESULT hr = S_OK;
        {
            const win32::ComScope apartment(COINIT_APARTMENTTHREADED);
            ScratchOverrides overrides;
            const DWORD error = redirect(overrides);
            if (error != ERROR_SUCCESS) return Answer(Answer::CaptureFailed, error);
            try {
                hr = invoke(entry);
            } catch (...) {
                // The runner ends on it (Serve's catch); the library stays loaded, as the exception's
                // own code is in it.
                (void)library.release();
                throw;
            }
        }  // the keys are given back before the library's detach code runs
        if (keep) {
            Keep(std::move(library), path, perUser);
        } else {
            library.reset();
        }
        return SUCCEEDED(hr) ? Answer(Answer::Success) : Answer(Answer::EntryFailed, static_cast<DWORD>(hr));
    }

    // DllRegisterServer with the predefined keys in the scratch key. The component is loaded (and its
    // DllMain run) before that, machine-wide, as for a register run: only its registration is redirected.
    Response Capture(const std::string& text) {
        std::string path, scratchKey;
        if (!SplitCaptureText(text, path, scratchKey)) return Answer(Answer::BadRequest);
        return Call(path, false, false, kRegisterName, CallPlain,
                    [&scratchKey](ScratchOverrides& overrides) { return overrides.Enter(scratchKey); });
    }

    // A type library file's requests: nothing of it is kept loaded.
    Response TypeLib(Request kind, const std::string& text, bool perUser) {
        Release();
        return ServeTypeLibrary(kind, text, perUser);
    }

    // Frees the kept library, then gives HKEY_CLASSES_ROOT back to the machine.
    void Release() {
        kept_.reset();
        keptPath_.clear();
        classes_.Leave();
    }

    const bool restricted_;  // the runner's loads search as RestrictLibrarySearch set them up
    UserClasses classes_;
    win32::unique_hmodule kept_;
    std::string keptPath_;
    bool keptPerUser_ = false;  // loaded with the user's classes in place
    bool loadedBefore_ = false;  // some file was loaded in this runner already
};

HANDLE ParseHandle(const char*& text) {
    while (*text == ' ') ++text;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 10);
    if (end == text) return nullptr;
    text = end;
    return reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(value));
}

int Exit(RunnerExit code) { return static_cast<int>(code); }

int Serve(const char* commandLine) noexcept {
    const char* cursor = commandLine;
    while (*cursor == ' ') ++cursor;
    cursor += std::strlen(kRunnerSwitch);
    HANDLE pipe = ParseHandle(cursor);
    HANDLE parent = ParseHandle(cursor);
    if (pipe == nullptr || parent == nullptr) return Exit(RunnerExit::BadArguments);
    // Processes a component starts must not inherit our ends: they would keep the pipe open after us.
    ::SetHandleInformation(pipe, HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(parent, HANDLE_FLAG_INHERIT, 0);
    // The thread runs on; only our handle of it goes.
    win32::unique_handle watch(
        ::CreateThread(nullptr, 64 * 1024, WatchProgram, parent, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
    watch.reset();

    // Neither the runner's own folder (the programs' folder: a Downloads folder holds anything) nor the
    // current one is searched for any library loaded by name, by a component or by a system library
    // on its behalf; a current folder that holds only the system's own files besides. Where the
    // system refuses the restriction, the current folder at least goes.
    const bool restricted = RestrictLibrarySearch();
    if (!restricted) ::SetDllDirectoryA("");
    const std::string system = win32::SystemFolder();
    if (!system.empty()) ::SetCurrentDirectoryA(system.c_str());

    try {
        Runner runner(restricted);
        const Reply ready = Answer(Answer::Ready, kOwnMachine).reply;
        if (!WriteAll(pipe, &ready, sizeof ready)) return Exit(RunnerExit::ReadyNotSent);
        for (;;) {
            RequestHeader header;
            if (!ReadAll(pipe, &header, sizeof header)) return Exit(RunnerExit::Served);  // the program closed the pipe
            if (header.magic != kMagic || (header.flags & ~kKnownFlags) != 0 || header.pathBytes == 0 ||
                header.pathBytes > kMaxPathBytes) {
                const Reply bad = Answer(Answer::BadRequest).reply;
                WriteAll(pipe, &bad, sizeof bad);
                return Exit(RunnerExit::BadRequest);
            }
            std::string path(header.pathBytes, '\0');
            if (!ReadAll(pipe, path.data(), header.pathBytes)) return Exit(RunnerExit::Served);
            // A test answers item by item as it goes; it ends the runner where it cannot go on.
            if (header.kind == Request::Test) {
                if (!ServeTest(pipe, path)) return Exit(RunnerExit::Served);
                continue;
            }
            // The reply and the detail it announces, in one write.
            const Response response = runner.Serve(header.kind, path, header.flags);
            std::string message(reinterpret_cast<const char*>(&response.reply), sizeof response.reply);
            message += response.detail;
            if (!WriteAll(pipe, message.data(), static_cast<DWORD>(message.size()))) return Exit(RunnerExit::Served);
        }
    } catch (...) {
        return Exit(RunnerExit::Fault);
    }
}

}  // namespace

bool IsRunnerCommandLine(const char* commandLine) noexcept {
    if (commandLine == nullptr) return false;
    while (*commandLine == ' ') ++commandLine;
    const std::size_t length = std::strlen(kRunnerSwitch);
    return std::strncmp(commandLine, kRunnerSwitch, length) == 0 && commandLine[length] == ' ';
}

int RunnerMain(const char* commandLine) noexcept {
    Quieten();
    const int code = Serve(commandLine);
    // Ended outright: a normal exit would run the detach code of whatever a component left loaded.
    ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(code));
    return code;
}

}  // namespace runner
