#include "jvm/JVMFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "jvm/JVMMatch.h"
#include "jvm/TriedHomes.h"
#include "jvm/VerifyClass.h"
#include "launcher/Launcher.h"
#include "launchscript/CommandText.h"
#include "support/FakeJavaHome.h"
#include "support/LauncherUnitTest.h"
#include "support/ScopedEnv.h"
#include "tagfile/TagFile.h"

using testsupport::countOf;
using testsupport::FakeJavaHome;
using testsupport::readFile;
using testsupport::realPath;
using testsupport::ScopedEnv;
using testsupport::writeVerifyingJava;

namespace {

// A class that no fake Java looks at.
const VerifyClass kNoClass("", "Verify");

// Only a home that the description file gives loses one trailing backslash;
// a match file (with JVM_FILE) holds a home found on disk.
TEST(JVMFileTest, AtMacrosReadTagsAsTheyAreButAGivenHomeDropsOneTrailingBackslash) {
    TagFile tags;
    tags.setTagValue("JVM_HOME", "C:\\jdk\\\\");
    tags.setTagValue("OTHER", "dir\\");
    JVMFile jvm(tags);
    EXPECT_STREQ("C:\\jdk\\|dir\\||a@b",
                 CommandText::plain(jvm.resolve("@JVM_HOME@|@OTHER@|@MISSING@|a@@b")).c_str());
    tags.setTagValue("JVM_FILE", "/tmp/cvjabcdef");
    EXPECT_STREQ("C:\\jdk\\\\", CommandText::plain(jvm.resolve("@JVM_HOME@")).c_str());
}

// Each row: a JVM_PROPERTIES entry, a value that a JVM reports, and whether
// it matches; an entry with an invalid version (Bad) matches nothing. A
// value that does not match says why, after the property's name and value.
TEST(JVMFileTest, VersionRangesCompareAsJavaVersions) {
    enum Outcome { No, Yes, Bad };
    const struct {
        const char* entry;
        const char* reported;
        Outcome outcome;
        const char* why;
    } cases[] = {
        {"java.specification.version>=8", "1.8", Yes, ""},
        {"java.version>8", "1.8", No, "is not above 8"},
        {"java.version<=1.8", "8", Yes, ""},
        {"java.version>9", "1.9", No, "is below 9"},
        {"java.version>17.0.9", "17.0.10", Yes, ""},
        {"java.version>=25", "17", No, "is below 25"},
        {"java.version < 25", "17", Yes, ""},
        {"java.version<=17", "17.0.0", Yes, ""},
        {"java.version>17", "17.0.0", No, "is not above 17"},
        {"java.runtime.version>17", "17+7", No, "is not above 17"},
        {"java.version<22", "22-ea", No, "is not below 22"},
        {"java.version<=21", "22", No, "is above 21"},
        {"java.version>8", "1.8.0_292-b10", No, "is not above 8"},
        {"a.version>=1", "openj9-0.29", No, "is no version"},
        {"app.level>=8", "1.8", No, "is below 8"},
        {"x>=100000000000000000000", "99999999999999999999", No, "is below 100000000000000000000"},
        {" a = b=c ", "b=c", Yes, ""},
        {"java.vendor=Oracle...", "Fake", No, "does not begin with Oracle"},
        {"java.vendor=Oracle", "Fake", No, "is not Oracle"},
        {"x>=", "1", Bad, ""},
        {"x>=abc", "1", Bad, ""},
        {"x<17.", "17", Bad, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.entry) + " / " + c.reported);
        StringPair entry;
        EXPECT_EQ(StringPair::parse(c.entry, entry), c.outcome == Bad
                                                         ? PropertyEntryStatus::InvalidVersion
                                                         : PropertyEntryStatus::Valid);
        if (c.outcome == No) {
            EXPECT_EQ(std::string(entry.mismatch(c.reported).c_str()),
                      std::string(entry.m_name.c_str()) + " " + c.reported + " " + c.why);
        }
        EXPECT_EQ(entry.matches(c.reported), c.outcome == Yes);
    }
}

class JVMFileVerifyTest : public testsupport::LauncherUnitTest {
  protected:
    // The home lies under the real path of the directory, so that only the
    // links a test makes count as links.
    JVMFileVerifyTest() : jvm(tags), home(realPath(dir.path()) + "/jdk") {
        tags.fileName = "fake.jvm";
        testsupport::appendTags(tags, {{"DESC", "Fake JVM"},
                                       {"JVM_EXE", "bin/java"},
                                       {"CLASSPATH", "-cp "},
                                       {"JVM_PROPERTIES", "java.version=17..."},
                                       {"JVM_PROPERTIES", " java.vendor = Fake Corp "}});
    }

    // Owns what a verification returns.
    std::unique_ptr<JVMMatch> verify(const std::string& candidate) {
        return std::unique_ptr<JVMMatch>(
            jvm.verify(candidate.c_str(), VerifyClass("/v/verify.jar", "Verify"), false));
    }

    TagFile tags;
    JVMFile jvm;
    std::string home;
    TriedHomes tried;
};

TEST_F(JVMFileVerifyTest, OutputMustHoldTheMarkerAndTheExpectedValues) {
    StringPairPtrDeque expected;
    expected.push_back(new StringPair("java.version", "1.3..."));
    expected.push_back(new StringPair("java.vendor", "Fake Corp"));
    expected.push_back(new StringPair("any", "..."));
    struct {
        const char* output;
        bool verified;
    } cases[] = {
        {"1739021872\n1.3.1\nFake Corp\nx\n", true},
        {"noise\n1739021872\n1.3\nFake Corp\n\nafter\n", true},
        {"1739021872\r\n  1.3.1 \r\n\tFake Corp\r\nx", true},
        {"1739021872\n1.2.2\nFake Corp\nx\n", false},
        {"1739021872\n1.3.1\nfake corp\nx\n", false},
        {"1739021872\n1.3.1\nFake Corp\n", false},  // ends before every value came
        {"1739021872\n", false},
        {"17390218720\n1.3.1\nFake Corp\nx\n", false},
        {"", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.output);
        EXPECT_EQ(c.verified, JVMFile::verifyJVMOutput(c.output, expected));
    }
}

TEST_F(JVMFileVerifyTest, MissingMarkerLogsTheLastLine) {
    StringPairPtrDeque expected;
    EXPECT_FALSE(JVMFile::verifyJVMOutput("first\nlast line\n", expected));
    EXPECT_FALSE(JVMFile::verifyJVMOutput("", expected));
    EXPECT_TRUE(JVMFile::verifyJVMOutput("1739021872", expected));
    std::string text = log();
    EXPECT_NE(std::string::npos, text.find("ERROR: Invalid magic value: last line\n\n"));
    EXPECT_NE(std::string::npos, text.find("ERROR: Invalid magic value: \n\n"));
}

TEST_F(JVMFileVerifyTest, VerifiesAHomeByRunningItsJava) {
    FakeJavaHome(home,
                 "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$JAVA_HOME/args\"\n"
                 "printf '1739021872\\n17.0.2\\nFake Corp\\n'\n");
    std::unique_ptr<JVMMatch> match = verify(home);
    ASSERT_NE(nullptr, match);
    EXPECT_STREQ(home.c_str(), match->m_jvmHome.c_str());
    EXPECT_EQ(&tags, match->m_tagFile);
    EXPECT_STREQ(home.c_str(), tags.getTagValue("JVM_HOME").c_str());
    EXPECT_EQ("-cp\n/v/verify.jar\nVerify\njava.version\njava.vendor\n", readFile(home + "/args"));
    std::string text = log();
    EXPECT_NE(std::string::npos,
              text.find("Verifying JVM at " + home + "/bin/java\n   for JVM: Fake JVM\n"));
    EXPECT_NE(std::string::npos, text.find("Found matching JVM at " + home + "\n"));
}

TEST_F(JVMFileVerifyTest, ClasspathWithoutQuotesAndHomeWithShellCharacters) {
    std::string oddHome = dir.file("j\"d$(touch pwned)`touch pwned2`\\k");
    writeVerifyingJava(oddHome, "17\\nFake Corp\\n");
    std::unique_ptr<JVMMatch> match(
        jvm.verify(oddHome.c_str(), VerifyClass("/v/verify.jar", "Verify"), false));
    EXPECT_NE(nullptr, match);
    EXPECT_FALSE(testsupport::fileExists(dir.file("pwned")));
    EXPECT_FALSE(testsupport::fileExists("pwned"));
    EXPECT_FALSE(testsupport::fileExists("pwned2"));
}

TEST_F(JVMFileVerifyTest, RejectsMissingExecutablesAndWrongValues) {
    EXPECT_EQ(nullptr, verify(home));
    EXPECT_NE(std::string::npos, log().find(home + "/bin/java does not exist\n"));

    writeVerifyingJava(home, "16.0.1\\nFake Corp\\n");
    EXPECT_EQ(nullptr, verify(home + "/"));
    EXPECT_STREQ((home + "/").c_str(), tags.getTagValue("JVM_HOME").c_str());
    EXPECT_EQ(nullptr, verify(""));
    tags.removeValue("JVM_EXE");
    writeVerifyingJava(home, "17\\nFake Corp\\n");
    EXPECT_EQ(nullptr, verify(home));
}

TEST_F(JVMFileVerifyTest, PropertiesWithoutEqualsAreSkippedWithAWarning) {
    tags.removeValue("JVM_PROPERTIES");
    tags.appendTagValue("JVM_PROPERTIES", "no.equals");
    writeVerifyingJava(home, "");
    EXPECT_NE(nullptr, verify(home));
    EXPECT_NE(
        std::string::npos,
        log().find("WARNING: Invalid JVM_PROPERTIES setting (no.equals) in JVM File fake.jvm\n"));
}

// Both bounds apply; the probe is asked for the property once per entry.
TEST_F(JVMFileVerifyTest, TwoBoundsOnOnePropertyBothApply) {
    tags.setTagValue("JVM_PROPERTIES", "java.specification.version>=17");
    tags.appendTagValue("JVM_PROPERTIES", "java.specification.version<22");
    for (auto [reported, verified] : {std::pair{"17", true}, {"21.0.2", true}, {"22", false}}) {
        SCOPED_TRACE(reported);
        std::string values = std::string(reported) + "\\n";
        FakeJavaHome java = writeVerifyingJava(home, values + values);
        EXPECT_EQ(verify(home) != nullptr, verified);
        EXPECT_EQ(java.args().size(), 5u);
    }
}

// An entry that no JVM can satisfy fails the file without running its Java.
TEST_F(JVMFileVerifyTest, MalformedRangeFailsWithAWarningAndNoProbe) {
    FakeJavaHome java = writeVerifyingJava(home, "17\\nFake Corp\\n");
    tags.appendTagValue("JVM_PROPERTIES", "java.version>=abc");
    EXPECT_EQ(nullptr, verify(home));
    EXPECT_FALSE(java.ran());
    EXPECT_NE(std::string::npos, log().find("WARNING: Invalid version range in JVM_PROPERTIES "
                                            "setting (java.version>=abc) in JVM File fake.jvm; "
                                            "no JVM matches it.\n"));
}

TEST_F(JVMFileVerifyTest, FilesWithoutPropertiesOnlyVerifyAGivenHome) {
    tags.removeValue("JVM_PROPERTIES");
    writeVerifyingJava(home, "");
    tags.setTagValue("JVM_HOME", home.c_str());
    tags.setTagValue("PATH_HINT", home.c_str());
    EXPECT_EQ(nullptr, jvm.verify(kNoClass, false));
    EXPECT_EQ(nullptr, jvm.verifyWithPathHints(kNoClass, false));
    EXPECT_EQ(nullptr, jvm.verifyWithPlatformHints(kNoClass, false));
    EXPECT_EQ(nullptr, jvm.verifyWithPlatformJVMPaths(tried, kNoClass, false));
    EXPECT_EQ(4u, countOf(log(),
                          "WARNING: Unable to verify fake.jvm because the JVM_PROPERTIES "
                          "tag was not specified.\n"));
    EXPECT_NE(nullptr, verify(home));
}

TEST_F(JVMFileVerifyTest, VerifyWithoutHomeUsesTheJvmHomeTag) {
    writeVerifyingJava(home, "17\\nFake Corp\\n");
    tags.setTagValue("JVM_HOME", home.c_str());
    std::unique_ptr<JVMMatch> match(jvm.verify(kNoClass, false));
    ASSERT_NE(nullptr, match);
    EXPECT_STREQ(home.c_str(), match->m_jvmHome.c_str());
}

TEST_F(JVMFileVerifyTest, PathHintsAreTakenFromTheRoot) {
    writeVerifyingJava(home, "17\\nFake Corp\\n");
    tags.appendTagValue("PATH_HINT", dir.file("missing").c_str());
    tags.appendTagValue("PATH_HINT", home.substr(1).c_str());
    std::unique_ptr<JVMMatch> match(jvm.verifyWithPathHints(kNoClass, false));
    ASSERT_NE(nullptr, match);
    EXPECT_STREQ(home.c_str(), match->m_jvmHome.c_str());
    std::string text = log();
    EXPECT_NE(std::string::npos, text.find("Searching for Fake JVM using path hints\n"));
    EXPECT_NE(std::string::npos, text.find("Checking path hint " + dir.file("missing") + "\n"));
    EXPECT_NE(std::string::npos, text.find("Checking path hint " + home + "\n"));
}

// The directories that a pattern matches are tried newest version first,
// until one verifies; a matching file is no candidate. "~/" stands for $HOME,
// whose own characters are no pattern.
TEST_F(JVMFileVerifyTest, PathHintPatternsAndTheHomeDirectory) {
    std::string base = realPath(dir.path());
    std::string user = base + "/h[o]me*";
    ASSERT_EQ(0, symlink(".", user.c_str()));
    testsupport::makeDirectories(base + "/jdks");
    testsupport::writeFile(base + "/jdks/jdk-99", "");
    ScopedEnv runs("CVTEST_JAVA_RUNS", dir.file("runs").c_str());
    using Names = std::vector<std::string>;
    const Names all = {"jdk-9", "jdk-17.0.9", "jdk-17.0.10", "jdk-21"};
    auto verifying = [](const Names& names, const std::string& name) {
        return std::count(names.begin(), names.end(), name) != 0;
    };
    const struct {
        const char* home;  // null: HOME unset
        std::string hint;
        Names verifying;  // the others report Java 16
        Names tried;      // the last one is found if it verifies
    } cases[] = {
        {user.c_str(), "~/jdks/jdk-*", {}, {"jdk-21", "jdk-17.0.10", "jdk-17.0.9", "jdk-9"}},
        {user.c_str(), "~/jdks/jdk-*", {"jdk-17.0.9", "jdk-17.0.10"}, {"jdk-21", "jdk-17.0.10"}},
        {user.c_str(), "~/jdks/jdk-9", all, {"jdk-9"}},
        {"", "~/jdks/jdk-*", all, {}},
        {nullptr, "~/jdks/jdk-9", all, {}},
        {nullptr, base.substr(1) + "/jdks/jdk-1?.*", all, {"jdk-17.0.10"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.hint + " " + testing::PrintToString(c.verifying));
        for (const std::string& name : all) {
            writeVerifyingJava(base + "/jdks/" + name,
                               verifying(c.verifying, name) ? "17\\nFake Corp\\n" : "16\\n");
        }
        unlink(dir.file("runs").c_str());
        ScopedEnv homeVariable("HOME", c.home);
        tags.setTagValue("PATH_HINT", c.hint.c_str());
        std::unique_ptr<JVMMatch> match(jvm.verifyWithPathHints(kNoClass, false));
        Names tried;
        for (const std::string& line : testsupport::linesOf(readFile(dir.file("runs")))) {
            tried.push_back(line.substr(line.rfind('/') + 1));
        }
        EXPECT_EQ(tried, c.tried);
        bool found = !tried.empty() && verifying(c.verifying, tried.back());
        std::string parent = c.hint[0] == '~' ? user : base;
        EXPECT_EQ(match == nullptr ? "" : match->m_jvmHome.c_str(),
                  found ? parent + "/jdks/" + tried.back() : "");
    }
    EXPECT_EQ(2u, countOf(log(), "Skipping path hint ~/jdks/jdk-"));
}

TEST_F(JVMFileVerifyTest, PlatformHintsNameVariablesWithDirectoryLists) {
    writeVerifyingJava(home, "17\\nFake Corp\\n");
    std::string list = dir.file("missing") + "::" + home;
    ScopedEnv hint("CVTEST_JVM_HINT", list.c_str());
    tags.appendTagValue("PLATFORM_HINT", "CVTEST_UNSET_HINT");
    tags.appendTagValue("PLATFORM_HINT", "CVTEST_JVM_HINT");
    std::unique_ptr<JVMMatch> match(jvm.verifyWithPlatformHints(kNoClass, false));
    ASSERT_NE(nullptr, match);
    EXPECT_STREQ(home.c_str(), match->m_jvmHome.c_str());
    std::string text = log();
    EXPECT_NE(std::string::npos, text.find("Searching for Fake JVM using platform hints\n"));
    EXPECT_NE(std::string::npos, text.find("Checking JVM at " + home +
                                           " which was resolved from platform hint "
                                           "CVTEST_JVM_HINT\n"));
}

// A verification run may set variables (SET_ENV_FOR_WIZARD, for launcher
// purpose 0), so a platform hint's variable is read only when its turn comes.
TEST_F(JVMFileVerifyTest, PlatformHintVariableIsReadWhenItsTurnComes) {
    std::string first = dir.file("first");
    writeVerifyingJava(first, "11\\nFake Corp\\n");
    writeVerifyingJava(home, "17\\nFake Corp\\n");
    ScopedEnv firstHint("CVTEST_FIRST_HINT", first.c_str());
    ScopedEnv lateHint("CVTEST_LATE_HINT", "");
    tags.appendTagValue("PLATFORM_HINT", "CVTEST_FIRST_HINT");
    tags.appendTagValue("PLATFORM_HINT", "CVTEST_LATE_HINT");
    tags.setTagValue("SET_ENV_FOR_WIZARD", ("CVTEST_LATE_HINT=" + home).c_str());
    Launcher::m_launcherPurpose = 0;
    std::unique_ptr<JVMMatch> match(jvm.verifyWithPlatformHints(kNoClass, false));
    ASSERT_NE(nullptr, match);
    EXPECT_STREQ(home.c_str(), match->m_jvmHome.c_str());
}

TEST_F(JVMFileVerifyTest, PathEntriesEndingInTheExecutableDirectoryGiveTheirParent) {
    writeVerifyingJava(home, "17\\nFake Corp\\n");
    std::string other = dir.file("other");
    std::string path = other + "::" + home + "/bin/";
    ScopedEnv pathVariable("PATH", path.c_str());
    std::unique_ptr<JVMMatch> match(jvm.verifyWithPlatformJVMPaths(tried, kNoClass, false));
    ASSERT_NE(nullptr, match);
    EXPECT_STREQ((home + "/").c_str(), match->m_jvmHome.c_str());
    std::string text = log();
    EXPECT_NE(std::string::npos,
              text.find("Searching for Fake JVM using platform specific JVM Path hints\n"));
    EXPECT_NE(std::string::npos, text.find("Checking JVM at " + other +
                                           "/ which was resolved "
                                           "from the platform JVM path " +
                                           other + "\n"));
    EXPECT_NE(std::string::npos, text.find("Checking JVM at " + home +
                                           "/ which was resolved "
                                           "from the platform JVM path " +
                                           home + "/bin/\n"));
}

TEST_F(JVMFileVerifyTest, PathEntryIsCutOnlyAtAWholeComponent) {
    std::string sbin = dir.file("usr/sbin");
    ScopedEnv pathVariable("PATH", sbin.c_str());
    EXPECT_EQ(nullptr, jvm.verifyWithPlatformJVMPaths(tried, kNoClass, false));
    EXPECT_NE(std::string::npos,
              log().find("Checking JVM at " + sbin +
                         "/ which was resolved from the platform JVM path " + sbin + "\n"));
}

TEST_F(JVMFileVerifyTest, ExecutableNameWithoutDirectoryKeepsThePathEntry) {
    tags.setTagValue("JVM_EXE", "java");
    writeVerifyingJava(home, "17\\nFake Corp\\n");
    std::string path = home + "/bin";
    ScopedEnv pathVariable("PATH", path.c_str());
    std::unique_ptr<JVMMatch> match(jvm.verifyWithPlatformJVMPaths(tried, kNoClass, false));
    ASSERT_NE(nullptr, match);
    EXPECT_STREQ(path.c_str(), match->m_jvmHome.c_str());
}

TEST_F(JVMFileVerifyTest, LinkedPathExecutableLeadsToTheRealHomeOnce) {
    writeVerifyingJava(home, "11\\nFake Corp\\n");  // fails: each home is tried once
    mkdir(dir.file("usrbin").c_str(), 0755);
    mkdir(dir.file("bin").c_str(), 0755);
    ASSERT_EQ(0, symlink((home + "/bin/java").c_str(), dir.file("usrbin/java").c_str()));
    ASSERT_EQ(0, symlink((home + "/bin/java").c_str(), dir.file("bin/java").c_str()));
    std::string path = dir.file("usrbin") + ":" + dir.file("bin") + ":" + home + "/bin";
    ScopedEnv pathVariable("PATH", path.c_str());
    EXPECT_EQ(nullptr, jvm.verifyWithPlatformJVMPaths(tried, kNoClass, false));
    std::string text = log();
    std::string realHome = realPath(home);
    EXPECT_NE(std::string::npos, text.find("Checking JVM at " + realHome +
                                           " which was resolved "
                                           "from the platform JVM path " +
                                           dir.file("usrbin")));
    EXPECT_EQ(1u, countOf(text, "Checking JVM at " + realHome + " which"));
    // The plain entry gives home + "/": the same JDK, not verified again.
    EXPECT_EQ(1u, countOf(text, "Verifying JVM at "));
}

TEST(JVMFileHomeTest, HomeFromExecutableFollowsLinksToTheExecutable) {
    testsupport::TempDir dir;
    std::string base = realPath(dir.path());
    std::string realHome = base + "/jdk";
    writeVerifyingJava(realHome, "");
    mkdir((base + "/bin").c_str(), 0755);
    ASSERT_EQ(0, symlink((realHome + "/bin/java").c_str(), (base + "/bin/java").c_str()));
    ASSERT_EQ(0, symlink((realHome + "/bin/missing").c_str(), (base + "/bin/dangling").c_str()));
    testsupport::writeFile(base + "/bin/plain", "");
    struct {
        std::string path;
        const char* jvmExe;
        std::string expected;
    } cases[] = {
        {base + "/bin/java", "bin/java", realHome},
        {base + "/bin/java", "java", realHome + "/bin"},
        {base + "/bin/java", "jre/bin/java", ""},  // the target does not end with it
        {base + "/bin/java", "", ""},
        {realHome + "/bin/java", "bin/java", ""},  // not a link: the path rule applies
        {base + "/bin/plain", "bin/plain", ""},
        {base + "/bin/dangling", "bin/missing", ""},
        {base + "/bin/none", "bin/none", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path + " " + c.jvmExe);
        EXPECT_EQ(c.expected, JVMFile::homeFromExecutable(c.path.c_str(), c.jvmExe).c_str());
    }
}

}  // namespace
