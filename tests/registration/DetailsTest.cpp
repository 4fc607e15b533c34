// The detail texts of result lines, for each outcome; never the system's own wording.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "registration/Details.h"

namespace {

using modRegister::Outcome;
using modRegister::Result;

Result Make(Outcome outcome, DWORD code = 0) {
    Result result;
    result.outcome = outcome;
    result.code = code;
    result.headers = peexports::ExportCheck::Exported;
    result.machine = peexports::kMachineI386;
    return result;
}

Result Missing(const char* library, const char* function, const char* neededBy) {
    Result result = Make(Outcome::LoadFailed, function[0] ? ERROR_PROC_NOT_FOUND : ERROR_MOD_NOT_FOUND);
    result.missingLibrary = library;
    result.missingFunction = function;
    result.neededBy = neededBy;
    return result;
}

Result OtherMachine(Outcome outcome, std::uint16_t machine) {
    Result result = Make(outcome);
    result.machine = machine;
    if (outcome == Outcome::NotComponent) result.headers = peexports::ExportCheck::WrongMachine;
    return result;
}

// A runner of that machine that could not be started: the system error, or (runnerExit) its exit code.
Result Unavailable(std::uint16_t machine, DWORD code, bool runnerExit = false) {
    Result result = OtherMachine(Outcome::RunnerUnavailable, machine);
    result.code = code;
    result.runnerExit = runnerExit;
    return result;
}

TEST(Details, EachOutcomeSaysWhyAndWhatToDo) {
    const std::string lookedIn = "(looked in the component's folder, the system folders and PATH).";
    struct Case {
        Result result;
        bool registerFlag;
        std::string detail;
    };
    const Case cases[] = {
        {Make(Outcome::Success), true, "DllRegisterServer succeeded."},
        {Make(Outcome::Success), false, "DllUnregisterServer succeeded."},
        {Make(Outcome::EntryFailed, 0x80070005), true,
         "DllRegisterServer failed: Access is denied. (0x80070005) Run Velquist as administrator."},
        {Make(Outcome::EntryFailed, 0x8002801C), false,
         "DllUnregisterServer failed: The type library could not be written to the registry. (0x8002801C) Run "
         "Velquist as administrator."},
        {Make(Outcome::EntryFailed, 0x80040151), true,
         "DllRegisterServer failed: A key could not be written to the registry. (0x80040151) Run Velquist as "
         "administrator."},
        {Make(Outcome::EntryFailed, 0xA0001234), true, "DllRegisterServer failed (0xA0001234)."},  // no text anywhere
        {Make(Outcome::EntryMissing), false, "Has no DllUnregisterServer entry point."},
        {Make(Outcome::TimedOut), true, "Did not finish within 10 seconds; it was stopped."},
        {Make(Outcome::Crashed, 0xC0000005), true, "Crashed (access violation, 0xC0000005)."},
        {Make(Outcome::Crashed, 0xE0C0FFEE), true, "Crashed (exception 0xE0C0FFEE)."},
        {Make(Outcome::ProcessEnded, 3), true, "Ended the process (exit code 3)."},
        {Missing("msvcr71.dll", "", "x.ocx"), true, "Needs msvcr71.dll, which was not found " + lookedIn},
        {Missing("ghost.dll", "", "helper.dll"), true, "Needs ghost.dll (through helper.dll), which was not found " + lookedIn},
        {Missing("helper.dll", "Gone", "x.ocx"), true,
         "Needs Gone from helper.dll, which helper.dll does not have; a different version of helper.dll is probably "
         "needed."},
        {Make(Outcome::LoadFailed, ERROR_SXS_CANT_GEN_ACTCTX), true,
         "Its side-by-side configuration is incorrect: a runtime its manifest names is not installed."},
        {Make(Outcome::LoadFailed, ERROR_DLL_INIT_FAILED), true, "Its initialisation failed (DllMain returned FALSE)."},
        {Unavailable(peexports::kMachineI386, ERROR_FILE_NOT_FOUND), true,
         "32-bit component: velquist.exe is needed beside Velquist."},
        {Unavailable(peexports::kMachineI386, ERROR_BAD_EXE_FORMAT), true,
         "The 32-bit runner (velquist.exe) could not be started: It is not a valid application for this system. "
         "(error 193)."},
        {Unavailable(peexports::kMachineI386, 4, true), true,
         "The 32-bit runner (velquist.exe) ended as it started (exit code 4: it was sent a request it could not "
         "read)."},
        {Unavailable(peexports::kMachineAmd64, 2, true), true,
         "The 64-bit runner (velquist64.exe) ended as it started (exit code 2: it was not given a pipe to serve)."},
        {Unavailable(peexports::kMachineI386, 0xC0000135, true), true,
         "The 32-bit runner (velquist.exe) ended as it started (exit code 0xC0000135)."},
        {OtherMachine(Outcome::ProtocolFault, peexports::kMachineAmd64), true,
         "The 64-bit runner (velquist64.exe) answered something it should not (answer 0); it was ended."},
        {OtherMachine(Outcome::RunnerUnavailable, peexports::kMachineArm64), true,
         "Built for ARM64 processors; Velquist registers x86 (32-bit) and x64 (64-bit) components."},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(modRegister::Detail("C:\\app\\x.ocx", c.result, c.registerFlag), c.detail);
    }
    // A 64-bit component without its runner: these tests run on 64-bit Windows (a WoW64 prefix).
    EXPECT_EQ(modRegister::Detail("x.ocx", Unavailable(peexports::kMachineAmd64, ERROR_PATH_NOT_FOUND), true),
              "64-bit component: velquist64.exe is needed beside Velquist.");
    EXPECT_EQ(modRegister::Detail("x.ocx", Make(Outcome::TimedOut), true, 2500),
              "Did not finish within 2 seconds; it was stopped.");
}

TEST(Details, TheSummaryGroupsDigitsAndCountsOneFileAsOne) {
    EXPECT_EQ(modRegister::Summary(true, 3, 1, 1204, 2.44), "3 registered, 1 failed, 1,204 files checked in 2.4 s.");
    EXPECT_EQ(modRegister::Summary(false, 0, 1, 1, 0.04), "0 unregistered, 1 failed, 1 file checked in 0.0 s.");
    EXPECT_EQ(modRegister::Grouped(1234567), "1,234,567");
    EXPECT_EQ(modRegister::Grouped(999), "999");
}

TEST(Details, OnlyComponentsThatCouldNotBeLoadedGetALineOfTheirOwn) {
    EXPECT_TRUE(modRegister::IsUnloadableComponent(Make(Outcome::LoadFailed, ERROR_MOD_NOT_FOUND)));
    EXPECT_TRUE(modRegister::IsUnloadableComponent(Make(Outcome::TimedOut)));
    EXPECT_TRUE(modRegister::IsUnloadableComponent(Make(Outcome::ProtocolFault, 99)));
    EXPECT_TRUE(modRegister::IsUnloadableComponent(OtherMachine(Outcome::RunnerUnavailable, peexports::kMachineAmd64)));
    Result unreadable = Make(Outcome::LoadFailed, ERROR_ACCESS_DENIED);  // the header check could not read it
    unreadable.headers = peexports::ExportCheck::NotPe;
    EXPECT_FALSE(modRegister::IsUnloadableComponent(unreadable));
    EXPECT_FALSE(modRegister::IsUnloadableComponent(Make(Outcome::NotComponent)));
    EXPECT_FALSE(modRegister::IsUnloadableComponent(Make(Outcome::EntryMissing)));
}

}  // namespace
