// The runner's pipe: a name not guessed ahead, one instance, and access for the program's user alone.
#include <gtest/gtest.h>
#include <windows.h>
#include <aclapi.h>

#include <string>

#include "runner/RunnerPipe.h"
#include "win32/Handles.h"

namespace {

TEST(RunnerPipe, NamesDifferInTheirRandomPart) {
    const std::string first = runner::NewPipeName();
    const std::string second = runner::NewPipeName();
    const std::string prefix = "\\\\.\\pipe\\velquist-runner-" + std::to_string(::GetCurrentProcessId()) + "-";
    ASSERT_EQ(first.rfind(prefix, 0), 0u) << first;
    EXPECT_EQ(first.size(), prefix.size() + 32);
    EXPECT_NE(first, second);
}

// Wine reads a pipe's descriptor back without enforcing it: what is checked is what was asked for.
TEST(RunnerPipe, OneInstanceThatGrantsTheUserAlone) {
    const std::string name = runner::NewPipeName();
    const win32::unique_handle pipe = runner::CreateRunnerPipe(name);
    ASSERT_TRUE(win32::IsValid(pipe)) << ::GetLastError();
    EXPECT_FALSE(win32::IsValid(runner::CreateRunnerPipe(name)));

    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(::GetSecurityInfo(pipe.get(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                                nullptr, &descriptor),
              static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_NE(dacl, nullptr);
    EXPECT_EQ(dacl->AceCount, 1);
    void* ace = nullptr;
    ASSERT_TRUE(::GetAce(dacl, 0, &ace));
    const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
    EXPECT_EQ(allowed->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);

    HANDLE raw = nullptr;
    ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw));
    const win32::unique_handle token(raw);
    unsigned char user[SECURITY_MAX_SID_SIZE + sizeof(TOKEN_USER)] = {};
    DWORD size = 0;
    ASSERT_TRUE(::GetTokenInformation(token.get(), TokenUser, user, sizeof user, &size));
    EXPECT_TRUE(::EqualSid(const_cast<DWORD*>(&allowed->SidStart), reinterpret_cast<TOKEN_USER*>(user)->User.Sid));
    ::LocalFree(descriptor);
}

}  // namespace
