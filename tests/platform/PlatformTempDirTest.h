#pragma once

// Fixture of the platform tests that touch the disk: every test gets a fresh
// directory of its own, which is also made the launcher's temporary
// directory. The temporary directory, the cleanup lists and the current
// directory (executeProcess changes it) are put back afterwards, and the
// console prints nothing meanwhile.

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include <unistd.h>

#include "Console.h"
#include "PlatformImpl.h"
#include "support/TestSupport.h"

class PlatformTempDirTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char cwd[PATH_MAX];
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        savedCwd_ = cwd;
        savedTempDir_ = PlatformImpl::m_tempDir;
        // Progress marks are counted, not printed.
        savedOutput_ = g_enableOutput;
        g_enableOutput = false;
        PlatformImpl::m_tempDir = "";
        PlatformImpl::setSystemTempDir(dir_.path().c_str());
        ASSERT_STREQ(PlatformImpl::getSystemTempDirectory().c_str(), dir_.path().c_str());
    }

    void TearDown() override {
        PlatformImpl::m_sdqCreatedFiles.clear();
        PlatformImpl::m_sdqCreatedDrs.clear();
        PlatformImpl::m_tempDir = savedTempDir_;
        g_enableOutput = savedOutput_;
        EXPECT_EQ(chdir(savedCwd_.c_str()), 0);
    }

    std::string path(const std::string& name) const { return dir_.file(name); }

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

    testsupport::TempDir dir_;

  private:
    std::string savedCwd_;
    SString savedTempDir_;
    bool savedOutput_ = true;
};
