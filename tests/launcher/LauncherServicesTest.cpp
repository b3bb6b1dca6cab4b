#include <gtest/gtest.h>

#include <string>

#include "launcher/Launcher.h"
#include "launcher/LauncherException.h"
#include "support/LauncherStateGuard.h"
#include "support/LauncherUnitTest.h"

namespace {

using testsupport::readFile;

using LauncherLogTest = testsupport::LauncherUnitTest;

TEST_F(LauncherLogTest, FirstEntryOfAProcessFollowsTheSeparator) {
    Launcher::logMessage("a", LOG_INFO);
    Launcher::logMessage(SString("b"), LOG_ERROR);
    Launcher::logMessage("c", LOG_WARNING);
    Launcher::logMessage("d", static_cast<LogMessageType>(7));
    EXPECT_EQ(log(), "------------------\na\nERROR: b\nWARNING: c\nd\n");
}

TEST_F(LauncherLogTest, SeparatorIsWrittenOncePerProcessWhateverTheFile) {
    Launcher::logMessage("first", LOG_INFO);
    std::string other = dir.file("other.log");
    Launcher::setLogFileName(other.c_str());
    Launcher::logMessage("second", LOG_INFO);
    EXPECT_EQ(readFile(other), "second\n");
}

TEST_F(LauncherLogTest, EmptyNameOrUnwritableFileLosesTheEntry) {
    Launcher::setLogFileName("");
    Launcher::logMessage("lost", LOG_INFO);
    Launcher::setLogFileName(dir.file("missing/dir.log").c_str());
    Launcher::logMessage("lost too", LOG_INFO);
    EXPECT_EQ(log(), "");
    EXPECT_FALSE(Launcher::m_logFileInitialized);
}

TEST(LauncherIdentityTest, OriginalLauncherDirIsTheTextBeforeTheLastSeparator) {
    struct Case {
        const char* name;
        const char* dir;
    } cases[] = {
        {"/tmp/x/setup", "/tmp/x"},
        {"/tmp/end\\/setup\\.bin", "/tmp/end\\"},
        {"setup", ""},
        {"/setup", ""},
        {"/a\\b/c", "/a\\b"},
    };
    testsupport::LauncherStateGuard state;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Launcher::m_origLauncherFileName = c.name;
        EXPECT_STREQ(Launcher::getOriginalLauncherDir().c_str(), c.dir);
    }
}

TEST(LauncherVariablesTest, BanksHoldS1ToS10AndN1ToN5) {
    testsupport::LauncherStateGuard state;
    Launcher::setStringVariable(10, "ten");
    Launcher::setLongVariable(5, -7);
    EXPECT_STREQ(Launcher::getStringVariable(10).c_str(), "ten");
    EXPECT_EQ(Launcher::getLongVariable(5), -7);
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
