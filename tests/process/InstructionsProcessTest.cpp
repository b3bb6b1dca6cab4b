// Runs instruction programs through the built launcher with "-cv:in" and
// "ACTION: RUN_INSTRUCTIONS", and checks what a user sees: the exit status,
// the message on standard output and the log.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace {

using testsupport::ProcessResult;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

class InstructionsProcessTest : public ::testing::Test {
  protected:
    // Writes the program as the block of "INSTRUCTIONS" and the input file
    // that runs it; returns the launcher's arguments.
    std::vector<std::string> prepare(const std::vector<std::string>& program) {
        std::string text = "INSTRUCTIONS:\n";
        for (const std::string& line : program) {
            text += "  " + line + "\n";
        }
        writeFile(work_.file("program.tag"), text + "/:\n");
        writeFile(work_.file("input.tag"),
                  "ACTION: RUN_INSTRUCTIONS\nINSTRUCTIONS: " + work_.file("program.tag") +
                      "\nLOGFILE: " + work_.file("run.log") + "\n");
        return {testsupport::cvlaunchPath(), "-cv:tempdir", temp_.path(), "-cv:in",
                work_.file("input.tag")};
    }

    ProcessResult run(const std::vector<std::string>& program) {
        testsupport::ProcessOptions options;
        options.workingDir = work_.path();
        options.env.emplace("LANG", testsupport::kUnset);
        return testsupport::runProcess(prepare(program), options);
    }

    std::string log() const {
        return testsupport::fileExists(work_.file("run.log")) ? readFile(work_.file("run.log"))
                                                              : "";
    }

    void TearDown() override { EXPECT_TRUE(temp_.isEmpty()) << "temporary files left behind"; }

    TempDir work_;
    TempDir temp_;
};

TEST_F(InstructionsProcessTest, ProgramWithoutLaunchEndsWithZero) {
    ProcessResult result = run({"SET N1 = 0", "JMP0 @N1@ end", "INSTALL_JVM 9", ":end", "// done"});
    EXPECT_EQ(result.status, 0) << result.out;
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(log().find("ERROR"), std::string::npos) << log();
}

TEST_F(InstructionsProcessTest, JumpsAndVariablesCarryThroughTheRun) {
    // The failing last instruction shows S1, which records the path taken.
    ProcessResult result = run({
        "SET N1 = 0",               // 1
        "SET S1 = start",           // 2
        ":loop",                    // 3
        "JMP0 @N1@ first",          // 4
        "SET S1 = @S1@-second",     // 5
        "GOTO report",              // 6
        ":first",                   // 7
        "SET S1 = \"@S1@-first\"",  // 8
        "SET N1 = 1",               // 9
        "GOTO loop",                // 10
        ":report",                  // 11
        "ILAUNCH @S1@ 0",           // 12
    });
    const std::string message =
        "Error in instructions. Invalid numeric expression (start-first-second) Line number (12)";
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.out, message + "\n");
    EXPECT_NE(log().find("ERROR: " + message + "\n"), std::string::npos) << log();
}

TEST_F(InstructionsProcessTest, UnknownCommandIsReportedWithItsNumber) {
    ProcessResult result = run({"// first", ":label", "FOO", "SET N1 = 1"});
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.out, "Error in instructions. Invalid command (FOO).  Line number (3)\n");
}

TEST_F(InstructionsProcessTest, VariableReferenceErrorHasNoInstructionNumber) {
    ProcessResult result = run({"SET X1 = 1"});
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.out,
              "Invalid variable specified on left hand side of SET statement. Invalid variable "
              "reference (X1). Must use N or S as the variable type, e.g. N2 or S1.\n");
}

TEST_F(InstructionsProcessTest, SelfReferencingVariableFailsInsteadOfHanging) {
    ProcessResult result = run({"SET S1 = @@S1@@@@", "SET S2 = @S1@"});
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.out,
              "Error in instructions. Variable references in (@S1@) do not resolve. Line number "
              "(2)\n");
}

TEST_F(InstructionsProcessTest, SyntaxErrorInProgramFileIsReported) {
    std::vector<std::string> args = prepare({"SET N1 = 1"});
    writeFile(work_.file("program.tag"), "INSTRUCTIONS:\n  SET N1 = 1\n");
    testsupport::ProcessOptions options;
    options.workingDir = work_.path();
    options.env.emplace("LANG", testsupport::kUnset);
    ProcessResult result = testsupport::runProcess(args, options);
    EXPECT_EQ(result.status, 255);
    EXPECT_NE(result.out.find("Syntax error in " + work_.file("program.tag") +
                              " at line 1 ==> Missing /: tag completer."),
              std::string::npos)
        << result.out;
}

TEST_F(InstructionsProcessTest, ResultIsThatOfTheLastLaunch) {
    TempDir home;
    writeFile(home.file("java"), "#!/bin/sh\nexit 3\n", 0755);
    writeFile(work_.file("a.jvm"), "JVM_HOME: " + home.path() + "\nJVM_EXE: java\n");
    writeFile(work_.file("launch.tag"), "COMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\"\"\n");
    writeFile(work_.file("program.tag"),
              "INSTRUCTIONS:\n  ILAUNCH 0 0\n  GOTO end\n  FOO\n:end\n  SET S1 = after\n/:\n");
    ProcessResult packed = testsupport::runProcess(
        {testsupport::cvpackPath(), "--no-verify-archive", "--jvm", work_.file("a.jvm"),
         "--instructions", work_.file("program.tag"), "--launch-script", work_.file("launch.tag"),
         "-o", work_.file("app")});
    ASSERT_EQ(packed.status, 0) << packed.out << packed.err;

    ProcessResult result =
        testsupport::runProcess({work_.file("app"), "-cv:silent", "-cv:tempdir", temp_.path()});
    EXPECT_EQ(result.status, 3) << result.out;
}

TEST_F(InstructionsProcessTest, SignalEndsAnEndlessProgram) {
    std::vector<std::string> args = prepare({"// spin", ":again", "GOTO again"});
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(&arg[0]);
    }
    argv.push_back(nullptr);
    const std::string output = work_.file("out.txt");
    pid_t pid = fork();
    ASSERT_NE(pid, -1);
    if (pid == 0) {
        if (freopen(output.c_str(), "w", stdout) == nullptr) {
            _exit(126);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    // Long enough for the launcher to be inside the loop.
    usleep(300000);
    kill(pid, SIGTERM);
    int status = 0;
    pid_t ended = 0;
    for (int i = 0; i < 1000 && ended == 0; ++i) {
        usleep(10000);
        ended = waitpid(pid, &status, WNOHANG);
    }
    if (ended == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        FAIL() << "the program kept running after SIGTERM";
    }
    // An ordinary exit with 128 + 15: the launcher noticed the signal and
    // ended through its own cleanup, not by the signal's default action.
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 128 + SIGTERM);
    EXPECT_EQ(readFile(output), "Interrupted by signal 15.\n");
}

}  // namespace
