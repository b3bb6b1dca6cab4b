// Signal handling: a signal reaches the running child, is recorded, and stops
// new children from starting. Each test runs the launcher side in a forked
// test child, since handlers and the recorded signal last for the process.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

#include "launcher/LauncherException.h"
#include "platform/PlatformImpl.h"
#include "platform/PlatformTempDirTest.h"

namespace {

class PlatformImplSignalTest : public PlatformTempDirTest {
  protected:
    static int exitCodeOf(pid_t pid) {
        int status = -1;
        EXPECT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status)) << "status " << status;
        return WEXITSTATUS(status);
    }

    // The recorded signal, or 200 + n when the interruption text is wrong.
    static int reportInterruption() {
        try {
            PlatformImpl::throwIfInterrupted();
        } catch (const LauncherException& e) {
            std::string expected =
                "Interrupted by signal " + std::to_string(PlatformImpl::pendingSignal()) + ".";
            return text(e.message) == expected ? PlatformImpl::pendingSignal() : 200;
        }
        return 201;
    }
};

TEST_F(PlatformImplSignalTest, SignalIsPassedOnToTheRunningChildAndRecorded) {
    for (bool capture : {false, true}) {
        SCOPED_TRACE(capture ? "capturing" : "not capturing");
        std::string ready = path(capture ? "ready1" : "ready0");
        std::string got = path(capture ? "got1" : "got0");
        std::string command = "trap 'echo TERM > " + got + "; exit 9' TERM; " +
                              (capture ? "echo started; " : "") + "touch " + ready +
                              "; while :; do sleep 0.02; done";
        pid_t child = startTestChild([&] {
            PlatformImpl::installSignalHandlers();
            SString out;
            SString err;
            int code = PlatformImpl::executeProcess(command.c_str(), "", false, capture, capture,
                                                    &out, &err, false);
            if (code != 9 || (capture && text(out) != "started\n") || !PlatformImpl::m_canceled) {
                return 100;
            }
            return reportInterruption();
        });
        ASSERT_TRUE(testsupport::waitForFile(ready));
        kill(child, SIGTERM);
        EXPECT_EQ(exitCodeOf(child), SIGTERM);
        EXPECT_EQ(testsupport::readFile(got), "TERM\n");
    }
}

TEST_F(PlatformImplSignalTest, SignalledProgramIsWaitedForAsAWhole) {
    struct {
        int signalNumber;
        bool endsLauncher;
    } cases[] = {{SIGTERM, true}, {SIGALRM, true}, {SIGUSR1, false}, {SIGUSR2, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.signalNumber);
        std::string ready = path("ready" + std::to_string(c.signalNumber));
        std::string got = path("got" + std::to_string(c.signalNumber));
        // The shell ends at once; the program it started takes its time.
        std::string program = "trap 'sleep 0.3; echo done > " + got + "; exit 9' " +
                              std::to_string(c.signalNumber) + "; touch " + ready +
                              "; while :; do sleep 0.02; done";
        std::string command = "sh -c \"" + program + "\" & wait";
        pid_t child = startTestChild([&] {
            PlatformImpl::installSignalHandlers();
            PlatformImpl::executeProcess(command.c_str(), "", false, true, true, nullptr, nullptr,
                                         false);
            bool waited = testsupport::fileExists(got);
            return waited ? PlatformImpl::pendingSignal() : 100;
        });
        ASSERT_TRUE(testsupport::waitForFile(ready));
        kill(child, c.signalNumber);
        EXPECT_EQ(exitCodeOf(child), c.endsLauncher ? c.signalNumber : 0);
    }
}

TEST_F(PlatformImplSignalTest, ChildrenGetTheDefaultOfABrokenPipe) {
    pid_t child = startTestChild([] {
        PlatformImpl::installSignalHandlers();
        return PlatformImpl::executeProcess("kill -PIPE $$; exit 3", "", false, false, false,
                                            nullptr, nullptr, false);
    });
    EXPECT_EQ(exitCodeOf(child), 128 + SIGPIPE);
}

TEST_F(PlatformImplSignalTest, PendingSignalStartsNothing) {
    std::string marker = path("started");
    pid_t child = startTestChild([&] {
        PlatformImpl::installSignalHandlers();
        raise(SIGINT);
        try {
            PlatformImpl::executeProcess(("touch " + marker).c_str(), "", false, false, false,
                                         nullptr, nullptr, false);
        } catch (const LauncherException&) {
            return reportInterruption();
        }
        return 100;
    });
    EXPECT_EQ(exitCodeOf(child), SIGINT);
    EXPECT_FALSE(testsupport::fileExists(marker));
}

TEST_F(PlatformImplSignalTest, NoSignalMeansNothingPending) {
    pid_t child = startTestChild([] {
        PlatformImpl::installSignalHandlers();
        PlatformImpl::throwIfInterrupted();
        return PlatformImpl::pendingSignal() == 0 && !PlatformImpl::m_canceled ? 0 : 1;
    });
    EXPECT_EQ(exitCodeOf(child), 0);
}

TEST_F(PlatformImplSignalTest, SignalIgnoredAtStartStaysIgnored) {
    pid_t child = startTestChild([] {
        signal(SIGHUP, SIG_IGN);
        PlatformImpl::installSignalHandlers();
        raise(SIGHUP);
        raise(SIGTERM);
        return PlatformImpl::pendingSignal();
    });
    EXPECT_EQ(exitCodeOf(child), SIGTERM);
}

}  // namespace
