#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "payload/FileIndexEntry.h"
#include "support/LauncherFileBuilder.h"
#include "support/TestSupport.h"

namespace testsupport {

// Fixture of the tests that run launcher files as programs. A test makes its
// files in work_, the working directory of its runs; temp_ is the launcher's
// temporary directory ("-cv:tempdir"), which the runs must leave empty
// (TempDir::expectLeft names what a test leaves there by design).
class LauncherProcessTest : public ::testing::Test {
  protected:
    void TearDown() override { temp_.checkLeftovers(); }

    // runLauncher with temp_ as the temporary directory, in work_ unless the
    // options name another working directory.
    LauncherResult run(const std::string& launcher, const std::vector<std::string>& args,
                       LauncherOptions options = LauncherOptions()) const;
    // The options of such a run, for a command line (launcherCommand) that a
    // test runs itself; LANG is unset.
    LauncherOptions options() const;
    // A launcher file made of files in work_.
    LauncherFileBuilder launcherFile(const LauncherFileBuilder::Files& files = {}) const {
        return LauncherFileBuilder(work_.path()).add(files);
    }
    // work_/launcher, without a verification archive: its program launches
    // <javaHome>/java directly (ILAUNCH) with a class path archive that holds
    // `archive`; its launch script begins with the tag lines `keys`.
    std::string packDirectLaunch(const std::string& javaHome, const std::string& archive,
                                 const std::string& keys = "") const;
    // The log file that tests name with "-cv:log" or LOGFILE.
    std::string log() const { return work_.file("run.log"); }

    TempDir work_;
    TempDir temp_;
};

}  // namespace testsupport
