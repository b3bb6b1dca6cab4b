// The verified-JVM cache: a second run probes nothing unless what the probe
// ran has changed, it answers nothing that may have changed, only clean
// probes are kept, parallel writers keep every entry, and a cache that
// cannot be trusted is ignored.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <map>
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

    // A home as a JVM's: an ELF Java that runs `script`, and a JVM library.
    testsupport::FakeJavaHome nativeHome(const std::string& name, const std::string& script) const {
        testsupport::makeDirectories(work_.file(name + "/lib/server"));
        writeFile(work_.file(name + "/lib/server/libjvm.so"), "library");
        return testsupport::FakeJavaHome(work_.file(name), script, "bin/java", true);
    }

    // Such a home whose Java runs `body`, then prints the marker and `values`
    // (a printf format).
    testsupport::FakeJavaHome java(const std::string& name, const std::string& body = "",
                                   const std::string& values = "Fake\\n") const {
        return nativeHome(name, body + "printf '1739021872\\n" + values + "'\n");
    }

    testsupport::LauncherOptions cacheOptions(const std::string& home,
                                              const std::string& jvm = "fake.jvm") const {
        writeFile(work_.file(home + ".tag"), "ACTION: VERIFY_JVM\nSHOW_PROGRESS: 0\nLOGFILE: " +
                                                 log() + "\nVERIFY_JVM_FILE: " + work_.file(jvm) +
                                                 "\nVERIFY_JVM_HOME: " + work_.file(home) + "\n");
        testsupport::LauncherOptions options = this->options();
        // Every run unsets LANG, as runLauncher does: the cache keys on it.
        options.env = {{"CVLAUNCH_VERIFY_CACHE", "1"},
                       {"XDG_CACHE_HOME", work_.file("cache")},
                       {"CVTEST_JAVA_RUNS", work_.file("runs")},
                       {"LANG", testsupport::kUnset}};
        options.logFile = log();
        options.logOption = false;
        return options;
    }

    struct Verification {
        std::string out;
        size_t probes;
    };

    // VERIFY_JVM of the home with the description file `jvm`, the variables
    // of `env` added: its output and the probes that it made.
    Verification verifyAs(const std::string& home, const std::string& jvm,
                          const std::map<std::string, std::string>& env) {
        size_t before = linesOf(readFile(work_.file("runs"))).size();
        std::remove(log().c_str());
        testsupport::LauncherOptions options = cacheOptions(home, jvm);
        for (const auto& [name, value] : env) {
            options.env[name] = value;
        }
        auto result = run(work_.file("launcher"), {"-cv:in", work_.file(home + ".tag")}, options);
        lastLog_ = result.log;
        return {result.out, linesOf(readFile(work_.file("runs"))).size() - before};
    }

    // Verifies the home; the number of probes that this run made.
    size_t verify(const std::string& home = "jdk", const std::string& switchValue = "1") {
        Verification verification =
            verifyAs(home, "fake.jvm", {{"CVLAUNCH_VERIFY_CACHE", switchValue}});
        EXPECT_EQ(verification.out, "1\n") << lastLog_;
        return verification.probes;
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

TEST_F(VerifyCacheProcessTest, OnlyWhatCannotHaveChangedIsAnswered) {
    const std::string marker = "printf '1739021872\\n";
    const std::string fake = marker + "Fake\\n'\n";
    writeFile(work_.file("jdk25.sh"), marker + "25.0.1\\n'\n");
    const std::string target = work_.file("target");
    writeFile(target, work_.file("jdk25.sh"));
    const std::string wrapper = "exec /bin/sh \"$(cat " + target + ")\"\n";
    const std::string library = work_.file("lean/lib/server/libjvm.so");
    const std::string lean = "[ -f " + library + " ] || exit 1\n" + fake;
    const std::string locale =
        "case \"$LANG\" in *UTF-8) e=UTF-8 ;; *) e=ANSI_X3.4-1968 ;; esac\n" + marker +
        "%s\\n' \"$e\"\n";
    const std::string userDir = marker + "Fake\\n/somewhere\\n'\n";
    const std::string jdk17 = work_.file("jdk17.sh");
    writeFile(jdk17, marker + "17.0.9\\n'\n");
    const std::string vendor = "JVM_PROPERTIES: java.vendor=Fake\n";
    const std::string version = "JVM_PROPERTIES: java.version>=21\n";
    const std::string encoding = "JVM_PROPERTIES: file.encoding=UTF-8\n";
    const std::string vendorAndDir = vendor + "JVM_PROPERTIES: user.dir=...\n";
    using Env = std::map<std::string, std::string>;
    const Env utf8 = {{"LANG", "C.UTF-8"}}, ascii = {{"LANG", "C"}};
    const Env relative = {{"HOME", "relative"}, {"XDG_CACHE_HOME", testsupport::kUnset}};
    const std::string notUsed =
        "cache verified-jvms is not used: there is neither an absolute XDG_CACHE_HOME nor an "
        "absolute HOME.";
    const std::string notWritten =
        "verified-jvms is not written: another process held its lock for 2 seconds.";
    const struct {
        const char* home;
        bool native;
        std::string script;      // of its Java
        std::string properties;  // of the description file
        // After the first run, `changed` holds `content`, or is removed when
        // that is empty.
        std::string changed, content;
        Env firstEnv, secondEnv;
        const char* firstOut;
        const char* secondOut;
        size_t secondProbes;
        std::string logged = "";  // by the second run; else no word about the cache
    } cases[] = {
        {"unchanged", true, fake, vendor, "", "", {}, {}, "1\n", "1\n", 0},
        {"wrapper", false, wrapper, version, target, jdk17, {}, {}, "1\n", "0\n", 1},
        {"lean", true, lean, vendor, library, "", {}, {}, "1\n", "0\n", 1},
        {"locale", true, locale, encoding, "", "", utf8, ascii, "1\n", "0\n", 1},
        {"notjava", true, "echo not java at all\n", "", "", "", {}, {}, "0\n", "0\n", 1},
        {"noproperties", true, fake, "", "", "", {}, {}, "1\n", "1\n", 1},
        {"userdir", true, userDir, vendorAndDir, "", "", {}, {}, "1\n", "1\n", 1},
        {"homeless", true, fake, vendor, "", "", relative, relative, "1\n", "1\n", 1, notUsed},
        {"locked", true, fake, vendor, "", "", {}, {}, "1\n", "1\n", 1, notWritten},
    };
    testsupport::makeDirectories(work_.file("locked-cache/cvlaunch"));
    int lock = open(work_.file("locked-cache/cvlaunch/verified-jvms.lock").c_str(),
                    O_RDWR | O_CREAT, 0600);
    ASSERT_EQ(flock(lock, LOCK_EX), 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.home);
        std::string home = c.home;
        writeFile(work_.file(home + ".jvm"), "JVM_EXE: bin/java\n" + c.properties);
        if (c.native) {
            nativeHome(home, c.script);
        } else {
            testsupport::FakeJavaHome(work_.file(home), c.script);
            testsupport::makeDirectories(work_.file(home + "/lib/server"));
            writeFile(work_.file(home + "/lib/server/libjvm.so"), "library");
        }
        auto runWith = [&](Env env) {
            env.emplace("XDG_CACHE_HOME", work_.file(home + "-cache"));
            return verifyAs(home, home + ".jvm", env);
        };
        Verification first = runWith(c.firstEnv);
        EXPECT_EQ(first.out, c.firstOut) << lastLog_;
        EXPECT_EQ(first.probes, 1u);
        if (!c.content.empty()) {
            writeFile(c.changed, c.content);
        } else if (!c.changed.empty()) {
            std::remove(c.changed.c_str());
        }
        Verification second = runWith(c.secondEnv);
        EXPECT_EQ(second.out, c.secondOut) << lastLog_;
        EXPECT_EQ(second.probes, c.secondProbes) << lastLog_;
        bool logged = c.logged.empty()
                          ? lastLog_.find("The verification cache") == std::string::npos
                          : lastLog_.find(c.logged) != std::string::npos;
        EXPECT_TRUE(logged) << lastLog_;
    }
    close(lock);
    EXPECT_FALSE(testsupport::fileExists(work_.file("relative")))
        << "no cache under the work directory";
}

TEST_F(VerifyCacheProcessTest, AJavaFoundThatRanOutOfTimeIsTriedLast) {
    // Scripts: the cache answers nothing for them, so each search runs them.
    testsupport::FakeJavaHome slow(work_.file("slow"), "exec sleep 30\n");
    testsupport::writeVerifyingJava(work_.file("good"), "Fake\\n");
    writeFile(work_.file("search.jvm"),
              "JVM_EXE: bin/java\nJVM_PROPERTIES: java.vendor=Fake\n"
              "PLATFORM_HINT: CVTEST_NAMED\n");
    writeFile(work_.file("search.tag"), "ACTION: SEARCH\nSHOW_PROGRESS: 0\nLOGFILE: " + log() +
                                            "\nJVM:\n  " + work_.file("search.jvm") + "\n/:\n");
    auto search = [&](const std::string& path, const std::string& named) {
        std::remove(work_.file("runs").c_str());
        testsupport::LauncherOptions options = cacheOptions("slow");
        options.env["PATH"] = path;
        options.env["CVTEST_NAMED"] = named;
        options.env["CV_VERIFY_TIME_LIMIT_MS"] = "300";
        options.env["CVLAUNCH_TRUST_ALL_CANDIDATES"] = "1";
        auto result = run(work_.file("launcher"), {"-cv:in", work_.file("search.tag")}, options);
        std::vector<std::string> lines = linesOf(result.out);
        EXPECT_FALSE(lines.empty()) << result.err;
        if (lines.size() == 3) {
            EXPECT_EQ(testsupport::realPath(lines[1]), testsupport::realPath(work_.file("good")))
                << result.log;
            std::remove(lines[2].c_str());
        }
        return linesOf(readFile(work_.file("runs")));
    };
    const std::string onPath =
        work_.file("slow/bin") + ":" + work_.file("good/bin") + ":/usr/bin:/bin";
    // The homes in the order in which they ran.
    const std::vector<std::string> slowFirst = {work_.file("slow"), work_.file("good")};
    EXPECT_EQ(search(onPath, ""), slowFirst) << "on PATH first, it runs out of time";
    EXPECT_EQ(search(onPath, ""), std::vector<std::string>{work_.file("good")});
    EXPECT_NE(readFile(log()).find("Trying " + work_.file("slow/") + " last"), std::string::npos);
    EXPECT_EQ(search("/usr/bin:/bin", slowFirst[0] + ":" + slowFirst[1]), slowFirst)
        << "named homes keep their order";
    usleep(20000);  // file times of the change differ
    testsupport::FakeJavaHome(work_.file("slow"), "exec sleep 30\n# changed\n");
    EXPECT_EQ(search(onPath, ""), slowFirst) << "a changed Java has its turn again";
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

TEST_F(VerifyCacheProcessTest, ParallelLaunchersKeepEveryEntry) {
    const int count = 40;
    std::vector<std::unique_ptr<testsupport::BackgroundProcess>> launchers;
    for (int i = 0; i < count; ++i) {
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
    EXPECT_EQ(linesOf(readFile(work_.file("runs"))).size(), static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        EXPECT_EQ(verify("jdk" + std::to_string(i)), 0u) << i;
    }
}

}  // namespace
