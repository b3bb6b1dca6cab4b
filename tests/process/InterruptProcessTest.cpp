// An interrupt during a run: the signal reaches the running Java program, the
// launcher cleans up and ends with 128 + the signal number.
#include <gtest/gtest.h>

#include <signal.h>

#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace {

using testsupport::ProcessResult;
using testsupport::readFile;
using testsupport::runProcess;
using testsupport::TempDir;
using testsupport::writeFile;

class InterruptProcessTest : public ::testing::TestWithParam<int> {
  protected:
    // A launcher whose "Java" program announces that it runs, records the
    // signal it receives and ends by it.
    std::string packSleeper() {
        writeFile(home_.file("java"),
                  "#!/bin/sh\n"
                  "trap 'echo got > \"" +
                      work_.file("signal") +
                      "\"; exit 99' TERM INT HUP\n"
                      "touch \"" +
                      work_.file("running") +
                      "\"\n"
                      "while :; do sleep 0.05; done\n",
                  0755);
        writeFile(work_.file("program.tag"), "INSTRUCTIONS:\n  ILAUNCH 0 0\n/:\n");
        writeFile(work_.file("a.jvm"), "JVM_HOME: " + home_.path() + "\nJVM_EXE: java\n");
        writeFile(work_.file("launch.tag"), "COMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" %CP%()\"\n");
        writeFile(work_.file("lib.jar"), "not really an archive");
        std::vector<std::string> args = {testsupport::cvpackPath(),
                                         "--no-verify-archive",
                                         "--jvm",
                                         work_.file("a.jvm"),
                                         "--instructions",
                                         work_.file("program.tag"),
                                         "--launch-script",
                                         work_.file("launch.tag"),
                                         "--classpath-archive",
                                         work_.file("lib.jar"),
                                         "-o",
                                         work_.file("app")};
        EXPECT_EQ(runProcess(args).status, 0);
        return work_.file("app");
    }

    // Starts the launcher, waits until its program runs, sends the signal
    // and returns the launcher's exit status.
    int interruptRunningLaunch(const std::string& launcher, int signal) {
        testsupport::BackgroundProcess process(
            {launcher, "-cv:silent", "-cv:tempdir", temp_.path()});
        EXPECT_TRUE(testsupport::waitForFile(work_.file("running")));
        EXPECT_FALSE(temp_.isEmpty());  // the class path archive is extracted
        process.signal(signal);
        return process.wait().status;
    }

    TempDir work_;
    TempDir temp_;
    TempDir home_;
};

TEST_P(InterruptProcessTest, SignalIsPassedOnAndNothingIsLeftBehind) {
    int signal = GetParam();
    std::string launcher = packSleeper();
    EXPECT_EQ(interruptRunningLaunch(launcher, signal), 128 + signal);
    EXPECT_EQ(readFile(work_.file("signal")), "got\n");
    EXPECT_TRUE(temp_.isEmpty());
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
    writeFile(work.file("ask"), "#!/bin/sh\nprintf 'type: '\nread line\necho \"read [$line]\"\n",
              0755);
    writeFile(work.file("program.tag"), "INSTRUCTIONS:\n  ILAUNCH 0 0\n/:\n");
    writeFile(work.file("a.jvm"), "JVM_HOME: " + work.path() + "\nJVM_EXE: ask\n");
    writeFile(work.file("launch.tag"), "DISPLAY_CONSOLE: 1\nCOMMAND: @JVM_HOME@/@JVM_EXE@\n");
    std::vector<std::string> pack = {
        testsupport::cvpackPath(), "--no-verify-archive",   "--jvm",
        work.file("a.jvm"),        "--instructions",        work.file("program.tag"),
        "--launch-script",         work.file("launch.tag"), "-o",
        work.file("app")};
    ASSERT_EQ(runProcess(pack).status, 0);

    testsupport::ProcessOptions options;
    options.input = "hello\n";
    ProcessResult result =
        runProcess({script, "-qec", work.file("app") + " -cv:silent", "/dev/null"}, options);
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.out.find("read [hello]"), std::string::npos) << result.out;
}

}  // namespace
