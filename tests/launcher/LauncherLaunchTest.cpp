#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launcher/Launcher.h"
#include "launcher/LauncherException.h"
#include "launchscript/LaunchScript.h"
#include "payload/FileIndexEntry.h"
#include "payload/LauncherInputFiles.h"
#include "platform/PlatformImpl.h"
#include "support/FakeJavaHome.h"
#include "support/LauncherUnitTest.h"
#include "support/ScopedEnv.h"
#include "support/TestSupport.h"
#include "tagfile/TagFile.h"

using testsupport::addIndexEntry;
using testsupport::countOf;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

const char* const kMissingPieceError =
    "ERROR: Unable to launch the internal launch script with the internal JVM file. Either the "
    "launch script or the JVM file is missing from the launcher.\n";

// The guard gives every test a payload of its own (Launcher::m_inputFiles)
// and takes back the launch script, index entries and pass-through arguments
// that the test puts into it.
class LauncherLaunchTest : public testsupport::LauncherUnitTest {
  protected:
    LauncherLaunchTest() : home(dir.file("jdk")), java(home, "exit 3\n") {
        writeFile(dir.file("match.jvm"), "JVM_HOME: " + home + "\n");
    }

    void useLaunchScript() {
        Launcher::m_inputFiles.m_launchScript =
            new LaunchScript(SString("\"@JVM_HOME@/bin/java\" Main"), true, false);
    }

    std::string home;
    testsupport::FakeJavaHome java;
};

TEST_F(LauncherLaunchTest, LaunchWithoutLaunchScriptReadsNothing) {
    EXPECT_EQ(-1, Launcher::launch(dir.file("missing.jvm").c_str(), 0));
    EXPECT_EQ("", log());
}

TEST_F(LauncherLaunchTest, LaunchRunsTheScriptAgainstTheJvmFileOnDisk) {
    useLaunchScript();
    Launcher::m_passThroughArgs.push_back("two words");
    EXPECT_EQ(3, Launcher::launch(dir.file("match.jvm").c_str(), 0));
    EXPECT_EQ(java.args(), (std::vector<std::string>{"Main", "two words"}));
    EXPECT_FALSE(PlatformImpl::isUIVisible());

    try {
        Launcher::launch(dir.file("missing.jvm").c_str(), 0);
        FAIL() << "no exception";
    } catch (const LauncherException& e) {
        EXPECT_EQ("Unable to load input file: " + dir.file("missing.jvm"), e.message.c_str());
    }
}

TEST_F(LauncherLaunchTest, RunningStatusIsShownOnlyWithUiSeconds) {
    useLaunchScript();
    testsupport::ScopedEnv lang("LANG", "C");
    PlatformImpl::setSilent(false);
    testing::internal::CaptureStderr();
    Launcher::initializeUI();
    Launcher::launch(dir.file("match.jvm").c_str(), 0);
    std::string withoutSeconds = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::string::npos, withoutSeconds.find("Running"));
    testing::internal::CaptureStderr();
    Launcher::initializeUI();
    Launcher::launch(dir.file("match.jvm").c_str(), 5);
    EXPECT_EQ(1u, countOf(withoutSeconds + testing::internal::GetCapturedStderr(), "Running"));
    EXPECT_FALSE(PlatformImpl::isUIVisible());
}

TEST_F(LauncherLaunchTest, IlaunchRunsAnEmbeddedJvmFile) {
    useLaunchScript();
    TagFile* tags = new TagFile();
    tags->setTagValue("JVM_HOME", home.c_str());
    addIndexEntry(FILE_JVM, 7001).m_tagFile = tags;
    EXPECT_EQ(3, Launcher::ilaunch(7001, 0));
    EXPECT_EQ(java.args(), std::vector<std::string>{"Main"});
}

TEST_F(LauncherLaunchTest, IlaunchWithoutScriptOrEmbeddedJvmFileLogsAndFails) {
    addIndexEntry(FILE_JVM, 7001).m_tagFile = new TagFile();
    EXPECT_EQ(-1, Launcher::ilaunch(7001, 0));  // no launch script

    useLaunchScript();
    addIndexEntry(FILE_CLASSPATH_ARCHIVE, 7002);
    addIndexEntry(FILE_JVM, 7003);
    for (long id : {7002L, 7003L, 7004L}) {
        SCOPED_TRACE(id);
        EXPECT_EQ(-1, Launcher::ilaunch(id, 0));
    }
    EXPECT_EQ(4u, countOf(log(), kMissingPieceError));
    EXPECT_FALSE(java.ran());
}

}  // namespace
