// The pipe between the program and one runner, and the runner's start on it.
#define _CRT_RAND_S
#include "runner/RunnerPipe.h"

#include <sddl.h>

#include "runner/RunnerProtocol.h"
#include "win32/Paths.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace runner {
namespace {

// "D:P(A;;GA;;;<the token's user>)": a protected list that grants everything to that user and nothing
// to anyone else; "" when the token cannot be read.
std::string OwnerOnlyDescriptor() {
    HANDLE raw = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return {};
    const win32::unique_handle token(raw);
    DWORD size = 0;
    ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size);
    if (size == 0 || !::GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) return {};
    char* text = nullptr;
    if (!::ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) return {};
    const win32::unique_hlocal<char> sid(text);
    return std::string("D:P(A;;GA;;;") + sid.get() + ")";
}

}  // namespace

std::string NewPipeName() {
    std::string name = "\\\\.\\pipe\\velquist-runner-" + std::to_string(::GetCurrentProcessId()) + "-";
    for (int i = 0; i < 4; ++i) {
        unsigned int bits = 0;
        if (rand_s(&bits) != 0) return {};
        char hex[9] = {};
        std::snprintf(hex, sizeof hex, "%08x", bits);
        name += hex;
    }
    return name;
}

win32::unique_handle CreateRunnerPipe(const std::string& name) {
    const std::string descriptor = OwnerOnlyDescriptor();
    PSECURITY_DESCRIPTOR made = nullptr;
    if (descriptor.empty() ||
        !::ConvertStringSecurityDescriptorToSecurityDescriptorA(descriptor.c_str(), SDDL_REVISION_1, &made, nullptr)) {
        return win32::unique_handle(INVALID_HANDLE_VALUE);
    }
    win32::unique_hlocal<void> security(made);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, security.get(), FALSE};
    win32::unique_handle pipe(::CreateNamedPipeA(
        name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 4096, 4096, 0, &attributes));
    const DWORD error = ::GetLastError();  // the caller reads why a name was refused
    security.reset();
    ::SetLastError(error);
    return pipe;
}

bool StartSuspendedRunner(const std::string& program, HANDLE runnerEnd, HANDLE parent, PROCESS_INFORMATION& info) {
    std::string commandLine = "\"" + program + "\" " + kRunnerSwitch + " " +
                              std::to_string(reinterpret_cast<ULONG_PTR>(runnerEnd)) + " " +
                              std::to_string(reinterpret_cast<ULONG_PTR>(parent));
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;  // no console handles of ours
    const std::string system = win32::SystemFolder();
    const auto start = [&] {
        return ::CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                CREATE_SUSPENDED | CREATE_NO_WINDOW, nullptr, system.empty() ? nullptr : system.c_str(),
                                &startup, &info);
    };
    // A process that ended before the system had set it up (Wine says so with ERROR_INTERNAL_ERROR, and
    // does under CPU emulation, seldom) ran nothing of the runner: it is started once more.
    return start() || (::GetLastError() == ERROR_INTERNAL_ERROR && start());
}

}  // namespace runner
