#include "jvm/JVMFiles.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "jvm/JVMFile.h"
#include "jvm/JVMMatch.h"
#include "jvm/JVMSearchFixture.h"
#include "jvm/VerifyClass.h"
#include "launcher/Launcher.h"
#include "launcher/LauncherException.h"
#include "payload/FileIndexEntry.h"
#include "platform/FindFiles.h"
#include "platform/PlatformImpl.h"
#include "tagfile/TagFile.h"

namespace {

using testsupport::entriesOf;
using testsupport::makeDirectories;
using Strings = std::vector<std::string>;

class JVMFilesTest : public JVMSearchFixture {
  protected:
    // A JVMFiles that runs the fake homes' scripts in place of Java.
    void addFile(JVMFiles& jvmFiles, TagFile& tagFile) {
        jvmFiles.addJVMFile(new JVMFile(tagFile));
        jvmFiles.setVerifyClass(VerifyClass("x.jar", "Verify"));
    }

    static Strings homesOf(const UnverifiedJVMMatch* entry) {
        Strings homes;
        for (long i = 0; entry != nullptr && i < entry->m_sdqJVMHomes.count; i++) {
            homes.push_back(entry->m_sdqJVMHomes.at(i).c_str());
        }
        return homes;
    }
};

// The user's Java home is tried against every file, in order, before any hint.
TEST_F(JVMFilesTest, UserJavaHomeIsTriedFirstAgainstEveryFile) {
    std::string homeA = makeHome("a", "A");
    std::string homeB = makeHome("b", "B");
    TagFile& fileA = makeJVMFile("A", "A");
    fileA.setTagValue("PATH_HINT", homeA.c_str());
    TagFile& fileB = makeJVMFile("B", "B");
    JVMFiles jvmFiles;
    addFile(jvmFiles, fileA);
    addFile(jvmFiles, fileB);
    Launcher::m_userJavaHome = homeB.c_str();

    JVMMatchPtrDeque matches;
    jvmFiles.search(matches, false);

    ASSERT_EQ(matches.count, 1);
    EXPECT_STREQ(matches.at(0)->getJVMHome().c_str(), homeB.c_str());
    EXPECT_EQ(matches.at(0)->m_tagFile, &fileB);
    EXPECT_EQ(calls(), (Strings{homeB, homeB}));
    EXPECT_EQ(jvmFiles.m_match, nullptr) << "the match belongs to the caller's deque";
    std::string log = logText();
    EXPECT_NE(log.find("Checking user specified Java home directory => " + homeB),
              std::string::npos);
    EXPECT_EQ(log.find("Initiating JVM search based on hints..."), std::string::npos);
}

TEST_F(JVMFilesTest, UserJavaHomeThatFitsNoFileLeadsToTheHints) {
    std::string homeA = makeHome("a", "A");
    std::string homeX = makeHome("x", "X");
    TagFile& fileA = makeJVMFile("A", "A");
    fileA.setTagValue("PATH_HINT", homeA.c_str());
    JVMFiles jvmFiles;
    addFile(jvmFiles, fileA);
    Launcher::m_userJavaHome = homeX.c_str();

    JVMMatchPtrDeque matches;
    jvmFiles.search(matches, false);

    ASSERT_EQ(matches.count, 1);
    EXPECT_STREQ(matches.at(0)->getJVMHome().c_str(), homeA.c_str());
    EXPECT_EQ(calls(), (Strings{homeX, homeA}));
}

// Within a file: platform hints, path hints, then PATH; files in their order.
TEST_F(JVMFilesTest, HintsAreTriedKindByKindAndFileByFile) {
    std::string platformA = makeHome("platform-a", "wrong");
    std::string pathA = makeHome("path-a", "wrong");
    std::string inPath = makeHome("in-path", "wrong");
    std::string platformB = makeHome("platform-b", "B");
    std::string pathB = makeHome("path-b", "B");
    setEnv("CVTEST_HINT_A", platformA);
    setEnv("CVTEST_HINT_B", platformB);
    setEnv("PATH", inPath + "/bin");
    TagFile& fileA = makeJVMFile("A", "A");
    fileA.setTagValue("PLATFORM_HINT", "CVTEST_HINT_A");
    fileA.setTagValue("PATH_HINT", pathA.c_str());
    TagFile& fileB = makeJVMFile("B", "B");
    fileB.setTagValue("PLATFORM_HINT", "CVTEST_HINT_B");
    fileB.setTagValue("PATH_HINT", pathB.c_str());
    JVMFiles jvmFiles;
    addFile(jvmFiles, fileA);
    addFile(jvmFiles, fileB);

    JVMMatchPtrDeque matches;
    jvmFiles.search(matches, false);

    ASSERT_EQ(matches.count, 1);
    EXPECT_STREQ(matches.at(0)->getJVMHome().c_str(), platformB.c_str());
    EXPECT_EQ(matches.at(0)->m_tagFile, &fileB);
    EXPECT_EQ(calls(), (Strings{platformA, pathA, inPath, platformB}));
    EXPECT_EQ(logText().find("Beginning exhaustive search"), std::string::npos);
}

// The hint phase ends after the first file with SEARCH_ALL true: a later
// file's hints are never tried, and the disk walk starts (here it ends at
// once, because the cancel flag is up).
TEST_F(JVMFilesTest, SearchAllEndsTheHintPhaseAndStartsTheWalk) {
    std::string badA = makeHome("bad-a", "wrong");
    std::string homeB = makeHome("b", "B");
    TagFile& fileA = makeJVMFile("A", "A");
    fileA.setTagValue("PATH_HINT", badA.c_str());
    fileA.setBoolTagValue("SEARCH_ALL", true);
    TagFile& fileB = makeJVMFile("B", "B");
    fileB.setTagValue("PATH_HINT", homeB.c_str());
    JVMFiles jvmFiles;
    addFile(jvmFiles, fileA);
    addFile(jvmFiles, fileB);
    PlatformImpl::m_canceled = true;

    JVMMatchPtrDeque matches;
    jvmFiles.search(matches, false);

    EXPECT_EQ(matches.count, 0);
    EXPECT_EQ(calls(), (Strings{badA}));
    std::string log = logText();
    EXPECT_NE(log.find("Beginning exhaustive search"), std::string::npos);
    EXPECT_NE(log.find("Processing unverified matches.\n"), std::string::npos);
}

TEST_F(JVMFilesTest, NoWalkWithoutSearchAll) {
    TagFile& fileA = makeJVMFile("A", "A");
    fileA.setTagValue("PATH_HINT", dir_.file("missing").c_str());
    JVMFiles jvmFiles;
    addFile(jvmFiles, fileA);

    JVMMatchPtrDeque matches;
    jvmFiles.search(matches, false);

    EXPECT_EQ(matches.count, 0);
    EXPECT_TRUE(calls().empty());
    std::string log = logText();
    EXPECT_NE(log.find("Initiating JVM search based on hints..."), std::string::npos);
    EXPECT_EQ(log.find("Beginning exhaustive search"), std::string::npos);
}

// In stop-at-first mode the first file's candidates are verified as they are
// found and the first that verifies stops the walk; other files' candidates
// wait.
TEST_F(JVMFilesTest, FoundFileVerifiesTheFirstFileAtOnceWhenStoppingAtFirst) {
    std::string homeA = makeHome("a", "A");
    std::string homeB = makeHome("b", "B");
    TagFile& fileA = makeJVMFile("A", "A");
    TagFile& fileB = makeJVMFile("B", "B");
    JVMFiles jvmFiles;
    addFile(jvmFiles, fileA);
    addFile(jvmFiles, fileB);
    jvmFiles.m_stopAtFirstMatch = true;

    EXPECT_FALSE(jvmFiles.foundFile((homeB + "/bin/java").c_str()));
    EXPECT_FALSE(jvmFiles.foundFile((homeB + "/bin/java").c_str()));
    EXPECT_TRUE(jvmFiles.foundFile((homeA + "/bin/java").c_str()));

    ASSERT_NE(jvmFiles.m_match, nullptr);
    EXPECT_STREQ(jvmFiles.m_match->getJVMHome().c_str(), homeA.c_str());
    EXPECT_EQ(calls(), (Strings{homeB, homeA})) << "a home is verified at once only once";
    ASSERT_EQ(jvmFiles.m_unverifiedMatches.count, 1);
    EXPECT_EQ(jvmFiles.m_unverifiedMatches.at(0)->m_jvmFile, jvmFiles.getJVMFile(1));
    EXPECT_EQ(homesOf(jvmFiles.m_unverifiedMatches.at(0)), (Strings{homeB}));
}

TEST_F(JVMFilesTest, FoundFileOnlyCollectsWhenFindingAll) {
    std::string homeA = makeHome("a", "A");
    std::string homeB = makeHome("b", "B");
    JVMFiles jvmFiles;
    addFile(jvmFiles, makeJVMFile("A", "A"));
    addFile(jvmFiles, makeJVMFile("B", "B"));
    jvmFiles.m_stopAtFirstMatch = false;

    EXPECT_FALSE(jvmFiles.foundFile((homeA + "/bin/java").c_str()));
    EXPECT_FALSE(jvmFiles.foundFile((homeB + "/bin/java").c_str()));
    EXPECT_FALSE(jvmFiles.foundFile((homeA + "/bin/java").c_str()));

    EXPECT_TRUE(calls().empty());
    ASSERT_EQ(jvmFiles.m_unverifiedMatches.count, 2);
    for (long i = 0; i < 2; i++) {
        SCOPED_TRACE(i);
        EXPECT_EQ(jvmFiles.m_unverifiedMatches.at(i)->m_jvmFile, jvmFiles.getJVMFile(i));
        EXPECT_EQ(homesOf(jvmFiles.m_unverifiedMatches.at(i)), (Strings{homeA, homeB}));
    }
}

// A walk over a tree: the candidate home is cut at a whole path component,
// and links named like the executable lead to the home of their target, so
// that two links to one JVM give one candidate.
TEST_F(JVMFilesTest, WalkedTreeGivesRealHomesOncePerFile) {
    std::string real = makeHome("jdk", "A");
    makeDirectories(dir_.file("usr/bin"));
    makeDirectories(dir_.file("opt/bin"));
    ASSERT_EQ(symlink((real + "/bin/java").c_str(), dir_.file("usr/bin/java").c_str()), 0);
    ASSERT_EQ(symlink((real + "/bin/java").c_str(), dir_.file("opt/bin/java").c_str()), 0);
    // A link found only under the name "java" whose target the walk does not
    // reach: it is no candidate for "bin/java".
    std::string hidden = makeHome("tmp/jdk", "A");
    state_.temp().expectLeft("jdk");
    makeDirectories(dir_.file("alternatives"));
    ASSERT_EQ(symlink((hidden + "/bin/java").c_str(), dir_.file("alternatives/java").c_str()), 0);
    std::string other = makeHome("xbin", "A", "java");
    std::string plain = makeHome("plain", "A", "java");
    JVMFiles jvmFiles;
    addFile(jvmFiles, makeJVMFile("A", "A", "bin/java"));
    addFile(jvmFiles, makeJVMFile("B", "A", "java"));
    jvmFiles.m_stopAtFirstMatch = false;
    StringDeque names;
    names.push_back("bin/java");
    names.push_back("java");

    FindFiles walker(names, jvmFiles);
    EXPECT_FALSE(walker.process(dir_.path().c_str()));

    ASSERT_EQ(jvmFiles.m_unverifiedMatches.count, 2);
    const UnverifiedJVMMatch* entryA = jvmFiles.m_unverifiedMatches.at(0);
    const UnverifiedJVMMatch* entryB = jvmFiles.m_unverifiedMatches.at(1);
    if (entryA->m_jvmFile != jvmFiles.getJVMFile(0)) {
        std::swap(entryA, entryB);
    }
    EXPECT_EQ(homesOf(entryA), (Strings{real})) << other << " is no bin/java";
    Strings homesB = homesOf(entryB);
    std::sort(homesB.begin(), homesB.end());
    EXPECT_EQ(homesB, (Strings{dir_.file("jdk/bin"), plain, hidden + "/bin", other}))
        << "the links lead to the directory of their target";
    EXPECT_TRUE(calls().empty());
}

// The one test that walks the whole file system from "/": it looks for
// uniquely named executables planted in the test directory.
TEST_F(JVMFilesTest, SearchAllWalksTheFileSystemAndVerifiesEveryCandidatePerFile) {
    std::string exe = "bin/cvtest-" + std::to_string(getpid()) + "-java";
    std::string otherExe = "bin/cvtest-" + std::to_string(getpid()) + "-other";
    std::string shared = makeHome("shared", "V", exe);
    std::string wrong = makeHome("wrong", "W", exe);
    std::string other = makeHome("other", "V", otherExe);
    makeDirectories(dir_.file("link/bin"));
    ASSERT_EQ(symlink((shared + "/" + exe).c_str(), dir_.file("link/" + exe).c_str()), 0);
    JVMFiles jvmFiles;
    addFile(jvmFiles, makeJVMFile("A", "V", exe));
    addFile(jvmFiles, makeJVMFile("B", "V", exe));
    addFile(jvmFiles, makeJVMFile("C", "V", otherExe));

    JVMMatchPtrDeque matches;
    jvmFiles.searchAll(matches, false, false);

    std::vector<std::pair<long, std::string>> found;
    for (long i = 0; i < matches.count; i++) {
        const JVMMatch* match = matches.at(i);
        long file = 0;
        while (file < jvmFiles.getJVMFileCount() &&
               &jvmFiles.getJVMFile(file)->getTagFile() != match->m_tagFile) {
            file++;
        }
        found.emplace_back(file, match->getJVMHome().c_str());
    }
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found,
              (std::vector<std::pair<long, std::string>>{{0, shared}, {1, shared}, {2, other}}));
    Strings ran = calls();
    EXPECT_EQ(std::count(ran.begin(), ran.end(), shared), 2) << "once per file, not per link";
    EXPECT_EQ(std::count(ran.begin(), ran.end(), wrong), 2);
    EXPECT_EQ(std::count(ran.begin(), ran.end(), other), 1);
}

TEST_F(JVMFilesTest, GetJVMFileOutOfRangeThrowsInvalidId) {
    JVMFiles jvmFiles;
    addFile(jvmFiles, makeJVMFile("A", "A"));
    EXPECT_EQ(jvmFiles.getJVMFileCount(), 1);
    EXPECT_NE(jvmFiles.getJVMFile(0), nullptr);
    for (long index : {-1L, 1L, 1000L}) {
        SCOPED_TRACE(index);
        try {
            jvmFiles.getJVMFile(index);
            ADD_FAILURE() << "no exception";
        } catch (const LauncherException& e) {
            EXPECT_STREQ(e.message.c_str(), "Invalid JVM file id.");
        }
    }
}

TEST_F(JVMFilesTest, WriteVerifyJarKeepsAClassThatWasSet) {
    JVMFiles jvmFiles;
    jvmFiles.writeVerifyJar();
    EXPECT_FALSE(jvmFiles.getVerifyClass().isSet()) << "no archive in the payload, nothing set";

    jvmFiles.setVerifyClass(VerifyClass("/a/v.jar", "Check"));
    jvmFiles.writeVerifyJar();
    EXPECT_STREQ(jvmFiles.getVerifyClass().classpath().c_str(), "/a/v.jar");
    EXPECT_STREQ(jvmFiles.getVerifyClass().className().c_str(), "Check");
}

// The last verification archive of the payload gives the class, extracted
// only when a probe first needs its class path, and once; its identity comes
// from its bytes in the launcher file. The payload's archive wins over one
// installed beside the launcher.
TEST_F(JVMFilesTest, WriteVerifyJarExtractsTheVerificationArchiveWhenFirstNeeded) {
    testsupport::writeFile(dir_.file("payload"), "firstJAR-second");
    testsupport::writeFile(dir_.file("verify.jar"), "installed");
    Launcher::m_launcherFileName = dir_.file("payload").c_str();
    struct {
        long type;
        const char* name;
        long offset;
        long length;
    } const layout[] = {
        {FILE_VERIFY_ARCHIVE, "first.jar", 0, 5},
        {FILE_CLASSPATH_ARCHIVE, "other.jar", 5, 3},
        {FILE_VERIFY_ARCHIVE, "verify.jar", 9, 6},
    };
    for (const auto& file : layout) {
        FileIndexEntry& entry = testsupport::addIndexEntry(file.type, -1);
        entry.m_fileName = file.name;
        entry.m_offset = file.offset;
        entry.m_length = file.length;
    }
    JVMFiles jvmFiles;
    jvmFiles.writeVerifyJar();
    const VerifyClass& verifyClass = jvmFiles.getVerifyClass();
    std::string identity = verifyClass.identity().c_str();
    EXPECT_TRUE(entriesOf(tempDir()).empty()) << "nothing extracted before a probe";

    std::string path = verifyClass.classpath().c_str();
    verifyClass.classpath();
    EXPECT_STREQ(verifyClass.className().c_str(), "Verify");
    EXPECT_EQ(path.rfind(tempDir() + "/cvj", 0), 0u) << path;
    EXPECT_EQ(path.substr(path.rfind('/')), "/verify.jar");
    EXPECT_EQ(testsupport::readFile(path), "second");
    EXPECT_EQ(entriesOf(tempDir()).size(), 1u) << "extracted once";
    EXPECT_EQ(identity, verifyClass.identity().c_str()) << "the same bytes, wherever they are";
}

}  // namespace
