// The JVM search actions of input files ("SEARCH", "SEARCH_ALL",
// "VERIFY_JVM") and the FIND_JVM and VERIFY instructions, run through real
// launcher files made with cvpack's writer: on fake JVM homes (shell scripts in place
// of Java) and on the real JDK of this machine.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/FakeJavaHome.h"
#include "support/LauncherProcessTest.h"
#include "tagfile/TagFile.h"

namespace {

using testsupport::LauncherOptions;
using testsupport::LauncherResult;
using testsupport::readFile;
using testsupport::writeFile;
using Lines = std::vector<std::string>;

std::string baseName(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

std::string jvmFileText(const std::string& desc, const std::string& exe,
                        const std::string& property, const std::string& extra = "") {
    return "DESC: " + desc + "\nJVM_EXE: " + exe + "\nJVM_PROPERTIES: " + property + "\n" + extra;
}

class SearchProcessTest : public testsupport::LauncherProcessTest {
  protected:
    // A home whose fake Java prints the verification marker and `vendor`.
    std::string makeFakeHome(const std::string& name, const std::string& vendor,
                             const std::string& exe = "bin/java") {
        return testsupport::writeVerifyingJava(work_.file(name), vendor + "\\n", exe).home();
    }

    // work_/launcher with one description file, which accepts the vendor Fake
    // and names as its path hint a fake home that prints `vendor`.
    std::string packHintedHome(const std::string& vendor) {
        std::string home = makeFakeHome("jdk", vendor);
        writeFile(work_.file("fake.jvm"), jvmFileText("Fake JVM", "bin/java", "java.vendor=Fake",
                                                      "PATH_HINT: " + home + "\n"));
        launcherFile({{FILE_JVM, "fake.jvm"}}).write("launcher");
        return home;
    }

    // The real JDK's description: it must report its own home as java.home.
    std::string realJVMFile(const std::string& jdk, const std::string& extra = "") {
        return jvmFileText("Real JDK", "bin/java", "java.home=" + jdk + "...",
                           "CLASSPATH: \"-cp \"\nCLASSPATH_SEPARATOR: :\n" + extra);
    }

    LauncherResult run(const std::vector<std::string>& args, const LauncherOptions& options = {}) {
        return LauncherProcessTest::run(launcher_, args, options);
    }

    // Runs the launcher on an input file with the action and extra lines.
    LauncherResult runAction(const std::string& action, const std::string& extra = "",
                             LauncherOptions options = {}) {
        writeFile(work_.file("input.tag"), "ACTION: " + action +
                                               "\nSHOW_PROGRESS: 0\nSHOW_FAIL_MSG: 0\n"
                                               "LOGFILE: " +
                                               log() + "\n" + extra);
        options.logFile = log();
        options.logOption = false;
        return run({"-cv:in", work_.file("input.tag")}, options);
    }

    // Checks one (home, match file) pair of the output; the match file is the
    // caller's to keep, so it is left in the temporary directory.
    void expectMatch(const std::string& home, const std::string& path, const std::string& desc) {
        EXPECT_EQ(path.rfind(temp_.path() + "/", 0), 0u) << path;
        ASSERT_TRUE(testsupport::fileExists(path)) << path;
        // Read as a tag file: a value that holds quotes is written quoted.
        TagFile match(path.c_str());
        auto tag = [&match](const char* name) { return testsupport::str(match.getTagValue(name)); };
        EXPECT_EQ(tag("DESC"), desc);
        EXPECT_EQ(tag("JVM_HOME"), home);
        EXPECT_EQ(tag("JVM_FILE"), path);
        EXPECT_EQ(tag("JVM_TEMP"), "0");
        temp_.expectLeft(baseName(path));
    }

    // The three lines of a SEARCH that found `home`.
    void expectFound(const LauncherResult& result, const std::string& home,
                     const std::string& desc) {
        Lines lines = testsupport::linesOf(result.out);
        ASSERT_EQ(lines.size(), 3u) << result.out << result.log;
        EXPECT_EQ(lines[0], "1");
        EXPECT_EQ(lines[1], home);
        expectMatch(home, lines[2], desc);
    }

    // The launcher file that run starts.
    std::string launcher_ = work_.file("launcher");
};

TEST_F(SearchProcessTest, SearchPrintsTheHomeAndKeepsOnlyTheMatchFile) {
    std::string home = packHintedHome("Fake");

    LauncherResult result = runAction("SEARCH");

    EXPECT_EQ(result.status, 0) << result.err;
    expectFound(result, home, "Fake JVM");
    EXPECT_NE(readFile(log()).find("Matching JVM home is " + home), std::string::npos);
}

TEST_F(SearchProcessTest, SearchWithoutAMatchPrintsZero) {
    packHintedHome("Other");

    LauncherResult result = runAction("SEARCH");

    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "0\n");
}

TEST_F(SearchProcessTest, VerifyJVMPrintsWhetherTheHomeIsValid) {
    std::string good = makeFakeHome("good", "Fake");
    std::string bad = makeFakeHome("bad", "Other");
    writeFile(work_.file("fake.jvm"), jvmFileText("Fake JVM", "bin/java", "java.vendor=Fake"));
    launcherFile().write("launcher");

    for (const auto& [home, expected] : {std::pair{good, "1\n"}, std::pair{bad, "0\n"}}) {
        SCOPED_TRACE(home);
        LauncherResult result =
            runAction("VERIFY_JVM", "VERIFY_JVM_FILE: " + work_.file("fake.jvm") +
                                        "\nVERIFY_JVM_HOME: " + home + "\n");
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.out, expected);
    }
}

// VERIFY by file id: the id of a JVM description file verifies the user's
// Java home; the id of another file is an error in the instructions.
TEST_F(SearchProcessTest, VerifyInstructionTakesTheIdOfAJVMFile) {
    std::string home = makeFakeHome("jdk", "Fake");
    writeFile(work_.file("fake.jvm"), jvmFileText("Fake JVM", "bin/java", "java.vendor=Fake"));
    writeFile(work_.file("good.tag"), "INSTRUCTIONS:\n  VERIFY 0 0 1\n/:\n");
    launcherFile({{FILE_INSTRUCTIONS, "good.tag"}, {FILE_JVM, "fake.jvm"}}).write("launcher");

    LauncherResult result = run({"-cv:log", log(), "-cv:javahome", home});

    EXPECT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_NE(readFile(log()).find("After VERIFY, the jvm home is " + home), std::string::npos);

    writeFile(work_.file("bad.tag"), "INSTRUCTIONS:\n  VERIFY 0 0 0\n/:\n");
    launcherFile({{FILE_INSTRUCTIONS, "bad.tag"}, {FILE_JVM, "fake.jvm"}}).write("launcher");

    result = run({"-cv:javahome", home});

    EXPECT_EQ(result.status, 255);
    EXPECT_NE(result.err.find("To verify a JVM, use an index of a jvm file. The index passed in "
                              "was 0 which corresponds to the file named bad.tag"),
              std::string::npos)
        << result.err;
}

TEST_F(SearchProcessTest, SearchFindsTheRealJDKByItsPathHint) {
    std::string jdk = testsupport::findJDK();
    if (jdk.empty()) {
        GTEST_SKIP() << "no JDK under /usr/lib/jvm";
    }
    writeFile(work_.file("real.jvm"), realJVMFile(jdk, "PATH_HINT: " + jdk.substr(1) + "\n"));
    launcherFile({{FILE_JVM, "real.jvm"}}).write("launcher");

    LauncherResult result = runAction("SEARCH");

    EXPECT_EQ(result.status, 0) << result.err;
    expectFound(result, jdk, "Real JDK");
}

// With no hint at all, the java on PATH (/usr/bin/java, a link into the JDK)
// leads to the JDK's own directory, not to /usr.
TEST_F(SearchProcessTest, SearchFindsTheJDKOfTheJavaOnThePath) {
    char resolved[PATH_MAX];
    if (realpath("/usr/bin/java", resolved) == nullptr) {
        GTEST_SKIP() << "no /usr/bin/java";
    }
    std::string java = resolved;
    std::string jdk = java.substr(0, java.size() - std::string("/bin/java").size());
    writeFile(work_.file("path.jvm"), realJVMFile(jdk));
    launcherFile({{FILE_JVM, "path.jvm"}}).write("launcher");

    LauncherOptions options;
    options.env["PATH"] = "/usr/local/bin:/usr/bin:/bin";
    LauncherResult result = runAction("SEARCH", "", options);

    expectFound(result, jdk, "Real JDK");
}

// A Java that PATH leads to runs only where no other user could have put it,
// unless the variable says to trust every candidate.
TEST_F(SearchProcessTest, SearchSkipsAJavaOnThePathThatOthersCouldHavePlanted) {
    std::string home = makeFakeHome("planted", "Fake");
    chmod(home.c_str(), 01777);
    writeFile(work_.file("fake.jvm"), jvmFileText("Fake JVM", "bin/java", "java.vendor=Fake"));
    launcherFile({{FILE_JVM, "fake.jvm"}}).write("launcher");
    LauncherOptions options;
    options.env["PATH"] = home + "/bin";

    LauncherResult skipped = runAction("SEARCH", "", options);
    EXPECT_EQ(skipped.out, "0\n");
    EXPECT_NE(skipped.log.find("Skipping JVM at " + home + "/: " + home + " is writable by others"),
              std::string::npos)
        << skipped.log;

    options.env["CVLAUNCH_TRUST_ALL_CANDIDATES"] = "1";
    expectFound(runAction("SEARCH", "", options), home + "/", "Fake JVM");
}

// FIND_JVM then LAUNCH with the match file: the real JDK runs the
// verification class from the class path archive.
TEST_F(SearchProcessTest, FindJVMThenLaunchRunsTheRealJDK) {
    std::string jdk = testsupport::findJDK();
    if (jdk.empty()) {
        GTEST_SKIP() << "no JDK under /usr/lib/jvm";
    }
    writeFile(work_.file("real.jvm"), realJVMFile(jdk, "PATH_HINT: " + jdk.substr(1) + "\n"));
    writeFile(work_.file("program.tag"),
              "INSTRUCTIONS:\n  FIND_JVM 1 1\n  JMP0 @N1@ nojvm\n  LAUNCH \"@S2@\" 0\n"
              "  GOTO end\n  :nojvm\n  SET N2 = 1\n  :end\n/:\n");
    writeFile(work_.file("launch.tag"),
              "DESC: search test\nDISPLAY_CONSOLE: 1\n"
              "COMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" %CP%() Verify java.home cvtest.unset\"\n");
    writeFile(work_.file("verify.jar"), readFile(testsupport::verifyArchivePath()));
    launcherFile({{FILE_INSTRUCTIONS, "program.tag"},
                  {FILE_LAUNCH_SCRIPT, "launch.tag"},
                  {FILE_JVM, "real.jvm"},
                  {FILE_CLASSPATH_ARCHIVE, "verify.jar"}})
        .write("launcher");

    LauncherResult result = run({"-cv:log", log()});

    EXPECT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_NE(result.out.find("1739021872\n" + jdk + "\n\n"), std::string::npos) << result.out;
    EXPECT_NE(readFile(log()).find("Matching JVM home is " + jdk), std::string::npos);
}

// The one process test that walks the whole file system: a fake home with a
// uniquely named executable and, where there is one, the real JDK. The fake
// home's name holds what the shell and the launch script would evaluate.
TEST_F(SearchProcessTest, SearchAllReportsEveryMatchAndKeepsTheirFiles) {
    std::string exe = "bin/cvtest-" + std::to_string(getpid()) + "-java";
    std::string fake =
        makeFakeHome("jdk \"q\" 'q' $(echo x) #HOME# @JVM_HOME@ %TEMP_DIR%()", "Fake", exe);
    std::string planted = makeFakeHome("planted", "Fake", exe);
    chmod(planted.c_str(), 0777);
    writeFile(work_.file("fake.jvm"), jvmFileText("Fake JVM", exe, "java.vendor=Fake"));
    std::string jdk = testsupport::findJDK();
    testsupport::LauncherFileBuilder launcher = launcherFile({{FILE_JVM, "fake.jvm"}});
    if (!jdk.empty()) {
        writeFile(work_.file("real.jvm"), realJVMFile(jdk));
        launcher.add(FILE_JVM, "real.jvm");
    }
    launcher.write("launcher");

    LauncherResult result = runAction("SEARCH_ALL");

    EXPECT_EQ(result.status, 0) << result.err;
    Lines lines = testsupport::linesOf(result.out);
    ASSERT_FALSE(lines.empty());
    size_t count = std::stoul(lines[0]);
    ASSERT_EQ(lines.size(), 1 + 2 * count) << result.out;
    Lines homes;
    for (size_t i = 0; i < count; i++) {
        const std::string& home = lines[1 + 2 * i];
        homes.push_back(home);
        std::string desc = home == fake ? "Fake JVM" : "Real JDK";
        expectMatch(home, lines[2 + 2 * i], desc);
    }
    EXPECT_EQ(std::count(homes.begin(), homes.end(), fake), 1) << result.out;
    EXPECT_EQ(std::count(homes.begin(), homes.end(), planted), 0) << result.out;
    EXPECT_NE(
        result.log.find("Skipping JVM at " + planted + ": " + planted + " is writable by others"),
        std::string::npos);
    if (!jdk.empty()) {
        EXPECT_EQ(std::count(homes.begin(), homes.end(), jdk), 1) << result.out;
    }
}

// cvlaunch without a payload verifies with the archive installed with it,
// from a description file that leaves the class path to the defaults.
TEST_F(SearchProcessTest, StandAloneLauncherVerifiesWithTheArchiveInstalledWithIt) {
    std::string jdk = testsupport::findJDK();
    if (jdk.empty()) {
        GTEST_SKIP() << "no JDK under /usr/lib/jvm";
    }
    std::string jvm = work_.file("real.jvm");
    writeFile(jvm, jvmFileText("Real JDK", "bin/java", "java.home=" + jdk + "...",
                               "PATH_HINT: " + jdk.substr(1) + "\n"));
    struct {
        std::string bin, archiveDir;  // no archive when archiveDir is empty
    } const cases[] = {{"prefix/bin", "prefix/share/cvlaunch"}, {"beside", "beside"}, {"none", ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bin);
        testsupport::makeDirectories(work_.file(c.bin));
        launcher_ = work_.file(c.bin + "/cvlaunch");
        writeFile(launcher_, readFile(testsupport::cvlaunchPath()), 0755);
        if (!c.archiveDir.empty()) {
            testsupport::makeDirectories(work_.file(c.archiveDir));
            writeFile(work_.file(c.archiveDir + "/verify.jar"),
                      readFile(testsupport::verifyArchivePath()));
        }
        LauncherResult search = runAction("SEARCH", "JVM: " + jvm + "\n");
        LauncherResult verify =
            runAction("VERIFY_JVM", "VERIFY_JVM_FILE: " + jvm + "\nVERIFY_JVM_HOME: " + jdk + "\n");

        EXPECT_EQ(verify.out, c.archiveDir.empty() ? "0\n" : "1\n") << verify.log;
        if (c.archiveDir.empty()) {
            EXPECT_EQ(search.out, "0\n") << search.err;
        } else {
            expectFound(search, jdk, "Real JDK");
        }
    }
}

}  // namespace
