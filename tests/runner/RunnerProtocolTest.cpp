// The check of what a runner sends, on crafted records and on a fake runner that breaks the protocol.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "RecordingList.h"
#include "TestComponents.h"
#include "TestSupport.h"
#include "folders/Module1.h"
#include "registration/Details.h"
#include "runner/RunnerProtocol.h"
#include "registration/modRegister.h"

namespace {

using modRegister::Outcome;
using runner::Answer;
using runner::ReplyFault;
using runner::Request;

#if defined(_M_X64) || defined(__x86_64__)
constexpr std::uint16_t kOwnMachine = peexports::kMachineAmd64;
constexpr std::uint16_t kOtherMachine = peexports::kMachineI386;
constexpr char kOwnRunner[] = "The 64-bit runner (velquist64.exe)";
#else
constexpr std::uint16_t kOwnMachine = peexports::kMachineI386;
constexpr std::uint16_t kOtherMachine = peexports::kMachineAmd64;
constexpr char kOwnRunner[] = "The 32-bit runner (velquist.exe)";
#endif
constexpr DWORD kSelfRegClass = 0x80040201;  // what the fake's entry points fail with

runner::Reply Make(Answer answer, std::uint32_t code = 0, std::uint32_t detailBytes = 0,
                   std::uint32_t magic = runner::kMagic) {
    return runner::Reply{magic, answer, code, detailBytes};
}

TEST(RunnerProtocol, AReplyPassesOnlyAsAnAnswerTheRunnerGivesToThatRequest) {
    const struct {
        runner::Reply reply;
        Request asked;
        ReplyFault fault;
    } cases[] = {
        // What the runner answers.
        {Make(Answer::Success), Request::Probe, ReplyFault::None},
        {Make(Answer::EntryMissing), Request::Unregister, ReplyFault::None},
        {Make(Answer::LoadFailed, ERROR_MOD_NOT_FOUND, runner::kMaxDetailBytes), Request::Register, ReplyFault::None},
        {Make(Answer::LoadFailed, ERROR_DLL_INIT_FAILED), Request::Probe, ReplyFault::None},
        {Make(Answer::EntryFailed, kSelfRegClass), Request::Register, ReplyFault::None},
        {Make(Answer::Made, 0x80040112, 12), Request::Test, ReplyFault::None},  // any HRESULT, a library's name
        {Make(Answer::ItemCrashed, EXCEPTION_ACCESS_VIOLATION), Request::Test, ReplyFault::None},
        // What it never answers.
        {Make(Answer::Made), Request::Probe, ReplyFault::WrongAnswer},
        {Make(Answer::Success), Request::Test, ReplyFault::WrongAnswer},
        {Make(Answer::ItemCrashed, 1), Request::Test, ReplyFault::WrongCode},
        {Make(Answer::Made, 0, runner::kMaxDetailBytes + 1), Request::Test, ReplyFault::BadDetailSize},
        {Make(Answer::Success, 0, 0, 0x4B4F4F42), Request::Probe, ReplyFault::BadMagic},
        {Make(Answer::Ready, kOwnMachine), Request::Probe, ReplyFault::WrongAnswer},
        {Make(static_cast<Answer>(99)), Request::Register, ReplyFault::WrongAnswer},
        {Make(Answer::EntryFailed, kSelfRegClass), Request::Probe, ReplyFault::WrongAnswer},
        {Make(Answer::Success), static_cast<Request>(99), ReplyFault::WrongAnswer},
        // DllInstall's probe is a probe, its calls calls.
        {Make(Answer::EntryMissing), Request::ProbeInstall, ReplyFault::None},
        {Make(Answer::EntryFailed, kSelfRegClass), Request::ProbeInstall, ReplyFault::WrongAnswer},
        {Make(Answer::EntryFailed, kSelfRegClass), Request::Uninstall, ReplyFault::None},
        {Make(Answer::CaptureFailed, 5), Request::Install, ReplyFault::WrongAnswer},
        {Make(Answer::BadRequest), Request::Probe, ReplyFault::Refused},
        {Make(Answer::EntryFailed, 1), Request::Unregister, ReplyFault::WrongCode},  // S_FALSE is no failure
        {Make(Answer::LoadFailed, 0), Request::Probe, ReplyFault::WrongCode},
        {Make(Answer::Success, ERROR_MOD_NOT_FOUND), Request::Probe, ReplyFault::WrongCode},
        {Make(Answer::EntryMissing, 0, 12), Request::Register, ReplyFault::BadDetailSize},
        {Make(Answer::LoadFailed, ERROR_MOD_NOT_FOUND, runner::kMaxDetailBytes + 1), Request::Probe,
         ReplyFault::BadDetailSize},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(runner::CheckReply(c.reply, c.asked), c.fault)
            << "answer " << static_cast<unsigned>(c.reply.answer) << " code " << c.reply.code << " detail "
            << c.reply.detailBytes << " to " << static_cast<unsigned>(c.asked);
    }
    EXPECT_EQ(runner::CheckReady(Make(Answer::Ready, kOwnMachine), kOwnMachine), ReplyFault::None);
    EXPECT_EQ(runner::CheckReady(Make(Answer::Ready, kOtherMachine), kOwnMachine), ReplyFault::WrongMachine);
    EXPECT_EQ(runner::CheckReady(Make(Answer::Success), kOwnMachine), ReplyFault::WrongAnswer);
    EXPECT_EQ(runner::CheckReady(Make(Answer::Ready, kOwnMachine, 3), kOwnMachine), ReplyFault::BadDetailSize);
}

// DllInstall's text tells a NULL command line from an empty one.
TEST(RunnerProtocol, InstallTextKeepsANullCommandLineApartFromAnEmptyOne) {
    for (const bool has : {false, true}) {
        for (const std::string line : {"", "user", "a b"}) {
            if (!has && !line.empty()) continue;
            std::string path, back;
            bool hasBack = !has;
            ASSERT_TRUE(runner::SplitInstallText(runner::InstallText("C:\\a.dll", has, line), path, hasBack, back));
            EXPECT_EQ(path, "C:\\a.dll");
            EXPECT_EQ(hasBack, has);
            EXPECT_EQ(back, line);
        }
    }
    std::string path, line;
    bool has = false;
    EXPECT_FALSE(runner::SplitInstallText(std::string("\0x", 2), path, has, line));  // no path
    EXPECT_FALSE(runner::SplitInstallText(std::string("C:\\a.dll\0x\0y", 12), path, has, line));
}

// A session whose runner for this test's bitness is the fake, in the mode the test sets.
class FakeRunner : public ::testing::Test {
protected:
    static registration::RunnerPrograms Programs() {
        registration::RunnerPrograms programs = testsupport::BuildRunners();
        (kOwnMachine == peexports::kMachineAmd64 ? programs.amd64 : programs.i386) = VELQUIST_FAKE_RUNNER;
        return programs;
    }
    // Read by the fake as it starts: it inherits this process's environment.
    static void Use(const char* mode) { ::SetEnvironmentVariableA("VELQUIST_FAKE_RUNNER", mode); }
    void TearDown() override { ::SetEnvironmentVariableA("VELQUIST_FAKE_RUNNER", nullptr); }

    registration::Session session{Programs()};
    const std::string component = testsupport::ComponentPath(VELQUIST_COMSERVER_DLL);
};

TEST_F(FakeRunner, ABrokenReplyEndsTheRunnerAtOnceAndTheNextOneServes) {
    const struct {
        const char* mode;
        bool call;  // a registration call rather than a probe
        DWORD answer;
    } cases[] = {
        {"bad-magic", false, static_cast<DWORD>(Answer::Success)},
        {"long-detail", false, static_cast<DWORD>(Answer::LoadFailed)},
        {"answer-99", true, 99},
        {"refuse", true, static_cast<DWORD>(Answer::BadRequest)},
        {"wrong-machine", false, static_cast<DWORD>(Answer::Ready)},
    };
    for (const auto& c : cases) {
        Use(c.mode);
        const auto result = c.call ? session.Call(component, true) : session.Probe(component);
        EXPECT_EQ(result.outcome, Outcome::ProtocolFault) << c.mode << ": " << modRegister::Describe(result);
        EXPECT_EQ(result.code, c.answer) << c.mode;
        EXPECT_EQ(modRegister::Detail(component, result, true),
                  std::string(kOwnRunner) + " answered something it should not (answer " + std::to_string(c.answer) +
                      "); it was ended.");
        EXPECT_TRUE(modRegister::IsUnloadableComponent(result)) << c.mode;
        EXPECT_EQ(session.RunnerProcessId(kOwnMachine), 0u) << c.mode;  // not left running, not retried

        Use("serve");
        EXPECT_EQ(session.Probe(component).outcome, Outcome::Success) << "after " << c.mode;
        session.EndRunners();
    }
}

TEST_F(FakeRunner, ARunnerThatEndsAsItStartsIsToldByItsOwnExitCode) {
    const struct {
        const char* mode;
        DWORD code;
        const char* why;
    } cases[] = {
        {"exit:2", 2, "it was not given a pipe to serve"},  // not the system's "file not found"
        {"exit:4", 4, "it was sent a request it could not read"},
    };
    for (const auto& c : cases) {
        Use(c.mode);
        const auto result = session.Probe(component);
        EXPECT_EQ(result.outcome, Outcome::RunnerUnavailable) << c.mode;
        EXPECT_TRUE(result.runnerExit) << c.mode;
        EXPECT_EQ(result.code, c.code) << c.mode;
        EXPECT_EQ(modRegister::Detail(component, result, true), std::string(kOwnRunner) +
                                                                    " ended as it started (exit code " +
                                                                    std::to_string(c.code) + ": " + c.why + ").");
    }
    // A runner program that is not there at all is told apart.
    registration::RunnerPrograms missing = Programs();
    (kOwnMachine == peexports::kMachineAmd64 ? missing.amd64 : missing.i386) = testsupport::BinDir() + "\\absent.exe";
    registration::Session without(missing);
    const auto result = without.Probe(component);
    EXPECT_EQ(result.outcome, Outcome::RunnerUnavailable);
    EXPECT_FALSE(result.runnerExit);
    EXPECT_EQ(result.code, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_NE(modRegister::Detail(component, result, true).find(" is needed beside Velquist."), std::string::npos);
}

// What a runner sends is read to its full length, however the pipe splits it; a runner that ends after
// a reply costs nothing, the next request starting a fresh one.
TEST_F(FakeRunner, AReadySentInPiecesAndARunnerThatEndsAfterItsReplyStillServe) {
    for (const char* mode : {"split-ready", "exit-after-reply"}) {
        Use(mode);
        EXPECT_EQ(session.Probe(component).outcome, Outcome::Success) << mode;
        const auto call = session.Call(component, true);
        EXPECT_EQ(call.outcome, Outcome::EntryFailed) << mode << ": " << modRegister::Describe(call);
        EXPECT_EQ(call.code, kSelfRegClass) << mode;
        EXPECT_EQ(session.Probe(component).outcome, Outcome::Success) << mode;
        session.EndRunners();
    }
}

TEST_F(FakeRunner, AWalkGivesAComponentWhoseRunnerBrokeTheProtocolAFailedLine) {
    testsupport::TempDir dir;
    ASSERT_TRUE(testsupport::CopyTo(component, dir / "a.dll"));
    Use("bad-magic");
    testsupport::RecordingList list;
    Module1::RegisterFolder(session, dir.Path(), false, true, list);
    ASSERT_EQ(list.lines.size(), 1u);
    EXPECT_EQ(list.lines[0].text, "Failed : " + (dir / "a.dll"));
    EXPECT_EQ(list.lines[0].detail, std::string(kOwnRunner) + " answered something it should not (answer 2); it was ended.");
}

}  // namespace
