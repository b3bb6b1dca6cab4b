// An interrupt during a run: the signal reaches the running Java program, the
// launcher cleans up and ends with 128 + the signal number.
#include <gtest/gtest.h>

#include <signal.h>

#include <string>
#include <vector>

#include "support/FakeJavaHome.h"
#include "support/LauncherProcessTest.h"

namespace {

using testsupport::FakeJavaHome;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

class InterruptProcessTest : public testsupport::LauncherProcessTest,
                             public ::testing::WithParamInterface<int> {
  protected:
    // A launcher whose "Java" program announces that it runs, records the
    // signal it receives and ends by it.
    std::string packSleeper() {
        FakeJavaHome(home_.path(),
                     "trap 'echo got > " + testsupport::shellQuote(work_.file("signal")) +
                         "; exit 99' TERM INT HUP\ntouch " +
                         testsupport::shellQuote(work_.file("running")) +
                         "\nwhile :; do sleep 0.05; done\n",
                     "java");
        return packDirectLaunch(home_.path(), "not really an archive");
    }

    // Starts the launcher, waits until its program runs, sends the signal
    // and returns the launcher's exit status.
    int interruptRunningLaunch(const std::string& launcher, int signal) {
        testsupport::BackgroundProcess process(
            testsupport::launcherCommand(launcher, {"-cv:silent"}, options()), options());
        EXPECT_TRUE(testsupport::waitForFile(work_.file("running")));
        EXPECT_FALSE(temp_.isEmpty());  // the class path archive is extracted
        process.signal(signal);
        return process.wait().status;
    }

    TempDir home_;
};

TEST_P(InterruptProcessTest, SignalIsPassedOnAndNothingIsLeftBehind) {
    int signal = GetParam();
    std::string launcher = packSleeper();
    EXPECT_EQ(interruptRunningLaunch(launcher, signal), 128 + signal);
    EXPECT_EQ(readFile(work_.file("signal")), "got\n");
}

INSTANTIATE_TEST_SUITE_P(Signals, InterruptProcessTest, ::testing::Values(SIGINT, SIGTERM, SIGHUP));

// The program runs in a process group of its own; on a terminal that group
// must get the terminal, or reading it would stop the program.
TEST(TerminalProcessTest, ProgramReadsTheTerminalOfTheLauncher) {
    const std::string script = "/usr/bin/script";
    if (!testsupport::fileExists(script)) {
        GTEST_SKIP() << "no script(1) to provide a terminal";
    }
    TempDir work;
    FakeJavaHome(work.path(), "printf 'type: '\nread line\necho \"read [$line]\"\n", "ask");
    writeFile(work.file("program.tag"), "INSTRUCTIONS:\n  ILAUNCH 0 0\n/:\n");
    writeFile(work.file("a.jvm"), "JVM_HOME: " + work.path() + "\nJVM_EXE: ask\n");
    writeFile(work.file("launch.tag"), "DISPLAY_CONSOLE: 1\nCOMMAND: @JVM_HOME@/@JVM_EXE@\n");
    std::string app = testsupport::LauncherFileBuilder(work.path())
                          .add({{FILE_JVM, "a.jvm"},
                                {FILE_INSTRUCTIONS, "program.tag"},
                                {FILE_LAUNCH_SCRIPT, "launch.tag"}})
                          .withoutVerifyArchive()
                          .write("app");

    testsupport::ProcessOptions options;
    options.input = "hello\n";
    testsupport::ProcessResult result =
        testsupport::runProcess({script, "-qec", app + " -cv:silent", "/dev/null"}, options);
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.out.find("read [hello]"), std::string::npos) << result.out;
}

}  // namespace
