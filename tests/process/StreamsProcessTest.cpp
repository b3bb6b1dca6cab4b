// The display goes to standard error; standard output carries only the Java
// program's output and the result lines. A stream that cannot be written
// (/dev/full fails every write) silences the display and the run goes on;
// only result lines that cannot be written fail it.
#include <gtest/gtest.h>

#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "support/FakeJavaHome.h"
#include "support/LauncherProcessTest.h"

namespace {

class StreamsProcessTest : public testsupport::LauncherProcessTest {
  protected:
    std::vector<std::string> app() const {
        return {packDirectLaunch(app_.home(), "x", "DESC: My App\nDISPLAY_CONSOLE: 1\n")};
    }

    // A SEARCH for a JVM of `vendor` over `home`, by default one whose Java
    // reports Fake.
    std::vector<std::string> search(const std::string& vendor, std::string home = "") const {
        testsupport::writeFile(
            work_.file(vendor + ".jvm"),
            "JVM_EXE: bin/java\nPATH_HINT: " + (home.empty() ? jdk_.home() : home) +
                "\nJVM_PROPERTIES: java.vendor=" + vendor + "\n");
        testsupport::writeFile(
            work_.file(vendor + ".tag"),
            "ACTION: SEARCH\nUI_TITLE: My App\nLOGFILE: " + log() + "\nJVM: " + vendor + ".jvm");
        return launcherCommand(testsupport::cvlaunchPath(), {"-cv:in", vendor + ".tag"}, options());
    }

    // Its echo reports no failed write, so standard error holds the display alone.
    testsupport::FakeJavaHome app_{work_.file("home"), "echo hello 2>&-\nexit 3\n", "java"};
    testsupport::FakeJavaHome jdk_ = testsupport::writeVerifyingJava(work_.file("jdk"), "Fake\\n");
};

TEST_F(StreamsProcessTest, OnlyTheProgramsOutputAndTheResultsGoToStandardOutput) {
    const std::string cvlaunch = testsupport::cvlaunchPath();
    const std::string lost =
        "Unable to write a result line to standard output: No space left on device\n";
    const struct {
        std::vector<std::string> argv;
        const char* redirect;
        int status;
        std::string out;
        std::string err;
    } rows[] = {
        {app(), "", 3, "hello\n", "My App\n"},
        {search("Other"), "", 0, "0\n", "My App\n"},
        // The run ends with no empty line after a row that holds no mark.
        {{cvlaunch, "-cv:version", "-cv:orig"},
         "",
         255,
         "",
         std::string("Missing original launcher file name.\n") + PROJECT_VERSION + "\n"},
        {app(), ">/dev/full", 3, "", "My App\n"},
        {app(), "2>/dev/full", 3, "hello\n", ""},
        // The match file named in the lost lines is removed with the rest.
        {search("Fake"), ">/dev/full", 255, "", "My App\n" + lost},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.redirect + row.argv[0]);
        auto result = testsupport::runInShell(std::string("exec \"$@\" ") + row.redirect, row.argv,
                                              options());
        EXPECT_EQ(result.status, row.status);
        EXPECT_EQ(result.out, row.out);
        EXPECT_EQ(result.err, row.err);
    }
    EXPECT_NE(testsupport::readFile(log()).find("ERROR: " + lost), std::string::npos);
}

// `launcher 2>&1 | head -c 1`: the Java that the launcher verifies and then
// launches first writes much to the launcher's standard output (through
// /proc), which blocks until the reader has gone; the launcher's next display
// write meets the closed pipe. The display is silenced, the launch goes on,
// and the Java, with SIGPIPE at its default, is ended by it each time.
TEST_F(StreamsProcessTest, AReaderThatGoesAwayEndsNeitherLauncherNorLaunch) {
    testsupport::FakeJavaHome blocked(work_.file("blocked"),
                                      "head -c 300000 /dev/zero > /proc/$PPID/fd/1\necho $? >> " +
                                          testsupport::shellQuote(work_.file("piped")) +
                                          "\nprintf '1739021872\\nBlocked\\n'\nexit 3\n");
    search("Blocked", blocked.home());
    testsupport::writeFile(work_.file("find.tag"),
                           "INSTRUCTIONS:\n  FIND_JVM 1 1\n  LAUNCH \"@S2@\" 0\n/:\n");
    testsupport::writeFile(work_.file("run.tag"), "COMMAND: @JVM_HOME@/@JVM_EXE@\n");
    std::string launcher = launcherFile({{FILE_INSTRUCTIONS, "find.tag"},
                                         {FILE_LAUNCH_SCRIPT, "run.tag"},
                                         {FILE_JVM, "Blocked.jvm"}})
                               .write("blocked-launcher");
    testsupport::runInShell("{ \"$@\" 2>&1; echo $? > status; } | head -c 1 >/dev/null", {launcher},
                            options());
    EXPECT_EQ(testsupport::readFile(work_.file("status")), "3\n");
    EXPECT_EQ(testsupport::readFile(work_.file("piped")), "141\n141\n");
}

// 50 MB on each captured stream: the log keeps the first and the last 4 MiB
// of each, with a line between.
TEST_F(StreamsProcessTest, CapturedOutputKeepsItsEndsInTheLog) {
    const std::string program = "yes 0123456789 | head -c 50000000";
    testsupport::FakeJavaHome writer(work_.file("writer"),
                                     program + "\n" + program + " >&2\nexit 4\n", "java");
    testsupport::LauncherOptions options;
    options.logFile = log();
    auto result = run(packDirectLaunch(writer.home(), "x"), {"-cv:silent"}, options);
    EXPECT_EQ(result.status, 4);
    // 50000000 bytes less 8 MiB between the ends of each stream, at lines cut short
    EXPECT_EQ(
        testsupport::countOf(result.log, "\n0123\n[41611392 bytes of output not kept]\n23456789\n"),
        2u);
    EXPECT_EQ(testsupport::countOf(result.log, "\n012345\n"), 2u);
    EXPECT_LT(result.log.size(), (16u << 20) + 4096);
}

// A probe leaves nothing running and keeps a bounded part of its output: a
// Java that leaves a process behind, and one that prints without end until
// its time limit. Neither is verified; the search ends with "0".
TEST_F(StreamsProcessTest, AProbeLeavesNothingAndKeepsLittle) {
    const std::string pidFile = work_.file("left.pid");
    testsupport::FakeJavaHome leaving(work_.file("leaving"),
                                      "sh -c 'echo $$ > " + pidFile + "; exec sleep 5' &\n" +
                                          "while [ ! -s " + pidFile + " ]; do sleep 0.01; done\n");
    testsupport::FakeJavaHome endless(work_.file("endless"), "exec yes\n");
    testsupport::LauncherOptions options = this->options();
    options.env["CVLAUNCH_VERIFY_TIME_LIMIT_MS"] = "1000";
    for (const auto& home : {leaving.home(), endless.home()}) {
        testsupport::writeFile(log(), "");
        auto result = testsupport::runProcess(search("Fake", home), options);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.out, "0\n");
    }
    int left = std::stoi(testsupport::readFile(pidFile));
    EXPECT_TRUE(kill(left, 0) != 0 && errno == ESRCH) << "process " << left << " still runs";
    std::string log = testsupport::readFile(this->log());
    EXPECT_NE(log.find(endless.home() + " did not end within 1 seconds"), std::string::npos);
    EXPECT_LT(log.size(), (1u << 20) + 4096);
}

}  // namespace
