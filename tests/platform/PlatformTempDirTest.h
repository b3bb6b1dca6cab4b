#pragma once

// Fixture of the platform tests that touch the disk: every test gets a fresh
// directory of its own for the files it makes, and the launcher state of a
// fresh process (LauncherStateGuard) with the console printing nothing. A
// test fails when it leaves anything in the launcher's temporary directory
// beyond what the cleanup lists hold.

#include <gtest/gtest.h>

#include <string>

#include <unistd.h>

#include "Console.h"
#include "PlatformImpl.h"
#include "support/LauncherStateGuard.h"
#include "support/TestSupport.h"

class PlatformTempDirTest : public ::testing::Test {
  protected:
    // Progress marks are counted, not printed.
    void SetUp() override { g_enableOutput = false; }
    void TearDown() override { state_.checkTempDir(); }

    std::string path(const std::string& name) const { return dir_.file(name); }
    // The launcher's temporary directory.
    const std::string& tempDir() const { return state_.tempDir(); }

    static std::string text(const SString& s) { return std::string(s.c_str(), s.length()); }

    // Forks a test child that runs `body` and ends with its result.
    template <typename Body>
    static pid_t startTestChild(Body body) {
        fflush(stdout);
        fflush(stderr);
        pid_t pid = fork();
        if (pid == 0) {
            _exit(body());
        }
        return pid;
    }

    testsupport::LauncherStateGuard state_;
    testsupport::TempDir dir_;
};
