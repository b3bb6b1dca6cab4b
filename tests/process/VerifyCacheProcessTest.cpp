// The verified-JVM cache: a second run probes nothing unless what the probe
// ran has changed, only clean probes are kept, and a cache that cannot be
// trusted is ignored.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "support/BackgroundProcess.h"
#include "support/FakeJavaHome.h"
#include "support/LauncherProcessTest.h"

namespace {

using testsupport::linesOf;
using testsupport::readFile;
using testsupport::writeFile;

class VerifyCacheProcessTest : public testsupport::LauncherProcessTest {
  protected:
    VerifyCacheProcessTest() {
        writeFile(work_.file("fake.jvm"), "JVM_EXE: bin/java\nJVM_PROPERTIES: java.vendor=Fake\n");
        writeFile(work_.file("probe.jar"), "first class");
        pack();
    }

    void pack() const { launcherFile({{FILE_VERIFY_ARCHIVE, "probe.jar"}}).write("launcher"); }

    testsupport::FakeJavaHome java(const std::string& name, const std::string& body = "") const {
        return testsupport::FakeJavaHome(work_.file(name),
                                         "printf '1739021872\\nFake\\n'\n" + body);
    }

    testsupport::LauncherOptions cacheOptions(const std::string& home) const {
        writeFile(work_.file(home + ".tag"),
                  "ACTION: VERIFY_JVM\nSHOW_PROGRESS: 0\nLOGFILE: " + log() +
                      "\nVERIFY_JVM_FILE: " + work_.file("fake.jvm") +
                      "\nVERIFY_JVM_HOME: " + work_.file(home) + "\n");
        testsupport::LauncherOptions options = this->options();
        options.env = {{"CVLAUNCH_VERIFY_CACHE", "1"},
                       {"XDG_CACHE_HOME", work_.file("cache")},
                       {"CVTEST_JAVA_RUNS", work_.file("runs")}};
        options.logFile = log();
        options.logOption = false;
        return options;
    }

    // Verifies the home; the number of probes that this run made.
    size_t verify(const std::string& home = "jdk", const std::string& switchValue = "1") {
        size_t before = linesOf(readFile(work_.file("runs"))).size();
        std::remove(log().c_str());
        testsupport::LauncherOptions options = cacheOptions(home);
        options.env["CVLAUNCH_VERIFY_CACHE"] = switchValue;
        auto result = run(work_.file("launcher"), {"-cv:in", work_.file(home + ".tag")}, options);
        EXPECT_EQ(result.out, "1\n") << result.err << result.log;
        lastLog_ = result.log;
        return linesOf(readFile(work_.file("runs"))).size() - before;
    }

    std::string cacheFile() const { return work_.file("cache/cvlaunch/verified-jvms"); }

    std::string lastLog_;
};

TEST_F(VerifyCacheProcessTest, ASecondRunProbesOnlyWhenWhatItRanChanged) {
    const std::string home = work_.file("jdk");
    const struct {
        const char* change;
        std::function<void()> make;
        size_t probes;
        bool ignored = false;
    } cases[] = {
        {"nothing", [] {}, 0},
        {"java rewritten", [&] { java("jdk", "# new\n"); }, 1},
        {"java replaced by a copy",
         [&] {
             writeFile(home + "/java.new", readFile(home + "/bin/java"), 0755);
             rename((home + "/java.new").c_str(), (home + "/bin/java").c_str());
         },
         1},
        {"release file", [&] { writeFile(home + "/release", "JAVA_VERSION=\"17\"\n"); }, 1},
        {"verification class",
         [&] {
             writeFile(work_.file("probe.jar"), "second class");
             pack();
         },
         1},
        {"corrupt cache", [&] { writeFile(cacheFile(), "JVM1:\n  open block\n"); }, 1, true},
        {"foreign cache", [&] { ASSERT_EQ(chown(cacheFile().c_str(), 65534, 65534), 0); }, 1, true},
    };
    java("jdk");
    EXPECT_EQ(verify(), 1u);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.change);
        usleep(20000);  // file times of the next change differ
        c.make();
        EXPECT_EQ(verify(), c.probes);
        bool warned = lastLog_.find("The verification cache " + cacheFile() + " is not used: ") !=
                      std::string::npos;
        EXPECT_EQ(warned, c.ignored) << lastLog_;
        EXPECT_EQ(verify(), 0u) << "a clean probe is kept";
    }
    EXPECT_EQ(verify("jdk", "0"), 1u) << "switched off";
    // Answered by the cache, a run extracts nothing: it could not write a byte.
    auto result = testsupport::runInShell(
        "ulimit -f 0; exec \"$@\"",
        testsupport::launcherCommand(work_.file("launcher"), {"-cv:in", work_.file("jdk.tag")},
                                     options()),
        cacheOptions("jdk"));
    EXPECT_EQ(result.out, "1\n") << result.err;
}

TEST_F(VerifyCacheProcessTest, AHomeIsProbedOncePerSearchAndTheRealJDKOncePerUser) {
    std::string hint = "PATH_HINT: " + java("jdk").home().substr(1) + "\n";
    for (const char* vendor : {"Other", "Fake"}) {
        writeFile(
            work_.file(vendor + std::string(".jvm")),
            "JVM_EXE: bin/java\nJVM_PROPERTIES: java.vendor=" + std::string(vendor) + "\n" + hint);
    }
    std::string jdk = testsupport::findJDK();
    writeFile(work_.file("real.jvm"), "JVM_EXE: bin/java\nJVM_PROPERTIES: java.home=" + jdk + "\n");
    std::string verifyReal = "ACTION: VERIFY_JVM\nVERIFY_JVM_FILE: " + work_.file("real.jvm") +
                             "\nVERIFY_JVM_HOME: " + jdk + "\n";
    // The real JDK runs the real verification class.
    std::string real = launcherFile().write("real");
    const std::pair<std::string, std::string> runs[] = {
        {work_.file("launcher"), "ACTION: SEARCH\nJVM:\n  " + work_.file("Other.jvm") + "\n  " +
                                     work_.file("Fake.jvm") + "\n/:\n"},
        {real, verifyReal},
        {real, verifyReal}};
    for (const auto& [launcher, input] : runs) {
        writeFile(work_.file("in.tag"), input + "LOGFILE: " + log() + "\n");
        auto result = run(launcher, {"-cv:in", work_.file("in.tag")}, cacheOptions("jdk"));
        std::vector<std::string> lines = linesOf(result.out);
        ASSERT_FALSE(lines.empty()) << result.err;
        EXPECT_EQ(lines[0], "1") << result.log;
        if (lines.size() == 3) {
            temp_.expectLeft(lines[2].substr(lines[2].rfind('/') + 1));  // the match file
        }
    }
    EXPECT_EQ(linesOf(readFile(work_.file("runs"))).size(), 1u) << "the fake home, once";
    EXPECT_NE(readFile(log()).find("The properties of " + jdk +
                                   "/bin/java come from the verification cache"),
              std::string::npos);
}

TEST_F(VerifyCacheProcessTest, OnlyCleanProbesAreKept) {
    const struct {
        const char* name;
        const char* body;
    } probes[] = {{"failing", "exit 3\n"}, {"slow", "sleep 3\n"}};
    for (const auto& probe : probes) {
        SCOPED_TRACE(probe.name);
        java(probe.name, probe.body);
        testsupport::LauncherOptions options = cacheOptions(probe.name);
        options.env["CV_VERIFY_TIME_LIMIT_MS"] = "300";
        for (int i = 0; i < 2; ++i) {
            run(work_.file("launcher"), {"-cv:in", work_.file(std::string(probe.name) + ".tag")},
                options);
        }
    }
    EXPECT_EQ(linesOf(readFile(work_.file("runs"))).size(), 4u);
}

TEST_F(VerifyCacheProcessTest, ConcurrentLaunchersKeepTheFileWhole) {
    std::vector<std::unique_ptr<testsupport::BackgroundProcess>> launchers;
    for (int i = 0; i < 4; ++i) {
        std::string home = "jdk" + std::to_string(i);
        java(home);
        launchers.push_back(std::make_unique<testsupport::BackgroundProcess>(
            testsupport::launcherCommand(work_.file("launcher"),
                                         {"-cv:in", work_.file(home + ".tag")}, options()),
            cacheOptions(home)));
    }
    for (auto& launcher : launchers) {
        EXPECT_EQ(launcher->wait().out, "1\n");
    }
    EXPECT_EQ(readFile(cacheFile()).rfind("JVM1:\n", 0), 0u) << readFile(cacheFile());
    // Whatever entry a writer lost is probed again once, then kept.
    for (int i = 0; i < 4; ++i) {
        verify("jdk" + std::to_string(i));
    }
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(verify("jdk" + std::to_string(i)), 0u);
    }
}

}  // namespace
