// Launcher::getApplicationArchive with a name: the copy of a file beside the
// original launcher in a temporary directory of its own.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "launcher/Launcher.h"
#include "launcher/LauncherException.h"
#include "platform/PlatformImpl.h"
#include "support/TestSupport.h"

namespace {

using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

class ApplicationArchiveCopyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        savedOrig_ = Launcher::m_origLauncherFileName;
        savedTempDir_ = PlatformImpl::m_tempDir;
        Launcher::m_origLauncherFileName = SString(beside_.file("launcher").c_str());
        Launcher::m_applicationArchive = SString();
        PlatformImpl::m_tempDir = SString(temp_.path().c_str());
    }
    void TearDown() override {
        Launcher::m_origLauncherFileName = savedOrig_;
        Launcher::m_applicationArchive = SString();
        PlatformImpl::m_tempDir = savedTempDir_;
        PlatformImpl::m_sdqCreatedDrs.clear();
    }

    // The files below the temporary directory, wherever the copies put them.
    std::vector<std::string> copies() const {
        std::vector<std::string> files;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(temp_.path())) {
            if (!entry.is_directory()) {
                files.push_back(entry.path().filename());
            }
        }
        return files;
    }

    TempDir beside_;
    TempDir temp_;
    SString savedOrig_;
    SString savedTempDir_;
};

TEST_F(ApplicationArchiveCopyTest, FileBesideTheLauncherIsCopiedOnce) {
    writeFile(beside_.file("app.jar"), std::string(200000, 'a'));
    SString copy = Launcher::getApplicationArchive("app.jar");
    EXPECT_EQ(readFile(copy.c_str()), std::string(200000, 'a'));
    EXPECT_EQ(Launcher::getApplicationArchive("other.jar").compare(copy), 0);
    EXPECT_EQ(copies(), std::vector<std::string>{"app.jar"});
}

TEST_F(ApplicationArchiveCopyTest, MissingSourceGivesNoCopyAndNoError) {
    EXPECT_TRUE(Launcher::getApplicationArchive("missing.jar").empty());
    EXPECT_TRUE(copies().empty());
}

// A directory opens like a file and fails its first read: the copy must not
// pass for the archive.
TEST_F(ApplicationArchiveCopyTest, FailedReadThrowsAndLeavesNoCopy) {
    ASSERT_EQ(mkdir(beside_.file("lib.jar").c_str(), 0755), 0);
    try {
        Launcher::getApplicationArchive("lib.jar");
        ADD_FAILURE() << "no exception";
    } catch (const LauncherException& e) {
        EXPECT_EQ(std::string(e.message.c_str()),
                  "Error writing file = " + std::to_string(EISDIR) +
                      " There may not be enough temporary disk space. Try using -cv:tempdir to "
                      "use a temporary directory on a partition with more disk space.");
    }
    EXPECT_TRUE(copies().empty());
    EXPECT_TRUE(Launcher::m_applicationArchive.empty());
}

}  // namespace
