#include <gtest/gtest.h>

#include <string>

#include "FileIndexEntry.h"
#include "LaunchScript.h"
#include "Launcher.h"
#include "LauncherException.h"
#include "LauncherInputFiles.h"
#include "PlatformImpl.h"
#include "TagFile.h"
#include "launchscript/LaunchTestSupport.h"

using launchtest::countOf;
using launchtest::LauncherStateGuard;
using launchtest::ScopedEnv;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

const char* const missingPieceError =
    "ERROR: Unable to launch the internal launch script with the internal JVM file. Either the "
    "launch script or the JVM file is missing from the launcher.\n";

// Lends the payload of the process (Launcher::m_inputFiles) a launch script,
// index entries and pass-through arguments, and takes them back at the end.
class LauncherLaunchTest : public ::testing::Test {
  protected:
    LauncherLaunchTest()
        : state(dir.file("log")),
          savedScript(Launcher::m_inputFiles.m_launchScript),
          home(dir.file("jdk")) {
        Launcher::m_inputFiles.m_launchScript = nullptr;
        for (long i = 0; i < Launcher::m_passThroughArgs.count; ++i) {
            savedArguments.push_back(Launcher::m_passThroughArgs.at(i));
        }
        Launcher::m_passThroughArgs.clear();
        launchtest::writeFakeJava(home, "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"" +
                                            dir.file("args") + "\"\nexit 3\n");
        writeFile(dir.file("match.jvm"), "JVM_HOME: " + home + "\n");
    }
    ~LauncherLaunchTest() override {
        delete Launcher::m_inputFiles.m_launchScript;
        Launcher::m_inputFiles.m_launchScript = savedScript;
        Launcher::m_passThroughArgs.clear();
        for (long i = 0; i < savedArguments.count; ++i) {
            Launcher::m_passThroughArgs.push_back(savedArguments.at(i));
        }
    }

    void useLaunchScript() {
        Launcher::m_inputFiles.m_launchScript =
            new LaunchScript(SString("\"@JVM_HOME@/bin/java\" Main"), true, false);
    }

    // Appends an index entry of `type` with `id`, holding `tagFile` (owned).
    void addEntry(long type, long id, TagFile* tagFile) {
        entries.add(type, id).m_tagFile = tagFile;
    }

    std::string log() { return readFile(dir.file("log")); }

    testsupport::TempDir dir;
    LauncherStateGuard state;
    LaunchScript* savedScript;
    launchtest::ScopedIndexEntries entries;
    StringDeque savedArguments;
    std::string home;
};

TEST_F(LauncherLaunchTest, LaunchWithoutLaunchScriptReadsNothing) {
    EXPECT_EQ(-1, Launcher::launch(dir.file("missing.jvm").c_str(), 0));
    EXPECT_EQ("", log());
}

TEST_F(LauncherLaunchTest, LaunchRunsTheScriptAgainstTheJvmFileOnDisk) {
    useLaunchScript();
    Launcher::m_passThroughArgs.push_back("two words");
    EXPECT_EQ(3, Launcher::launch(dir.file("match.jvm").c_str(), 0));
    EXPECT_EQ("Main\ntwo words\n", readFile(dir.file("args")));
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
    ScopedEnv lang("LANG", "C");
    PlatformImpl::setSilent(false);
    {
        launchtest::StdoutToFile console(dir.file("console"));
        Launcher::initializeUI();
        Launcher::launch(dir.file("match.jvm").c_str(), 0);
        EXPECT_EQ(std::string::npos, readFile(dir.file("console")).find("Running"));
        Launcher::initializeUI();
        Launcher::launch(dir.file("match.jvm").c_str(), 5);
    }
    EXPECT_EQ(1u, countOf(readFile(dir.file("console")), "Running"));
    EXPECT_FALSE(PlatformImpl::isUIVisible());
    PlatformImpl::showUI();
}

TEST_F(LauncherLaunchTest, IlaunchRunsAnEmbeddedJvmFile) {
    useLaunchScript();
    TagFile* tags = new TagFile();
    tags->setTagValue("JVM_HOME", home.c_str());
    addEntry(FILE_JVM, 7001, tags);
    EXPECT_EQ(3, Launcher::ilaunch(7001, 0));
    EXPECT_EQ("Main\n", readFile(dir.file("args")));
}

TEST_F(LauncherLaunchTest, IlaunchWithoutScriptOrEmbeddedJvmFileLogsAndFails) {
    addEntry(FILE_JVM, 7001, new TagFile());
    EXPECT_EQ(-1, Launcher::ilaunch(7001, 0));  // no launch script

    useLaunchScript();
    addEntry(FILE_CLASSPATH_ARCHIVE, 7002, nullptr);
    addEntry(FILE_JVM, 7003, nullptr);
    for (long id : {7002L, 7003L, 7004L}) {
        SCOPED_TRACE(id);
        EXPECT_EQ(-1, Launcher::ilaunch(id, 0));
    }
    EXPECT_EQ(4u, countOf(log(), missingPieceError));
    EXPECT_FALSE(testsupport::fileExists(dir.file("args")));
}

}  // namespace
