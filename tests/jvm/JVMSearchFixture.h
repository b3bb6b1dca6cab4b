#pragma once

// A fixture for the JVM search tests: fake JVM homes in a fresh directory,
// whose Java prints the verification marker and a chosen java.vendor and
// whose runs the fixture records in order, and in-memory JVM description
// files that accept one vendor. Verification then runs without Java: the
// scripts ignore their arguments, so the class path can name an archive that
// does not exist.
//
// The launcher's state is that of a fresh process (LauncherStateGuard), with
// the log in the directory and the console display hidden; PATH holds one
// empty directory, so the PATH phase of a search finds nothing unless a test
// adds to it, and LANG is unset. TearDown fails a test that leaves anything in
// the launcher's temporary directory beyond what its cleanup lists hold.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/SString.h"
#include "support/LauncherStateGuard.h"
#include "support/ScopedEnv.h"
#include "support/TestSupport.h"
#include "tagfile/TagFile.h"

class JVMSearchFixture : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override { state_.checkTempDir(); }

    // Creates <dir>/<name>/<exe> printing the marker and `vendor` and
    // returns the home <dir>/<name>.
    std::string makeHome(const std::string& name, const std::string& vendor,
                         const std::string& exe = "bin/java");
    // A description file named `desc` that accepts java.vendor == `vendor`,
    // owned by the fixture.
    TagFile& makeJVMFile(const std::string& desc, const std::string& vendor,
                         const std::string& exe = "bin/java");
    // The homes whose fake Java ran, in order.
    std::vector<std::string> calls() const {
        return testsupport::linesOf(testsupport::readFile(dir_.file("calls")));
    }
    std::string logText() const { return testsupport::readFile(dir_.file("log")); }
    // The launcher's temporary directory for this test.
    std::string tempDir() const { return state_.tempDir(); }
    // Whether `path` is on the launcher's file cleanup list.
    static bool onCleanupList(const SString& path);
    // Sets an environment variable for this test only.
    void setEnv(const std::string& name, const std::string& value) {
        env_.set(name, value.c_str());
    }

    testsupport::TempDir dir_;
    // The launcher's temporary directory is <dir>/tmp, which walks pass over.
    testsupport::LauncherStateGuard state_{dir_.file("tmp")};

  private:
    std::vector<std::unique_ptr<TagFile>> tagFiles_;
    testsupport::ScopedEnv env_;
};
