// The finder of the program without a payload (cvlaunch --find, --list,
// --explain, --prune-runtimes) and the description-file key USUAL_LOCATIONS,
// run on a tree of fake JVM homes at the usual locations, with HOME and the
// variables that move them pointed into it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <string>
#include <vector>

#include "support/FakeJavaHome.h"
#include "support/LauncherProcessTest.h"

namespace {

using testsupport::LauncherResult;
using testsupport::writeFile;

// A fake home that reports `version` (its major version is the number
// before the first dot) of the vendor "Fake <location>".
struct FakeHome {
    const char* location;  // the name that --list gives
    const char* path;      // under the tree; "~/" is the tree's HOME
    const char* version;
    bool jdk;
    const char* kind;
};

// One home at each usual location that a test can move, in the finder's
// order. Rows that name a variable find the home where the variable points.
const FakeHome kHomes[] = {
    {"JAVA_HOME", "javahome/jdk", "30.0.1", true, "JDK"},
    {"SDKMAN", "~/.sdkman/candidates/java/31.0.2-fake", "31.0.2", false, "JRE"},
    {"IntelliJ", "~/.jdks/mac-41/Contents/Home", "41.0.1", true, "JDK"},
    {"IntelliJ", "~/.jdks/fake-32", "32.0.1", true, "JDK"},
    {"Gradle", "gradle/jdks/fake-33-amd64-linux/jdk-33+7", "33+7", true, "JDK"},
    {"asdf", "~/.asdf/installs/java/fake-34", "34.0.1", true, "JDK"},
    {"mise", "mise/installs/java/35", "35.0.1", true, "JDK"},
    {"jabba", "~/.jabba/jdk/fake@36", "36.0.1", true, "JDK"},
    {"JBang", "jbang/jdks/37", "37.0.1", true, "JDK"},
    {"Coursier",
     "~/.cache/coursier/arc/https/github.com/fake/fake38-binaries/releases/download/jdk-38/"
     "fake38.tar.gz/jdk-38",
     "38.0.1", true, "JDK"},
    {"Coursier", "coursier-jvm/fake@39", "39.0.1", true, "JDK"},
    {"Homebrew", "brew/opt/openjdk@40/libexec", "40.0.1", true, "JDK"},
    {"runtime store", "data/cvlaunch/runtimes/0123abcd", "42.0.1", false, "runtime"},
    {"PATH", "pathjdk", "43.0.1", true, "JDK"},
};

class FinderProcessTest : public testsupport::LauncherProcessTest {
  protected:
    std::string pathOf(const std::string& path) const {
        return path.rfind("~/", 0) == 0 ? work_.file("home/" + path.substr(2)) : work_.file(path);
    }

    testsupport::FakeJavaHome makeHome(const std::string& path, const std::string& version,
                                       const std::string& vendor, bool jdk) const {
        std::string home = pathOf(path);
        std::string major = version.substr(0, version.find_first_of(".+"));
        auto java = testsupport::writeVerifyingJava(
            home, version + "\\n" + major + "\\n" + vendor + "\\nfakearch\\n");
        if (jdk) {
            writeFile(home + "/bin/javac", "", 0755);
        }
        return java;
    }

    void makeTree() const {
        for (const FakeHome& row : kHomes) {
            makeHome(row.path, row.version, std::string("Fake ") + row.location, row.jdk);
        }
        // SDKMAN's current version is a link to one of its homes.
        symlink("31.0.2-fake", pathOf("~/.sdkman/candidates/java/current").c_str());
    }

    // The environment of a finder run in the tree: the variables that move
    // locations point into it, or are unset.
    std::map<std::string, std::string> treeEnv() const {
        return {{"HOME", work_.file("home")},
                {"JAVA_HOME", pathOf("javahome/jdk")},
                {"SDKMAN_CANDIDATES_DIR", testsupport::kUnset},
                {"GRADLE_USER_HOME", work_.file("gradle")},
                {"ASDF_DATA_DIR", testsupport::kUnset},
                {"MISE_DATA_DIR", work_.file("mise")},
                {"JABBA_HOME", testsupport::kUnset},
                {"JBANG_CACHE_DIR", work_.file("jbang")},
                {"COURSIER_ARCHIVE_CACHE", testsupport::kUnset},
                {"COURSIER_JVM_CACHE", work_.file("coursier-jvm")},
                {"HOMEBREW_PREFIX", work_.file("brew")},
                {"XDG_DATA_HOME", work_.file("data")},
                {"PATH", work_.file("pathjdk/bin") + ":/usr/bin:/bin"}};
    }

    LauncherResult finder(const std::vector<std::string>& args,
                          const std::map<std::string, std::string>& changes = {}) const {
        testsupport::LauncherOptions options;
        options.env = treeEnv();
        for (const auto& [name, value] : changes) {
            options.env[name] = value;
        }
        return run(testsupport::cvlaunchPath(), args, options);
    }

    // The lines of a JSON list read back by a JSON parser, one per JVM whose
    // home lies in the tree: version|major|vendor|arch|kind|home|found_by,
    // and for a home that is not UTF-8, whether home_bytes gives it back.
    std::vector<std::string> parsedJVMs(const std::string& json) const {
        testsupport::ProcessOptions options;
        options.input = json;
        options.env["PYTHONIOENCODING"] = "utf-8:surrogateescape";
        testsupport::ProcessResult parsed = testsupport::runInShell(
            "exec python3 -c \"$1\" \"$2\"",
            {"import json, os, sys\n"
             "for j in json.load(sys.stdin)['jvms']:\n"
             "    if not j['home'].startswith(sys.argv[1]): continue\n"
             "    b = j.get('home_bytes')\n"
             "    home = os.fsdecode(bytes.fromhex(b)) if b else j['home']\n"
             "    print('|'.join([j['version'], str(j['major']), j['vendor'], j['arch'],\n"
             "                    j['kind'], home, j['found_by']]))\n",
             work_.path()},
            options);
        EXPECT_EQ(parsed.status, 0) << parsed.err;
        return testsupport::linesOf(parsed.out);
    }
};

bool hasPython() {
    return testsupport::runInShell("command -v python3", {}).status == 0;
}

TEST_F(FinderProcessTest, ListsTheJVMsOfEveryLocationAsJson) {
    if (!hasPython()) {
        GTEST_SKIP() << "python3 is needed to parse the JSON";
    }
    makeTree();
    // A home whose name is not UTF-8 comes back byte for byte.
    makeHome("~/.jdks/bad\xff-44", "44.0.1", "Fake IntelliJ", true);
    std::vector<std::string> expected;
    for (const FakeHome& row : kHomes) {
        std::string version = row.version;
        std::string major = version.substr(0, version.find_first_of(".+"));
        expected.push_back(version + "|" + major + "|Fake " + row.location + "|fakearch|" +
                           row.kind + "|" + pathOf(row.path) + "|" + row.location);
        if (std::string(row.path) == "~/.jdks/fake-32") {
            expected.push_back("44.0.1|44|Fake IntelliJ|fakearch|JDK|" +
                               pathOf("~/.jdks/bad\xff-44") + "|IntelliJ");
        }
    }
    LauncherResult result = finder({"--list", "--json"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(parsedJVMs(result.out), expected);
    EXPECT_NE(result.out.find("\"home\": \"" + pathOf("~/.jdks/bad") + "\xEF\xBF\xBD-44\""),
              std::string::npos)
        << result.out;

    // For people: a header and aligned columns.
    LauncherResult table = finder({"--list", "40+"});
    std::vector<std::string> lines = testsupport::linesOf(table.out);
    ASSERT_GE(lines.size(), 2u) << table.out;
    EXPECT_EQ(lines[0].rfind("VERSION  VENDOR", 0), 0u) << table.out;
    EXPECT_EQ(lines[1].find(pathOf("~/.jdks/mac-41/Contents/Home")), lines[0].find("HOME"));
}

// What --find answers and the statuses of the finder's command lines.
TEST_F(FinderProcessTest, FindTakesJavaHomeWhenItFitsElseTheNewestThatFits) {
    makeTree();
    const std::string usageStart = "\n\nUsage: cvlaunch --find";
    struct Row {
        std::vector<std::string> args;
        std::map<std::string, std::string> env;
        int status;
        std::string out;
        std::string errStart;  // what standard error begins with
    } rows[] = {
        {{"--find", "30+"}, {}, 0, pathOf("javahome/jdk") + "\n", ""},
        {{"--find", "31-41"}, {}, 0, pathOf("~/.jdks/mac-41/Contents/Home") + "\n", ""},
        {{"--find", "31"}, {}, 0, pathOf("~/.sdkman/candidates/java/31.0.2-fake") + "\n", ""},
        {{"--find", "31", "--jdk"}, {}, 1, "", "cvlaunch: no Java fits: Java 31 with a compiler"},
        {{"--find", "42", "--jdk"}, {}, 1, "", "cvlaunch: no Java fits"},
        {{"--find", "33", "--jdk"},
         {},
         0,
         pathOf("gradle/jdks/fake-33-amd64-linux/jdk-33+7") + "\n",
         ""},
        {{"--find", "42"}, {}, 0, pathOf("data/cvlaunch/runtimes/0123abcd") + "\n", ""},
        {{"--find", "999"},
         {},
         1,
         "",
         "cvlaunch: no Java fits: Java 999\nJava found that does not fit:\n"},
        {{"--find", "30+", "--jdk"},
         {{"JAVA_HOME", pathOf("~/.sdkman/candidates/java/31.0.2-fake")}},
         0,
         pathOf("pathjdk") + "\n",
         ""},
        {{"--find", "17+"}, {{"JAVA_HOME", "/nonexistent"}}, 0, pathOf("pathjdk") + "\n", ""},
        {{"--find", "17-"}, {}, 2, "", "cvlaunch: invalid Java version range 17-: expected"},
        {{"--find", "17", "18"},
         {},
         2,
         "",
         "cvlaunch: a second Java version range: 18" + usageStart},
        {{"--find", "--json"}, {}, 2, "", "cvlaunch: unknown argument --json" + usageStart},
        {{"--list", "--jdk", "--jdk"}, {}, 2, "", "cvlaunch: --jdk is given twice" + usageStart},
        // The runtime of the store goes, once.
        {{"--prune-runtimes"}, {}, 0, pathOf("data/cvlaunch/runtimes/0123abcd") + "\n", ""},
        {{"--prune-runtimes"}, {}, 0, "", ""},
        {{"--prune-runtimes", "17"},
         {},
         2,
         "",
         "cvlaunch: --prune-runtimes takes no argument: 17" + usageStart},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.args) + testing::PrintToString(row.env));
        LauncherResult result = finder(row.args, row.env);
        EXPECT_EQ(result.status, row.status);
        EXPECT_EQ(result.out, row.out);
        EXPECT_EQ(result.err.substr(0, row.errStart.size()), row.errStart) << result.err;
    }
    // Without a store nothing is removed and none is made; a store that
    // others may change is not touched.
    EXPECT_EQ(finder({"--prune-runtimes"}, {{"XDG_DATA_HOME", pathOf("none")}}).status, 0);
    EXPECT_FALSE(testsupport::fileExists(pathOf("none")));
    testsupport::makeDirectories(pathOf("open/cvlaunch/runtimes"));
    chmod(pathOf("open").c_str(), 0777);
    LauncherResult open = finder({"--prune-runtimes"}, {{"XDG_DATA_HOME", pathOf("open")}});
    EXPECT_EQ(open.status, 1);
    EXPECT_NE(open.err.find("is writable by others"), std::string::npos) << open.err;
}

// Links to one home are one JVM; a home that another user could have
// planted is listed as skipped and never run.
TEST_F(FinderProcessTest, ExplainSaysWhyEachCandidateWasTakenOrNot) {
    makeTree();
    testsupport::FakeJavaHome planted = makeHome("~/.jdks/evil-50", "50", "Evil", true);
    chmod(pathOf("~/.jdks").c_str(), 0777);
    makeHome("~/.gradle/jdks/broken-1", "1", "Broken", false);
    writeFile(pathOf("~/.gradle/jdks/broken-1/bin/java"), "#!/bin/sh\necho no marker\n", 0755);

    LauncherResult result = finder({"--find", "31+", "--explain"}, {{"GRADLE_USER_HOME", ""}});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, pathOf("pathjdk") + "\n");
    EXPECT_FALSE(planted.ran());
    const std::string& err = result.err;
    for (const std::string& line : {
             pathOf("javahome/jdk") + " (found in JAVA_HOME): Java 30.0.1 (JDK) does not fit the "
                                      "range: not Java 31 or newer",
             pathOf("~/.sdkman/candidates/java/current") + " (found in SDKMAN): the same JVM as " +
                 pathOf("~/.sdkman/candidates/java/31.0.2-fake"),
             pathOf("~/.jdks/evil-50") + " (found in IntelliJ): skipped as plantable, never run: " +
                 pathOf("~/.jdks") + " is writable by others",
             pathOf("~/.gradle/jdks/broken-1") +
                 " (found in Gradle): failed verification: its output lacks the verification "
                 "line (last line: no marker)",
             pathOf("pathjdk") + " (found in PATH): Java 43.0.1 (JDK) fits: taken",
         }) {
        EXPECT_NE(err.find("\n  " + line + "\n"), std::string::npos) << line << "\n" << err;
    }
}

// A warm finder answers from the verified-JVM cache: it starts no Java.
TEST_F(FinderProcessTest, WarmFindStartsNoJava) {
    for (const std::string version : {"45", "46"}) {
        std::string home = pathOf("~/.jdks/native-" + version);
        testsupport::FakeJavaHome(
            home,
            "printf '1739021872\\n" + version + ".0.1\\n" + version + "\\nFake\\nfakearch\\n'\n",
            "bin/java", true);
        testsupport::makeDirectories(home + "/lib/server");
        writeFile(home + "/lib/server/libjvm.so", "");
    }
    std::string runs = work_.file("runs");
    std::map<std::string, std::string> env = {{"CVLAUNCH_VERIFY_CACHE", "1"},
                                              {"XDG_CACHE_HOME", work_.file("cache")},
                                              {"CVTEST_JAVA_RUNS", runs},
                                              {"JAVA_HOME", testsupport::kUnset}};
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run == 0 ? "cold" : "warm");
        LauncherResult result = finder({"--find", "45+"}, env);
        EXPECT_EQ(result.out, pathOf("~/.jdks/native-46") + "\n") << result.err;
        EXPECT_EQ(
            testsupport::linesOf(testsupport::readFile(runs)),
            (std::vector<std::string>{pathOf("~/.jdks/native-46"), pathOf("~/.jdks/native-45")}));
    }
}

// The real JDKs of the machine, found where the system's packages put them.
TEST_F(FinderProcessTest, FindsTheRealJDKsOfUsrLibJvm) {
    std::string jdk17 = "/usr/lib/jvm/java-17-openjdk-amd64";
    std::string temurin = "/usr/lib/jvm/temurin-25-jdk-amd64";
    if (!testsupport::fileExists(jdk17 + "/bin/java")) {
        GTEST_SKIP() << "no JDK 17 at " << jdk17;
    }
    LauncherResult list = finder({"--list", "--jdk"});
    EXPECT_NE(list.out.find("JDK   " + jdk17 + "  /usr/lib/jvm\n"), std::string::npos) << list.out;
    LauncherResult find = finder({"--find", "17", "--jdk"}, {{"JAVA_HOME", testsupport::kUnset}});
    EXPECT_EQ(find.out, jdk17 + "\n");
    if (!testsupport::fileExists(temurin + "/bin/java")) {
        GTEST_SKIP() << "no Temurin 25 at " << temurin;
    }
    EXPECT_NE(list.out.find("JDK   " + temurin + "   /usr/lib/jvm\n"), std::string::npos)
        << list.out;
    EXPECT_EQ(finder({"--find", "25"}).out, temurin + "\n");
}

// A description file with USUAL_LOCATIONS finds a home of the list.
TEST_F(FinderProcessTest, UsualLocationsKeyLetsTheSearchFindAHomeOfTheList) {
    testsupport::FakeJavaHome java =
        makeHome("~/.asdf/installs/java/fake-34", "34.0.1", "Fake asdf", true);
    writeFile(work_.file("fake.jvm"),
              "DESC: Fake\nJVM_EXE: bin/java\nJVM_PROPERTIES:\n  java.version=...\n"
              "  java.specification.version=...\n  java.vendor=Fake asdf\n/:\n"
              "USUAL_LOCATIONS: 1\n");
    writeFile(work_.file("in.tag"), "ACTION: SEARCH\nJVM: " + work_.file("fake.jvm") + "\n");
    LauncherResult result = finder({"-cv:in", "in.tag"}, {{"JAVA_HOME", testsupport::kUnset}});
    std::vector<std::string> lines = testsupport::linesOf(result.out);
    ASSERT_EQ(lines.size(), 3u) << result.out << result.err;
    EXPECT_EQ(lines[0], "1");
    EXPECT_EQ(lines[1], java.home());
    EXPECT_TRUE(java.ran());
    std::remove(lines[2].c_str());
}

}  // namespace
