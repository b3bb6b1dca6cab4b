// Class-data archives as a user and an attacker meet them: whatever the
// options, the cache directory or the archive on disk, every launch runs the
// program and ends with its status.
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>
#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "support/FakeJavaHome.h"
#include "support/LauncherProcessTest.h"
#include "support/TestSupport.h"

namespace {

using testsupport::LauncherResult;
using testsupport::readFile;
using testsupport::writeFile;

const std::string kDemoJar = std::string(TEST_BINARY_DIR) + "/examples/hello.jar";
const char kGreeting[] = "Hello from the cvlaunch demo application.";

// Polls `condition` until it holds, at most 30 s.
bool eventually(const std::function<bool()>& condition) {
    for (int i = 0; i < 3000; ++i) {
        if (condition()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return condition();
}

// The JDKs under /usr/lib/jvm of feature release 17 or later, one per
// release, as real paths.
std::vector<std::string> jdks() {
    std::vector<std::string> found;
    std::vector<std::string> releases;
    for (const std::string& name : testsupport::entriesOf("/usr/lib/jvm")) {
        std::string home = testsupport::realPath("/usr/lib/jvm/" + name);
        std::string release = readFile(home + "/release");
        size_t at = release.find("JAVA_VERSION=\"");
        std::string feature = at == std::string::npos ? "" : release.substr(at + 14, 2);
        if (!home.empty() && testsupport::fileExists(home + "/bin/java") && feature >= "17" &&
            std::find(releases.begin(), releases.end(), feature) == releases.end()) {
            releases.push_back(feature);
            found.push_back(home);
        }
    }
    return found;
}

// What a case does to the launch before its second run, where it runs, and
// what its log must say.
struct Case {
    const char* name;
    std::vector<std::string> packOptions;  // for cvpack
    std::string sideFile;                  // the launcher's .ja
    std::map<std::string, std::string> env;
    // Shell commands run as root in a private mount namespace before the
    // second launch (and with `bothRuns` the first), $CACHE the cache.
    std::string mounts;
    bool bothRuns;
    // Done in the work directory before the first launch.
    std::function<void(const std::string& work)> prepare;
    // Done to the cache between the first launch and the second.
    std::function<void(const std::string& cds)> damage;
    const char* secondLog;  // a text of the second launch's log
};

// A directory on the class path, through the launcher's .cp side file.
void classDirectory(const std::string& work) {
    testsupport::makeDirectories(work + "/bin/dir");
    writeFile(work + "/bin/app.cp", work + "/bin/dir\n");
}

// A HOME that belongs to another user, for the cache.
void foreignHome(const std::string& work) {
    testsupport::makeDirectories(work + "/home");
    ASSERT_EQ(chown((work + "/home").c_str(), 65534, 65534), 0);
}

// Test names and failure messages show a case by its name.
void PrintTo(const Case& row, std::ostream* out) {
    *out << row.name;
}

// Calls `change` with the path of each archive in `cds`.
void forEachArchive(const std::string& cds, const std::function<void(const std::string&)>& change) {
    for (const std::string& name : testsupport::entriesOf(cds)) {
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".jsa") == 0) {
            change(cds + name);
        }
    }
}

// A byte of each archive in the middle, changed in place.
void flipByte(const std::string& cds) {
    forEachArchive(cds, [](const std::string& archive) {
        std::string bytes = readFile(archive);
        bytes[bytes.size() / 2] ^= 0x55;
        writeFile(archive, bytes);
    });
}

void truncateArchives(const std::string& cds) {
    forEachArchive(
        cds, [](const std::string& archive) { ASSERT_EQ(truncate(archive.c_str(), 4096), 0); });
}

void randomArchives(const std::string& cds) {
    forEachArchive(cds, [](const std::string& archive) {
        writeFile(archive, testsupport::noise(readFile(archive).size()));
    });
}

const char kMade[] = "Made the class-data archive";
const char kUsed[] = "Using the class-data archive";

const char kNoStore[] = "cannot be used";
const char* const kReadOnly =
    "mount --bind \"$CACHE\" \"$CACHE\"; mount -o remount,bind,ro \"$CACHE\"";
const std::map<std::string, std::string> kForeignHome = {{"HOME", "home"},
                                                         {"XDG_CACHE_HOME", testsupport::kUnset}};

const Case kCases[] = {
    {"Plain", {}, "", {}, "", false, nullptr, nullptr, kUsed},
    {"AlignmentInSideFile",
     {},
     "-XX:ObjectAlignmentInBytes=16\n",
     {},
     "",
     false,
     nullptr,
     nullptr,
     kUsed},
    {"NoCompressedClassPointers",
     {"--java-option", "-XX:-UseCompressedClassPointers"},
     "",
     {},
     "",
     false,
     nullptr,
     nullptr,
     kUsed},
    {"NoCompressedOopsInToolOptions",
     {},
     "",
     {{"JAVA_TOOL_OPTIONS", "-XX:-UseCompressedOops"}},
     "",
     false,
     nullptr,
     nullptr,
     kUsed},
    {"AddOpensInJdkOptions",
     {},
     "",
     {{"JDK_JAVA_OPTIONS", "--add-opens java.base/java.lang=ALL-UNNAMED"}},
     "",
     false,
     nullptr,
     nullptr,
     kUsed},
    {"LimitModules",
     {"--java-option", "--limit-modules=java.base"},
     "",
     {},
     "",
     false,
     nullptr,
     nullptr,
     "sets --limit-modules"},
    {"PatchModuleInToolOptions",
     {},
     "",
     {{"JAVA_TOOL_OPTIONS", "--patch-module=java.base=none"}},
     "",
     false,
     nullptr,
     nullptr,
     "sets --patch-module"},
    {"SharingOffInArgumentFile",
     {},
     "@$WORK/bin/args.txt\n",
     {},
     "",
     false,
     nullptr,
     nullptr,
     "sets -Xshare:"},
    {"ClassDirectoryOnTheClassPath",
     {},
     "",
     {},
     "",
     false,
     classDirectory,
     nullptr,
     "the class path holds the directory"},
    {"TruncatedArchive", {}, "", {}, "", false, nullptr, truncateArchives, kMade},
    {"FlippedByte", {}, "", {}, "", false, nullptr, flipByte, kMade},
    {"RandomArchive", {}, "", {}, "", false, nullptr, randomArchives, kMade},
    {"ReadOnlyCache", {}, "", {}, kReadOnly, true, nullptr, nullptr, kNoStore},
    {"WarmReadOnlyCache", {}, "", {}, kReadOnly, false, nullptr, nullptr, kUsed},
    {"CacheOf64KiB",
     {},
     "",
     {},
     "mount -t tmpfs -o size=64k none \"$CACHE\"",
     true,
     nullptr,
     nullptr,
     ""},
    {"CacheWith4KiBFree",
     {},
     "",
     {},
     "mount -t tmpfs -o size=1m none \"$CACHE\"; "
     "head -c 1044480 /dev/zero > \"$CACHE/filler\" 2>/dev/null; true",
     true,
     nullptr,
     nullptr,
     ""},
    {"HomeOfAnotherUser",
     {},
     "",
     kForeignHome,
     "",
     false,
     foreignHome,
     nullptr,
     "is owned by user 65534"},
};

class ClassDataProcessTest : public testsupport::LauncherProcessTest,
                             public ::testing::WithParamInterface<std::tuple<std::string, Case>> {
  protected:
    std::string pack(const Case& row) const {
        testsupport::makeDirectories(work_.file("bin"));
        std::vector<std::string> args = {testsupport::cvpackPath(),
                                         "--main-jar",
                                         kDemoJar,
                                         "--main-class",
                                         "Hello",
                                         "--java",
                                         "17+",
                                         "-o",
                                         work_.file("bin/app")};
        args.insert(args.end(), row.packOptions.begin(), row.packOptions.end());
        testsupport::ProcessResult packed = testsupport::runProcess(args);
        EXPECT_EQ(packed.status, 0) << packed.err;
        writeFile(work_.file("bin/args.txt"), "# sharing\n-Xshare:off\n");
        std::string sideFile = row.sideFile;
        if (sideFile.find("$WORK") != std::string::npos) {
            sideFile.replace(sideFile.find("$WORK"), 5, work_.path());
        }
        if (!sideFile.empty()) {
            writeFile(work_.file("bin/app.ja"), sideFile);
        }
        if (row.prepare) {
            row.prepare(work_.path());
        }
        return work_.file("bin/app");
    }

    LauncherResult launch(const Case& row, const std::string& jdk, const std::string& exit) {
        testsupport::LauncherOptions options = this->options();
        options.env["JAVA_HOME"] = jdk;
        options.env["XDG_CACHE_HOME"] = work_.file("cache");
        options.env["CVLAUNCH_CLASS_DATA"] = "wait";
        for (const auto& [name, value] : row.env) {
            options.env[name] = name == "HOME" ? work_.file(value) : value;
        }
        options.logFile = work_.file("run" + std::to_string(++runs_) + ".log");
        std::vector<std::string> command =
            testsupport::launcherCommand(work_.file("bin/app"), {"--exit", exit}, options);
        if (!row.mounts.empty() && (row.bothRuns || exit == "0")) {
            std::string script = "CACHE=" + testsupport::shellQuote(work_.file("cache")) +
                                 "; mkdir -p \"$CACHE\"; " + row.mounts + " && exec \"$@\"";
            command.insert(command.begin(), {"/usr/bin/unshare", "-m", "sh", "-c", script, "sh"});
        }
        LauncherResult result;
        static_cast<testsupport::ProcessResult&>(result) =
            testsupport::runProcess(command, options);
        result.log = readFile(options.logFile);
        return result;
    }

    int runs_ = 0;
};

TEST_P(ClassDataProcessTest, EveryLaunchRunsTheProgramAndEndsWithItsStatus) {
    const std::string& jdk = std::get<0>(GetParam());
    const Case& row = std::get<1>(GetParam());
    if (jdk.empty() || !testsupport::fileExists(kDemoJar)) {
        GTEST_SKIP() << "no JDK 17 or later under /usr/lib/jvm, or no demo application";
    }
    if (!row.mounts.empty() &&
        testsupport::runProcess({"/usr/bin/unshare", "-m", "true"}).status != 0) {
        GTEST_SKIP() << "private mount namespaces are refused here";
    }
    pack(row);
    std::string cds = work_.file("cache/cvlaunch/cds/");

    LauncherResult first = launch(row, jdk, "3");
    EXPECT_EQ(first.status, 3) << first.err << first.log;
    EXPECT_NE(first.out.find(kGreeting), std::string::npos) << first.out << first.err;
    if (row.damage) {
        row.damage(cds);
    }
    LauncherResult second = launch(row, jdk, "0");
    EXPECT_EQ(second.status, 0) << second.err << second.log;
    EXPECT_NE(second.out.find(kGreeting), std::string::npos) << second.out << second.err;
    EXPECT_EQ(second.out.find("cds"), std::string::npos) << second.out;
    EXPECT_EQ(second.err.find("cds"), std::string::npos) << second.err;
    EXPECT_NE(second.log.find(row.secondLog), std::string::npos) << second.log;
    // A JVM that crashed on an archive leaves its report in the working
    // directory.
    for (const std::string& name : testsupport::entriesOf(work_.path())) {
        EXPECT_EQ(name.find("hs_err"), std::string::npos) << name;
    }
}

std::vector<std::tuple<std::string, Case>> allCases() {
    std::vector<std::tuple<std::string, Case>> cases;
    std::vector<std::string> homes = jdks();
    if (homes.empty()) {
        homes.push_back("");
    }
    for (const std::string& jdk : homes) {
        for (const Case& row : kCases) {
            cases.emplace_back(jdk, row);
        }
    }
    return cases;
}

std::string caseName(const ::testing::TestParamInfo<std::tuple<std::string, Case>>& info) {
    std::string release = readFile(std::get<0>(info.param) + "/release");
    size_t at = release.find("JAVA_VERSION=\"");
    std::string jdk = at == std::string::npos ? "none" : "Jdk" + release.substr(at + 14, 2);
    return jdk + "_" + std::get<1>(info.param).name;
}

INSTANTIATE_TEST_SUITE_P(Jdks, ClassDataProcessTest, ::testing::ValuesIn(allCases()), caseName);

// A stand-in JVM whose static dump waits for the test, so that what the
// launch does while the maker is at work can be seen.
class ClassDataMakerTest : public testsupport::LauncherProcessTest {};

TEST_F(ClassDataMakerTest, TheLaunchDoesNotWaitAndASecondMakerLeavesTheEntryToTheFirst) {
    std::string release = work_.file("release-the-dump");
    testsupport::FakeJavaHome java(
        work_.file("jdk"),
        "case \"$*\" in\n"
        "*-Xshare:dump*) : > \"$CVTEST_RELEASE.dumping\"\n"
        "  while [ ! -e \"$CVTEST_RELEASE\" ]; do sleep 0.01; done\n"
        "  for a; do case $a in -XX:SharedArchiveFile=*) echo archive > \"${a#*=}\";; esac; "
        "done;;\n"
        "*-Xshare:on*) ;;\n"
        "*) for a; do case $a in -XX:DumpLoadedClassList=*) echo java/lang/Object > \"${a#*=}\";;"
        " esac; done\n"
        "  echo ran; exit 3;;\n"
        "esac\n");
    writeFile(work_.file("program.tag"), "INSTRUCTIONS:\n  ILAUNCH 0 0\n/:\n");
    writeFile(work_.file("a.jvm"),
              "JVM_HOME: " + java.home() + "\nJVM_EXE: bin/java\nJAVA_VERSION: 17.0.9\n");
    writeFile(work_.file("launch.tag"),
              "COMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" %CLASS_DATA_ARCHIVE%() %CP%() Main\"\n");
    writeFile(work_.file("lib.jar"), "classes");
    std::string launcher = launcherFile({{FILE_JVM, "a.jvm"},
                                         {FILE_INSTRUCTIONS, "program.tag"},
                                         {FILE_LAUNCH_SCRIPT, "launch.tag"},
                                         {FILE_CLASSPATH_ARCHIVE, "lib.jar"}})
                               .withoutVerifyArchive()
                               .write("launcher");
    testsupport::LauncherOptions options;
    options.env["XDG_CACHE_HOME"] = work_.file("cache");
    options.env["CVLAUNCH_CLASS_DATA"] = "1";
    options.env["CVTEST_RELEASE"] = release;
    options.logFile = work_.file("first.log");
    std::string cds = work_.file("cache/cvlaunch/cds/");
    struct Release {
        std::string path;
        ~Release() { writeFile(path, ""); }
    } releaseAtTheEnd{release};

    LauncherResult first = run(launcher, {}, options);

    // The launch ended while the maker waits for the release.
    EXPECT_EQ(first.status, 3) << first.err << first.log;
    EXPECT_NE(first.log.find("StdOut:\nran\n"), std::string::npos) << first.log;
    EXPECT_NE(first.log.find("Started the class-data archive maker"), std::string::npos)
        << first.log;
    std::string entry;
    for (const std::string& name : testsupport::entriesOf(cds)) {
        if (name.find(".job") != std::string::npos) {
            entry = name.substr(0, name.find('.'));
        }
    }
    ASSERT_FALSE(entry.empty()) << first.log;
    EXPECT_FALSE(testsupport::fileExists(cds + entry + ".ok"));

    // The maker holds the lock once its dump runs.
    ASSERT_TRUE(testsupport::waitForFile(release + ".dumping", 30000));
    testsupport::LauncherOptions second = options;
    second.logFile = work_.file("second.log");
    LauncherResult other = run(launcher, {"-cv:make-class-data", entry}, second);
    EXPECT_NE(other.log.find("Another maker is at work"), std::string::npos) << other.log;

    writeFile(release, "");
    ASSERT_TRUE(eventually([&] {
        return readFile(cds + entry + ".log").find(kMade) != std::string::npos;
    })) << readFile(cds + entry + ".log");
    options.logFile = work_.file("third.log");
    LauncherResult used = run(launcher, {}, options);
    EXPECT_NE(used.log.find(kUsed), std::string::npos) << used.log;
    std::vector<std::string> args = java.args();
    EXPECT_NE(std::find(args.begin(), args.end(), "-XX:SharedArchiveFile=" + cds + entry + ".jsa"),
              args.end());
}

}  // namespace
