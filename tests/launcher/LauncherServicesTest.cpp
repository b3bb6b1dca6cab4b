#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <string>

#include "Launcher.h"
#include "LauncherException.h"
#include "support/TestSupport.h"

namespace {

using testsupport::readFile;

class LauncherLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/cvlog-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        log_ = dir_ + "/launcher.log";
        Launcher::m_logFileInitialized = false;
        Launcher::setLogFileName(log_.c_str());
    }
    void TearDown() override {
        Launcher::setLogFileName("");
        remove(log_.c_str());
        rmdir(dir_.c_str());
    }
    std::string dir_;
    std::string log_;
};

TEST_F(LauncherLogTest, FirstEntryOfAProcessFollowsTheSeparator) {
    Launcher::logMessage("a", LOG_INFO);
    Launcher::logMessage(SString("b"), LOG_ERROR);
    Launcher::logMessage("c", LOG_WARNING);
    Launcher::logMessage("d", static_cast<LogMessageType>(7));
    EXPECT_EQ(readFile(log_), "------------------\na\nERROR: b\nWARNING: c\nd\n");
}

TEST_F(LauncherLogTest, SeparatorIsWrittenOncePerProcessWhateverTheFile) {
    Launcher::logMessage("first", LOG_INFO);
    std::string other = dir_ + "/other.log";
    Launcher::setLogFileName(other.c_str());
    Launcher::logMessage("second", LOG_INFO);
    EXPECT_EQ(readFile(other), "second\n");
    remove(other.c_str());
}

TEST_F(LauncherLogTest, EmptyNameOrUnwritableFileLosesTheEntry) {
    Launcher::setLogFileName("");
    Launcher::logMessage("lost", LOG_INFO);
    Launcher::setLogFileName((dir_ + "/missing/dir.log").c_str());
    Launcher::logMessage("lost too", LOG_INFO);
    EXPECT_EQ(readFile(log_), "");
    EXPECT_FALSE(Launcher::m_logFileInitialized);
}

TEST(LauncherIdentityTest, OriginalLauncherDirIsTheTextBeforeTheLastSeparator) {
    struct Case {
        const char* name;
        const char* dir;
    } cases[] = {
        {"/tmp/x/setup", "/tmp/x"},
        {"C:\\dir\\setup.bin", "C:\\dir"},
        {"setup", ""},
        {"/setup", ""},
        {"/a\\b/c", "/a\\b"},
    };
    SString saved = Launcher::m_origLauncherFileName;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Launcher::m_origLauncherFileName = c.name;
        EXPECT_STREQ(Launcher::getOriginalLauncherDir().c_str(), c.dir);
    }
    Launcher::m_origLauncherFileName = saved;
}

TEST(LauncherVariablesTest, BanksHoldS1ToS10AndN1ToN5) {
    Launcher::setStringVariable(10, "ten");
    Launcher::setLongVariable(5, -7);
    EXPECT_STREQ(Launcher::getStringVariable(10).c_str(), "ten");
    EXPECT_EQ(Launcher::getLongVariable(5), -7);
    Launcher::setStringVariable(10, "");
    Launcher::setLongVariable(5, 0);
}

TEST(LauncherVariablesTest, InvalidNumbersAreRefusedWithTheirNumber) {
    try {
        Launcher::getStringVariable(0);
        FAIL() << "no exception";
    } catch (const LauncherException& e) {
        EXPECT_STREQ(e.message.c_str(), "Invalid string variable number: 0");
    }
    try {
        Launcher::setLongVariable(6, 1);
        FAIL() << "no exception";
    } catch (const LauncherException& e) {
        EXPECT_STREQ(e.message.c_str(), "Invalid numeric variable number: 6");
    }
    EXPECT_THROW(Launcher::setStringVariable(11, "x"), LauncherException);
    EXPECT_THROW(Launcher::getLongVariable(-1), LauncherException);
}

}  // namespace
