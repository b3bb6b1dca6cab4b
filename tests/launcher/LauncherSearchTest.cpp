#include <gtest/gtest.h>

#include <string>

#include "jvm/JVMFile.h"
#include "jvm/JVMFiles.h"
#include "jvm/JVMSearchFixture.h"
#include "jvm/VerifyClass.h"
#include "launcher/Launcher.h"
#include "launcher/LauncherException.h"
#include "payload/FileIndexEntry.h"
#include "payload/LauncherInputFiles.h"
#include "platform/PlatformImpl.h"
#include "support/TestSupport.h"
#include "tagfile/TagFile.h"

namespace {

const char kNoSuitableJVM[] =
    "A suitable JVM could not be found. Please run the installer again using the option "
    "-cv:javahome <JAVA HOME DIR>";

// The search actions run on the process-wide payload, which the fixture's
// state guard gives each test anew.
class LauncherSearchTest : public JVMSearchFixture {
  protected:
    void SetUp() override {
        JVMSearchFixture::SetUp();
        jvmFiles().setVerifyClass(VerifyClass("x.jar", "Verify"));
        Launcher::setStringVariable(1, "old S1");
        Launcher::setStringVariable(2, "old S2");
        Launcher::setLongVariable(1, 7);
    }

    static JVMFiles& jvmFiles() { return Launcher::m_inputFiles.m_jvmFiles; }

    // A description file accepting vendor A, with a path hint to a home that
    // prints `vendor`.
    std::string addHintedFile(const std::string& vendor) {
        std::string home = makeHome("hinted", vendor);
        TagFile& tagFile = makeJVMFile("Fake A", "A");
        tagFile.setTagValue("PATH_HINT", home.c_str());
        jvmFiles().addJVMFile(new JVMFile(tagFile));
        return home;
    }

    // Points the launcher's temporary directory at nothing, so that writing
    // a match file fails.
    void breakTempDir() { PlatformImpl::m_tempDir = dir_.file("missing").c_str(); }

    bool logHas(const std::string& text) const { return logText().find(text) != std::string::npos; }

    static std::string variable(long n) { return Launcher::getStringVariable(n).c_str(); }
};

TEST_F(LauncherSearchTest, FindJVMSetsTheVariablesAndWritesAMatchFile) {
    std::string home = addHintedFile("A");

    Launcher::findJVM(false, false);

    EXPECT_EQ(Launcher::getLongVariable(1), 1);
    EXPECT_EQ(variable(1), home);
    std::string path = variable(2);
    EXPECT_EQ(path.rfind(tempDir() + "/", 0), 0u) << path;
    EXPECT_STREQ(TagFile(path.c_str()).getTagValue("JVM_HOME", 0).c_str(), home.c_str());
    EXPECT_TRUE(onCleanupList(path.c_str())) << "removed at exit unless a caller keeps it";
    EXPECT_TRUE(logHas("Finding a JVM\n"));
    EXPECT_TRUE(logHas("Matching JVM home is " + home + "\n"));
    EXPECT_TRUE(logHas("Matching JVM file is " + path + "\n"));
}

TEST_F(LauncherSearchTest, FindJVMWithoutAMatchClearsTheVariablesAndTellsTheUser) {
    addHintedFile("wrong");

    testing::internal::CaptureStderr();
    Launcher::findJVM(false, true);
    std::string out = testing::internal::GetCapturedStderr();

    EXPECT_EQ(Launcher::getLongVariable(1), 0);
    EXPECT_EQ(variable(1), "");
    EXPECT_EQ(variable(2), "");
    EXPECT_NE(out.find(kNoSuitableJVM), std::string::npos) << out;
    EXPECT_TRUE(logHas(std::string(kNoSuitableJVM) + "\n"));
}

TEST_F(LauncherSearchTest, FindJVMLogsAFailedSearchAndPassesItOn) {
    addHintedFile("A");
    breakTempDir();

    try {
        Launcher::findJVM(false, false);
        ADD_FAILURE() << "no exception";
    } catch (const LauncherException& e) {
        std::string message = e.message.c_str();
        EXPECT_EQ(message.rfind("Error creating tmp file ", 0), 0u) << message;
        EXPECT_TRUE(logHas("ERROR: " + std::string(kNoSuitableJVM) + " " + message + "\n"));
    }
    EXPECT_EQ(Launcher::getLongVariable(1), 0);
    EXPECT_EQ(variable(2), "");
}

TEST_F(LauncherSearchTest, VerifyJVMWithATagFileSetsN1AndS1) {
    std::string good = makeHome("good", "A");
    std::string bad = makeHome("bad", "B");
    TagFile& tagFile = makeJVMFile("Fake A", "A");

    Launcher::verifyJVM(false, false, tagFile, good.c_str());
    EXPECT_EQ(Launcher::getLongVariable(1), 1);
    EXPECT_EQ(variable(1), good);
    EXPECT_TRUE(logHas("After VERIFY, the jvm home is " + good + "\n"));

    Launcher::setStringVariable(1, "kept");
    Launcher::verifyJVM(false, false, tagFile, bad.c_str());
    EXPECT_EQ(Launcher::getLongVariable(1), 0);
    EXPECT_EQ(variable(1), "kept");
    EXPECT_TRUE(logHas("In VERIFY, the jvm is invalid.\n"));
}

TEST_F(LauncherSearchTest, VerifyJVMWithoutAHomeUsesTheHomeOfTheFile) {
    std::string good = makeHome("good", "A");
    TagFile& tagFile = makeJVMFile("Fake A", "A");
    tagFile.setTagValue("JVM_HOME", good.c_str());

    Launcher::verifyJVM(false, false, tagFile, SString());

    EXPECT_EQ(Launcher::getLongVariable(1), 1);
    EXPECT_EQ(variable(1), good);
    EXPECT_EQ(calls(), (std::vector<std::string>{good}));
}

TEST_F(LauncherSearchTest, VerifyJVMWithAPathPrintsN1) {
    std::string good = makeHome("good", "A");
    std::string bad = makeHome("bad", "B");
    std::string path = dir_.file("fake.jvm");
    makeJVMFile("Fake A", "A").write(path.c_str());

    for (const auto& [home, expected] : {std::pair{good, "1\n"}, std::pair{bad, "0\n"}}) {
        SCOPED_TRACE(home);
        testing::internal::CaptureStdout();
        Launcher::verifyJVM(false, false, path.c_str(), home.c_str());
        EXPECT_EQ(testing::internal::GetCapturedStdout(), expected);
    }
}

TEST_F(LauncherSearchTest, VerifyJVMWithAMissingFileThrowsAndPrintsZero) {
    std::string path = dir_.file("missing.jvm");
    testing::internal::CaptureStdout();
    try {
        Launcher::verifyJVM(false, false, path.c_str(), "/opt/jdk");
        ADD_FAILURE() << "no exception";
    } catch (const LauncherException& e) {
        EXPECT_EQ(std::string(e.message.c_str()), "Unable to load input file: " + path);
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "0\n");
}

TEST_F(LauncherSearchTest, VerifyJVMWithAnUnknownIdThrows) {
    try {
        Launcher::verifyJVM(false, false, 4711L);
        ADD_FAILURE() << "no exception";
    } catch (const LauncherException& e) {
        EXPECT_STREQ(e.message.c_str(),
                     "Cannot verify jvm file at index 4711 because it does not exist.");
    }
}

TEST_F(LauncherSearchTest, VerifyJVMByIdRefusesWhatIsNoReadJVMFile) {
    testsupport::addIndexEntry(FILE_LAUNCH_SCRIPT, 5).m_fileName = "launch.tag";
    testsupport::addIndexEntry(FILE_JVM, 6).m_fileName = "unread.jvm";
    const std::pair<long, const char*> cases[] = {
        {5,
         "To verify a JVM, use an index of a jvm file. The index passed in was 5 which "
         "corresponds to the file named launch.tag"},
        {6, "The jvm file with file id 6 could not be read."},
    };
    for (const auto& [id, expected] : cases) {
        SCOPED_TRACE(id);
        try {
            Launcher::verifyJVM(false, false, id);
            ADD_FAILURE() << "no exception";
        } catch (const LauncherException& e) {
            EXPECT_STREQ(e.message.c_str(), expected);
        }
    }
}

// By id, the home verified is the user's Java home.
TEST_F(LauncherSearchTest, VerifyJVMByIdVerifiesTheUserJavaHome) {
    std::string home = makeHome("user", "A");
    std::string path = dir_.file("fake.jvm");
    makeJVMFile("Fake A", "A").write(path.c_str());
    testsupport::addIndexEntry(FILE_JVM, 3).m_tagFile = new TagFile(path.c_str());
    Launcher::m_userJavaHome = home.c_str();

    Launcher::verifyJVM(false, false, 3L);

    EXPECT_EQ(Launcher::getLongVariable(1), 1);
    EXPECT_EQ(variable(1), home);
    EXPECT_EQ(calls(), (std::vector<std::string>{home}));
}

// The match file is reported and kept: it is off the cleanup list.
TEST_F(LauncherSearchTest, SearchPrintsHomeAndMatchFileAndKeepsTheFile) {
    std::string home = addHintedFile("A");

    testing::internal::CaptureStdout();
    Launcher::search(false, false);
    std::string out = testing::internal::GetCapturedStdout();

    std::string path = variable(2);
    EXPECT_EQ(out, "1\n" + home + "\n" + path + "\n");
    EXPECT_TRUE(testsupport::fileExists(path));
    EXPECT_FALSE(onCleanupList(path.c_str()));
    state_.temp().expectLeft(path.substr(path.rfind('/') + 1));
}

TEST_F(LauncherSearchTest, SearchWithoutAMatchPrintsZero) {
    addHintedFile("wrong");

    testing::internal::CaptureStdout();
    Launcher::search(false, false);

    EXPECT_EQ(testing::internal::GetCapturedStdout(), "0\n");
}

TEST_F(LauncherSearchTest, SearchThatFailsPrintsZero) {
    addHintedFile("A");
    breakTempDir();

    testing::internal::CaptureStdout();
    Launcher::search(false, false);

    EXPECT_EQ(testing::internal::GetCapturedStdout(), "0\n");
    EXPECT_TRUE(logHas("ERROR: " + std::string(kNoSuitableJVM) + " Error creating tmp file "));
}

// The walk itself is covered by JVMFilesTest; here it ends at once.
TEST_F(LauncherSearchTest, SearchAllWithoutMatchesPrintsZero) {
    addHintedFile("A");
    PlatformImpl::m_canceled = true;

    testing::internal::CaptureStdout();
    Launcher::searchAll(false, false);

    EXPECT_EQ(testing::internal::GetCapturedStdout(), "0\n");
    EXPECT_TRUE(logHas("Finding all matching JVMs\n"));
    EXPECT_TRUE(calls().empty()) << "no user home and no hints";
}

}  // namespace
