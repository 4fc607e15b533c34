// Execute without a window: one session serves runs of either kind, each as its request says.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "RecordingList.h"
#include "TestComponents.h"
#include "TestSupport.h"
#include "tasks/Commands.h"

namespace {

bool UserHasClass() {
    return testsupport::KeyExists(HKEY_CURRENT_USER, "Software\\Classes\\CLSID\\" VELQUIST_COMSERVER_CLSID);
}

// A per-user run and a machine-wide run in one session: each writes where its request says, and the
// session is left as it was found.
TEST(Execute, OneSessionServesRunsOfEitherKind) {
    testsupport::TempDir dir;
    const std::string path = dir / "c.dll";
    ASSERT_TRUE(testsupport::CopyTo(testsupport::ComponentPath(VELQUIST_COMSERVER_DLL), path));
    registration::Session session(testsupport::BuildRunners());
    const auto noError = [](const std::string& message) { ADD_FAILURE() << message; };
    testsupport::RecordingList list;
    velquist::RunRequest request{velquist::RunRequest::Mode::SingleFile, path, false, true, true};

    for (const bool perUser : {true, false, true}) {
        request.perUser = perUser;
        request.registerFlag = true;
        velquist::Execute(request, session, list, noError);
        ASSERT_EQ(list.lines.size(), 2u);
        EXPECT_EQ(list.lines[0].line, velquist::SuccessLine(true, path, perUser ? "DllRegisterServer succeeded. For the current user only."
                                                                                : "DllRegisterServer succeeded."));
        EXPECT_EQ(UserHasClass(), perUser) << perUser;
        EXPECT_EQ(testsupport::RegisteredServer(VELQUIST_COMSERVER_CLSID).empty(), perUser) << perUser;
        EXPECT_FALSE(session.PerUser());
        EXPECT_EQ(session.Observer(), nullptr);
        request.registerFlag = false;
        velquist::Execute(request, session, list, noError);
        EXPECT_EQ(list.lines[0].line.kind, velquist::LineKind::Unregistered);
        EXPECT_FALSE(UserHasClass());
        EXPECT_EQ(testsupport::RegisteredServer(VELQUIST_COMSERVER_CLSID), "");
    }
}

}  // namespace
