// A fixture with two copies of the typed component (class, ProgIDs, type library, a product key with
// values), a and b, each in its own folder; every registration of either removed afterwards,
// machine-wide and per user, whichever copy holds the classes.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "RecordingList.h"
#include "TestComponents.h"
#include "TestSupport.h"
#include "tasks/Commands.h"

namespace testsupport {

class TwoCopiesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(MakeDirs(dir_ / "a") && MakeDirs(dir_ / "b"));
        ASSERT_TRUE(CopyTo(ComponentPath(VELQUIST_TYPED_DLL), a_));
        ASSERT_TRUE(CopyTo(ComponentPath(VELQUIST_TYPED_DLL), b_));
    }
    void TearDown() override {
        for (const bool perUser : {false, true}) {
            for (const std::string& path : {a_, b_}) {
                velquist::RunRequest request{velquist::RunRequest::Mode::SingleFile, path, false, false, perUser};
                request.force = true;
                Execute(request);
            }
        }
        session_.EndRunners();
    }
    // The request run in the session into the list; a single-file error fails the test.
    velquist::RunSummary Execute(const velquist::RunRequest& request, velquist::RunControl* control = nullptr) {
        return velquist::Execute(request, session_, list_, [](const std::string& message) { ADD_FAILURE() << message; },
                                 control);
    }

    TempDir dir_;
    const std::string a_ = dir_ / "a\\typed.dll";
    const std::string b_ = dir_ / "b\\typed.dll";
    registration::Session session_{BuildRunners()};
    RecordingList list_;
};

}  // namespace testsupport
