// The runtime that a launcher carries, installed once into the user's
// runtime store (INSTALL_JVM 3) and shared, with a stand-in installer whose
// runs the tests count, hold and break.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/BackgroundProcess.h"
#include "support/LauncherProcessTest.h"

namespace {

using testsupport::fileExists;
using testsupport::LauncherResult;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

// Counts its runs in $RT_COUNT, stops half-way while $RT_HOLD exists
// (writing its process id into $RT_STARTED), fails when $RT_FAIL is set; otherwise
// leaves a Java stand-in that prints its home, its arguments and whether
// the runtime's lock is held.
const char kInstaller[] =
    "#!/bin/sh\n"
    "echo run >> \"$RT_COUNT\"\n"
    "mkdir -p bin lib && echo partial > lib/modules\n"
    "if [ -e \"$RT_HOLD\" ]; then\n"
    "  echo $$ > \"$RT_STARTED.new\" && mv \"$RT_STARTED.new\" \"$RT_STARTED\"\n"
    "  while [ -e \"$RT_HOLD\" ]; do sleep 0.01; done\n"
    "fi\n"
    "if [ -n \"$RT_FAIL\" ]; then echo 'disk on fire' >&2; exit 3; fi\n"
    "cat > bin/java <<'JAVA'\n"
    "#!/bin/sh\n"
    "home=$(cd \"$(dirname \"$0\")/..\" && pwd)\n"
    "echo \"home=$home\"\n"
    "for a in \"$@\"; do echo \"[$a]\"; done\n"
    "if [ ! -e \"$home.lock\" ]; then echo no lock\n"
    "elif flock -n -x \"$home.lock\" true; then echo unlocked; else echo locked; fi\n"
    "exit 4\n"
    "JAVA\n"
    "chmod +x bin/java\n"
    "printf 'DESC: carried\\nJVM_EXE: bin/java\\n' > jvm\n";

class RuntimeStoreProcessTest : public testsupport::LauncherProcessTest {
  protected:
    void SetUp() override {
        writeFile(work_.file("program.tag"),
                  "INSTRUCTIONS:\n  INSTALL_JVM 3\n  JMP0 @N1@ none\n  LAUNCH \"@S1@\" 0\n"
                  "  GOTO end\n  :none\n  LAUNCH \"" +
                      work_.file("fallback.jvm") + "\" 0\n  :end\n/:\n");
        // What the program runs when the runtime fails: whether the failed
        // runtime's lock is still held.
        testsupport::makeDirectories(work_.file("fallback/bin"));
        writeFile(work_.file("fallback/bin/java"),
                  "#!/bin/sh\necho fallback\n"
                  "for lock in \"$XDG_DATA_HOME\"/cvlaunch/runtimes/*.lock; do\n"
                  "  flock -n -x \"$lock\" true && echo unlocked || echo locked\n"
                  "done\nexit 5\n",
                  0755);
        writeFile(work_.file("fallback.jvm"),
                  "JVM_HOME: " + work_.file("fallback") + "\nJVM_EXE: bin/java\n");
        writeFile(work_.file("launch.tag"),
                  "DISPLAY_CONSOLE: 1\nAUTO_SET_WORKING_DIR: 0\n"
                  "COMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\"\"\n");
        writeFile(work_.file("installer.sh"), kInstaller);
        launcher_ = launcherFile({{FILE_INSTRUCTIONS, "program.tag"},
                                  {FILE_LAUNCH_SCRIPT, "launch.tag"},
                                  {FILE_JVM_INSTALLER, "installer.sh"}})
                        .withoutVerifyArchive()
                        .write("app");
        mkdir(data_.file("cvlaunch").c_str(), 0700);
    }

    testsupport::LauncherOptions runOptions() const {
        testsupport::LauncherOptions options = LauncherProcessTest::options();
        options.logFile = log();
        options.env = {{"XDG_DATA_HOME", data_.path()},
                       {"RT_COUNT", work_.file("count")},
                       {"RT_HOLD", work_.file("hold")},
                       {"RT_STARTED", work_.file("started")}};
        return options;
    }
    LauncherResult launch(testsupport::LauncherOptions options) const {
        return run(launcher_, {"a b"}, options);
    }
    LauncherResult launch() const { return launch(runOptions()); }

    std::string store() const { return data_.file("cvlaunch/runtimes"); }
    // The runtimes and run directories in the store.
    std::vector<std::string> homes() const {
        std::vector<std::string> found;
        for (const std::string& name : testsupport::entriesOf(store())) {
            struct stat info;
            if (lstat((store() + "/" + name).c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
                found.push_back(name);
            }
        }
        return found;
    }
    int installs() const {
        std::string count = fileExists(work_.file("count")) ? readFile(work_.file("count")) : "";
        return static_cast<int>(count.size() / 4);
    }

    TempDir data_;
    std::string launcher_;
};

TEST_F(RuntimeStoreProcessTest, InstallsOnceAndEveryLaunchRunsTheInstalledRuntimeLocked) {
    LauncherResult first = launch();
    LauncherResult second = launch();
    ASSERT_EQ(homes().size(), 1u);
    std::string home = store() + "/" + homes()[0];
    for (const LauncherResult& result : {first, second}) {
        EXPECT_EQ(result.status, 4) << result.err << result.log;
        EXPECT_EQ(result.out, "home=" + home + "\n[a b]\nlocked\n");
    }
    EXPECT_EQ(installs(), 1);
    std::string jvm = readFile(home + "/jvm");
    EXPECT_NE(jvm.find("JVM_HOME:  " + home + "\n"), std::string::npos) << jvm;
    EXPECT_NE(jvm.find("JVM_TEMP:  0\n"), std::string::npos) << jvm;
    EXPECT_FALSE(fileExists(home + "/installer.sh"));
}

TEST_F(RuntimeStoreProcessTest, ParallelFirstLaunchesInstallOnce) {
    writeFile(work_.file("hold"), "");
    testsupport::BackgroundProcess first(
        testsupport::launcherCommand(launcher_, {"a b"}, runOptions()), runOptions());
    ASSERT_TRUE(testsupport::waitForFile(work_.file("started")));
    // The second cannot find the runtime before the first has put it in place.
    testsupport::BackgroundProcess second(
        testsupport::launcherCommand(launcher_, {"a b"}, runOptions()), runOptions());
    unlink(work_.file("hold").c_str());
    testsupport::ProcessResult one = first.wait();
    testsupport::ProcessResult two = second.wait();
    EXPECT_EQ(one.status, 4) << one.err;
    EXPECT_EQ(two.status, 4) << two.err;
    EXPECT_EQ(one.out, two.out);
    EXPECT_EQ(installs(), 1);
    EXPECT_EQ(homes().size(), 1u);
}

TEST_F(RuntimeStoreProcessTest, AnInterruptedOrFailedInstallLeavesNoRuntime) {
    writeFile(work_.file("hold"), "");
    testsupport::BackgroundProcess killed(
        testsupport::launcherCommand(launcher_, {"a b"}, runOptions()), runOptions());
    ASSERT_TRUE(testsupport::waitForFile(work_.file("started")));
    // The installer runs in a process group of its own.
    int installer = std::stoi(readFile(work_.file("started")));
    killed.signal(SIGKILL);
    killed.wait();
    kill(-installer, SIGKILL);
    ASSERT_TRUE(testsupport::waitForProcessEnd(installer));
    unlink(work_.file("hold").c_str());
    // Only the killed install's run directory is there, never a runtime.
    for (const std::string& name : homes()) {
        EXPECT_NE(name.find(".run."), std::string::npos) << name;
    }

    testsupport::LauncherOptions failing = runOptions();
    failing.env["RT_FAIL"] = "1";
    LauncherResult failed = launch(failing);
    EXPECT_EQ(failed.status, 5);
    EXPECT_EQ(failed.out, "fallback\nunlocked\n");
    EXPECT_NE(failed.err.find("The Java runtime that the launcher carries could not be "
                              "installed in " +
                              store() + "/"),
              std::string::npos)
        << failed.err;
    EXPECT_NE(failed.err.find(": its installer ended with status 3 and left no 'jvm' file: "
                              "disk on fire\n"),
              std::string::npos)
        << failed.err;
    EXPECT_TRUE(homes().empty()) << testing::PrintToString(homes());

    LauncherResult fine = launch();
    EXPECT_EQ(fine.status, 4) << fine.err;
    EXPECT_EQ(homes().size(), 1u);
    EXPECT_EQ(installs(), 3);
}

TEST_F(RuntimeStoreProcessTest, AStoreThatCannotBeTrustedGivesATemporaryRuntime) {
    chmod(data_.path().c_str(), 0777);
    LauncherResult result = launch();
    chmod(data_.path().c_str(), 0700);
    EXPECT_EQ(result.status, 4) << result.err;
    EXPECT_EQ(result.out.find("home=" + temp_.path() + "/"), 0u) << result.out;
    EXPECT_NE(result.log.find("The runtime store cannot be used: "), std::string::npos);
    EXPECT_FALSE(fileExists(store()));
}

TEST_F(RuntimeStoreProcessTest, RuntimesUnusedForAMonthGoUnlessAProgramRunsThem) {
    ASSERT_EQ(launch().status, 4);
    std::string home = store() + "/" + homes()[0];
    struct {
        const char* name;
        int daysUnused;
        bool held;
        bool stays;
    } cases[] = {
        {"0000000000000001", 40, false, false},
        {"0000000000000002", 40, true, true},
        {"0000000000000003", 20, false, true},
    };
    std::vector<int> locks;
    for (const auto& c : cases) {
        std::string other = store() + "/" + c.name;
        mkdir(other.c_str(), 0700);
        writeFile(other + "/jvm", "DESC: old\n");
        int lock = open((other + ".lock").c_str(), O_RDWR | O_CREAT, 0600);
        if (c.held) {
            flock(lock, LOCK_SH);
        }
        locks.push_back(lock);
        struct timeval then[2] = {{time(nullptr) - c.daysUnused * 86400L, 0},
                                  {time(nullptr) - c.daysUnused * 86400L, 0}};
        utimes(other.c_str(), then);
    }
    // The store was pruned today already: nothing goes before tomorrow.
    ASSERT_EQ(launch().status, 4);
    EXPECT_TRUE(fileExists(store() + "/" + cases[0].name));
    struct timeval yesterday[2] = {{time(nullptr) - 86401, 0}, {time(nullptr) - 86401, 0}};
    utimes((store() + "/pruned").c_str(), yesterday);

    ASSERT_EQ(launch().status, 4);
    for (const auto& c : cases) {
        EXPECT_EQ(fileExists(store() + "/" + c.name), c.stays) << c.name;
    }
    EXPECT_TRUE(fileExists(home + "/jvm"));
    for (int lock : locks) {
        close(lock);
    }
}

}  // namespace
