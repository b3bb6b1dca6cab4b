#pragma once

// Fixture of the platform tests that touch the disk: a fresh directory and
// launcher state for every test (LauncherUnitTest), with the console printing
// nothing.

#include <gtest/gtest.h>

#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/Console.h"
#include "platform/PlatformImpl.h"
#include "support/LauncherUnitTest.h"

class PlatformTempDirTest : public testsupport::LauncherUnitTest {
  protected:
    // Progress marks are counted, not printed.
    void SetUp() override { g_enableOutput = false; }

    std::string path(const std::string& name) const { return dir.file(name); }
    // The launcher's temporary directory.
    const std::string& tempDir() const { return state.tempDir(); }

    static std::string text(const SString& s) { return std::string(s.c_str(), s.length()); }
    static void makeDir(const std::string& path) {
        ASSERT_EQ(mkdir(path.c_str(), 0755), 0) << path;
    }

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
};
