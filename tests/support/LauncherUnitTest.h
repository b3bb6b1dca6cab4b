#pragma once

#include <gtest/gtest.h>

#include <string>

#include "support/LauncherStateGuard.h"
#include "support/TestSupport.h"

namespace testsupport {

// Fixture of the unit tests that run launcher code on files: a fresh
// directory for the files a test makes, and the launcher state of a fresh
// process (LauncherStateGuard) that logs into <dir>/log with the console
// silent. TearDown fails a test that leaves anything in the launcher's
// temporary directory beyond what its cleanup lists hold.
class LauncherUnitTest : public ::testing::Test {
  protected:
    LauncherUnitTest();
    void TearDown() override { state.checkTempDir(); }

    std::string log() const { return readFile(dir.file("log")); }

    LauncherStateGuard state;
    TempDir dir;
};

}  // namespace testsupport
