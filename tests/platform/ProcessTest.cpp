// Running child processes: exit codes, output capture, working directory,
// replacing the launcher, reading streams.
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "launcher/LauncherException.h"
#include "platform/Console.h"
#include "platform/PlatformImpl.h"
#include "platform/PlatformTempDirTest.h"
#include "support/ScopedEnv.h"

namespace {

struct Result {
    int code;
    std::string out;
    std::string err;
};

class PlatformImplProcessTest : public PlatformTempDirTest {
  protected:
    static Result capture(const std::string& command, const std::string& dir = "",
                          const ProcessOptions& options = ProcessOptions()) {
        return captureProgram({"/bin/sh", "-c", command}, dir, options);
    }

    static Result captureProgram(const std::vector<std::string>& arguments,
                                 const std::string& dir = "",
                                 const ProcessOptions& options = ProcessOptions()) {
        StringDeque deque;
        for (const std::string& argument : arguments) {
            deque.push_back(argument.c_str());
        }
        SString out;
        SString err;
        int code = PlatformImpl::runCaptured(deque, dir.c_str(), &out, &err, options);
        return {code, text(out), text(err)};
    }

    static int run(const std::string& command) {
        StringDeque shell;
        for (const char* argument : {"/bin/sh", "-c", command.c_str()}) {
            shell.push_back(argument);
        }
        return PlatformImpl::runAttached(shell, "");
    }

    // Progress marks counted while the display prints nothing.
    struct ProgressCounter {
        ProgressCounter() : start(ui_progress) { PlatformImpl::m_silent = false; }
        int marks() const { return ui_progress - start; }
        int start;
    };

    // Forks a test child that runs `body` and ends with its result; returns
    // the child's exit status as waitpid gives it.
    template <typename Body>
    static int inTestChild(Body body) {
        pid_t pid = startTestChild(body);
        int status = -1;
        waitpid(pid, &status, 0);
        return status;
    }
};

TEST_F(PlatformImplProcessTest, ExitCodeIsReturned) {
    for (int code : {0, 3, 255}) {
        SCOPED_TRACE(code);
        std::string command = "exit " + std::to_string(code);
        EXPECT_EQ(run(command), code);
        EXPECT_EQ(capture(command).code, code);
    }
    EXPECT_EQ(capture("no-such-program-cvj").code, 127);
}

TEST_F(PlatformImplProcessTest, ChildKilledBySignalIsNoSuccess) {
    EXPECT_EQ(run("kill -KILL $$"), 128 + SIGKILL);
    EXPECT_EQ(capture("kill -TERM $$").code, 128 + SIGTERM);
}

TEST_F(PlatformImplProcessTest, CaptureAppendsBothStreams) {
    SString out("before:");
    SString err("err:");
    int code = PlatformImpl::executeProcess("printf 'one\\ntwo'; printf oops >&2; exit 4", "",
                                            false, true, true, &out, &err, false);
    EXPECT_EQ(code, 4);
    EXPECT_STREQ(out.c_str(), "before:one\ntwo");
    EXPECT_STREQ(err.c_str(), "err:oops");
}

TEST_F(PlatformImplProcessTest, CaptureWithoutRedirectLeavesTextsAlone) {
    SString out("kept");
    SString err;
    int code = PlatformImpl::executeProcess("echo to-console >/dev/null; exit 2", "", false, true,
                                            false, &out, &err, false);
    EXPECT_EQ(code, 2);
    EXPECT_STREQ(out.c_str(), "kept");
    EXPECT_TRUE(err.empty());
}

TEST_F(PlatformImplProcessTest, OutputAtChunkBoundariesIsComplete) {
    for (int size : {4095, 4096, 4097, 3 * 4096}) {
        SCOPED_TRACE(size);
        ProgressCounter progress;
        Result result = capture("head -c " + std::to_string(size) + " /dev/zero | tr '\\0' a");
        EXPECT_EQ(result.code, 0);
        EXPECT_EQ(result.out, std::string(size, 'a'));
        // One mark per chunk of at most 4096 bytes.
        EXPECT_GE(progress.marks(), (size + 4095) / 4096);
        EXPECT_LE(progress.marks(), size);
    }
}

TEST_F(PlatformImplProcessTest, LargeStandardErrorDoesNotStallWhileStandardOutputIsOpen) {
    const int size = 1024 * 1024;
    Result result = capture("head -c " + std::to_string(size) +
                            " /dev/zero | tr '\\0' e >&2; printf done; exit 5");
    EXPECT_EQ(result.code, 5);
    EXPECT_EQ(result.err.size(), static_cast<size_t>(size));
    EXPECT_EQ(result.err.find_first_not_of('e'), std::string::npos);
    EXPECT_EQ(result.out, "done");
}

TEST_F(PlatformImplProcessTest, OutputAfterOneStreamClosedIsCollected) {
    Result late = capture("printf early; exec 1>&-; sleep 0.1; printf late >&2");
    EXPECT_EQ(late.out, "early");
    EXPECT_EQ(late.err, "late");

    Result other = capture("exec 2>&-; sleep 0.1; printf after");
    EXPECT_EQ(other.out, "after");
    EXPECT_EQ(other.err, "");
}

// A background process that inherits the pipes keeps them open after the
// child has ended. Reading stops after a short quiet time, or after a bounded
// time when the background process keeps writing.
TEST_F(PlatformImplProcessTest, BackgroundProcessHoldingThePipesDoesNotBlock) {
    struct Case {
        const char* name;
        const char* background;
        double limitSeconds;
    };
    const Case cases[] = {
        {"quiet", "sleep 30", 1.0},
        {"chatty", "while :; do echo x; sleep 0.01; done", 2.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto start = std::chrono::steady_clock::now();
        Result result = capture(std::string("(") + c.background + ") & echo $! >&2; exit 6");
        std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        int background = std::stoi(result.err);
        kill(background, SIGKILL);
        EXPECT_EQ(result.code, 6);
        EXPECT_LT(elapsed.count(), c.limitSeconds);
    }
}

TEST_F(PlatformImplProcessTest, ReturnsSoonAfterTheChildEnds) {
    auto start = std::chrono::steady_clock::now();
    Result result = capture("sleep 0.1; echo done");
    std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(result.out, "done\n");
    // Waiting used to add at least half a second after the end.
    EXPECT_LT(elapsed.count(), 0.1 + 0.4);
}

TEST_F(PlatformImplProcessTest, WorkingDirectoryIsTheChildsOnly) {
    char before[PATH_MAX];
    ASSERT_NE(getcwd(before, sizeof before), nullptr);
    Result result = capture("pwd -P", dir.path());
    char resolved[PATH_MAX];
    ASSERT_NE(realpath(dir.path().c_str(), resolved), nullptr);
    EXPECT_EQ(result.out, std::string(resolved) + "\n");
    char after[PATH_MAX];
    ASSERT_NE(getcwd(after, sizeof after), nullptr);
    EXPECT_STREQ(after, before);
}

TEST_F(PlatformImplProcessTest, ProgramsGetTheirArgumentsAsTheyAre) {
    std::string script = path("no-shebang");
    testsupport::writeFile(script, "printf '[%s]' \"$@\"\n", 0755);
    struct {
        std::vector<std::string> arguments;
        std::string out;
    } cases[] = {
        {{"printf", "%s|", "$HOME", "a b", "`x`", "\\"}, "$HOME|a b|`x`|\\|"},
        // The kernel cannot execute a script without "#!": /bin/sh runs it.
        {{script, "it's", "$(y)"}, "[it's][$(y)]"},
    };
    for (const auto& c : cases) {
        Result result = captureProgram(c.arguments);
        EXPECT_EQ(result.code, 0) << result.err;
        EXPECT_EQ(result.out, c.out);
    }
}

TEST_F(PlatformImplProcessTest, ProgramThatCannotStartIsReported) {
    std::string plain = path("not-executable");
    testsupport::writeFile(plain, "echo ran\n", 0644);
    struct {
        std::string program;
        std::string reason;
    } cases[] = {
        {path("missing"), "No such file or directory"},
        {"cvlaunch-no-such-program", "No such file or directory"},
        {plain, "Permission denied"},
    };
    for (const auto& c : cases) {
        try {
            captureProgram({c.program});
            ADD_FAILURE() << "no exception for " << c.program;
        } catch (const LauncherException& e) {
            EXPECT_EQ(text(e.message), "Unable to start " + c.program + ": " + c.reason);
        }
    }
}

TEST_F(PlatformImplProcessTest, MissingWorkingDirectoryStartsNothing) {
    std::string missing = path("missing");
    std::string marker = path("started");
    try {
        capture("touch " + marker, missing);
        FAIL() << "no exception";
    } catch (const LauncherException& e) {
        EXPECT_EQ(text(e.message),
                  "Error setting working directory: " + missing + " No such file or directory");
    }
    EXPECT_FALSE(testsupport::fileExists(marker));
}

TEST_F(PlatformImplProcessTest, ChildrenSeeVariablesSetByTheLauncher) {
    testsupport::ScopedEnv variable("CVJ_PROCESS_TEST", nullptr);
    PlatformImpl::setEnvironmentVariable("CVJ_PROCESS_TEST", "a b=1");
    Result result = capture("printf %s \"$CVJ_PROCESS_TEST\"");
    EXPECT_EQ(result.out, "a b=1");
}

TEST_F(PlatformImplProcessTest, TimeLimitKillsTheWholeGroupAndKeepsEarlyOutput) {
    ProcessOptions options;
    options.timeLimitMs = 200;
    for (bool collect : {true, false}) {
        SCOPED_TRACE(collect ? "captured" : "not captured");
        // The shell leaves a background process in its group.
        std::string pid = path(collect ? "pid1" : "pid0");
        std::string command = "sleep 30 & echo $! > " + pid + "; echo early; sleep 30";
        SString out;
        auto start = std::chrono::steady_clock::now();
        int code = PlatformImpl::executeProcess(command.c_str(), "", false, collect, collect, &out,
                                                nullptr, false, options);
        std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(code, kProcessTimedOut);
        EXPECT_GE(elapsed.count(), 0.2);
        EXPECT_LT(elapsed.count(), 2.0);
        EXPECT_EQ(text(out), collect ? "early\n" : "");
        // Killed, but reaped by whoever adopted it.
        EXPECT_TRUE(testsupport::waitForProcessEnd(std::stoi(testsupport::readFile(pid))));
    }
}

TEST_F(PlatformImplProcessTest, ProbeLeavesNothingBehind) {
    ProcessOptions options;
    options.killGroupAtEnd = true;
    // Background processes that keep the pipes open and say who they are:
    // one in the group, one that left it, one whose parent ended at once.
    const char* sleeper = "sh -c 'echo $$ > \"$0\"; exec sleep 30' ";
    const struct {
        const char* name;
        std::string start;
    } cases[] = {
        {"in the group", std::string(sleeper)},
        {"own session", std::string("setsid ") + sleeper},
        {"forked twice", std::string("(setsid ") + sleeper},
    };
    int run = 0;
    for (bool collect : {true, false}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(collect ? "captured, " : "not captured, ") + c.name);
            std::string pid = path("pid" + std::to_string(++run));
            bool sub = c.start[0] == '(';
            std::string command = c.start + "'" + pid + "' &" + (sub ? ") &" : "") +
                                  " while [ ! -s '" + pid + "' ]; do :; done; echo probed";
            SString out;
            int code = PlatformImpl::executeProcess(command.c_str(), "", false, collect, collect,
                                                    &out, nullptr, false, options);
            EXPECT_EQ(code, 0);
            EXPECT_EQ(text(out), collect ? "probed\n" : "");
            int left = std::stoi(testsupport::readFile(pid));
            EXPECT_TRUE(testsupport::processGone(left));
            kill(left, SIGKILL);
        }
    }
}

TEST_F(PlatformImplProcessTest, CapturedOutputKeepsItsBeginningAndItsEnd) {
    ProcessOptions options;
    options.captureLimit = 1000;
    struct {
        std::string command;
        std::string expected;
    } cases[] = {
        {"printf %1000s x", std::string(999, ' ') + "x"},
        {"printf a%1998sb x", "a" + std::string(499, ' ') + "\n[1000 bytes of output not kept]\n" +
                                  std::string(498, ' ') + "xb"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(capture(c.command, "", options).out, c.expected) << c.command;
    }
}

TEST_F(PlatformImplProcessTest, MissingStandardStreamsAreNullDevices) {
    int status = inTestChild([] {
        close(STDOUT_FILENO);
        PlatformImpl::openMissingStandardStreams();
        char target[64] = {};
        ssize_t length = readlink("/proc/self/fd/1", target, sizeof target - 1);
        bool writable = (fcntl(STDOUT_FILENO, F_GETFL) & O_ACCMODE) == O_WRONLY;
        return length > 0 && std::string(target) == "/dev/null" && writable ? 0 : 1;
    });
    EXPECT_EQ(status, 0);
}

TEST_F(PlatformImplProcessTest, ChildWithinItsTimeLimitGivesItsExitCode) {
    ProcessOptions options;
    options.timeLimitMs = 5000;
    for (bool collect : {true, false}) {
        SCOPED_TRACE(collect ? "captured" : "not captured");
        SString out;
        int code = PlatformImpl::executeProcess("echo done; exit 3", "", false, collect, collect,
                                                &out, nullptr, false, options);
        EXPECT_EQ(code, 3);
        EXPECT_EQ(text(out), collect ? "done\n" : "");
    }
}

// Output closed early does not end the wait; the limit still applies.
TEST_F(PlatformImplProcessTest, TimeLimitAppliesAfterTheChildClosedItsOutput) {
    ProcessOptions options;
    options.timeLimitMs = 200;
    SString out;
    SString err;
    int code = PlatformImpl::executeProcess("exec >&- 2>&-; sleep 30", "", false, true, true, &out,
                                            &err, false, options);
    EXPECT_EQ(code, kProcessTimedOut);
}

TEST_F(PlatformImplProcessTest, NullInputGivesTheChildAnEmptyStandardInput) {
    // The test child's standard input holds a line that the command would read.
    int status = inTestChild([] {
        int fds[2];
        if (pipe(fds) != 0 || write(fds[1], "typed\n", 6) != 6 || dup2(fds[0], 0) < 0) {
            return 2;
        }
        ProcessOptions options;
        options.nullInput = true;
        SString out;
        PlatformImpl::executeProcess("read line; echo \"[$line]\"", "", false, true, true, &out,
                                     nullptr, false, options);
        return text(out) == "[]\n" ? 0 : 1;
    });
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(PlatformImplProcessTest, ReplaceRunsTheProgramInPlaceOfTheLauncher) {
    int status = inTestChild([] {
        return PlatformImpl::executeProcess("sh -c \"exit 7\"", "", false, false, false, nullptr,
                                            nullptr, true);
    });
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 7);
}

TEST_F(PlatformImplProcessTest, ReplaceThatCannotStartReturnsZero) {
    for (const char* command : {"/no/such/program-cvj -x", "", "   "}) {
        SCOPED_TRACE(command);
        // 40 + the result tells a return from an exec'd program.
        int status = inTestChild([command] {
            return 40 + PlatformImpl::executeProcess(command, "", false, false, false, nullptr,
                                                     nullptr, true);
        });
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 40);
    }
}

TEST_F(PlatformImplProcessTest, ReadFromFileReadsToTheEndInChunks) {
    struct Case {
        size_t size;
        unsigned int lastRead;
        int marks;
    };
    // A read that fills the whole buffer cannot see the end yet: one more
    // (empty) read follows, and it counts as a mark too.
    const Case cases[] = {{0, 0, 1}, {5000, 904, 2}, {8192, 0, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        std::string content(c.size, 'r');
        testsupport::writeFile(path("in"), content);
        FILE* stream = fopen(path("in").c_str(), "rb");
        ASSERT_NE(stream, nullptr);
        ProgressCounter progress;
        SString collected("x");
        EXPECT_EQ(readFromFile(stream, &collected), c.lastRead);
        EXPECT_EQ(progress.marks(), c.marks);
        fclose(stream);
        EXPECT_EQ(text(collected), "x" + content);
    }
}

}  // namespace
