// Runs instruction programs through the built launcher with "-cv:in" and
// "ACTION: RUN_INSTRUCTIONS", and checks what a user sees: the exit status,
// the message on standard output and the log.
#include <gtest/gtest.h>

#include <signal.h>

#include <string>
#include <vector>

#include "support/FakeJavaHome.h"
#include "support/LauncherProcessTest.h"

namespace {

using testsupport::LauncherResult;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

class InstructionsProcessTest : public testsupport::LauncherProcessTest {
  protected:
    // Writes the program as the block of "INSTRUCTIONS" and the input file
    // that runs it.
    void prepare(const std::vector<std::string>& program) {
        std::string text = "INSTRUCTIONS:\n";
        for (const std::string& line : program) {
            text += "  " + line + "\n";
        }
        writeFile(work_.file("program.tag"), text + "/:\n");
        writeFile(work_.file("input.tag"),
                  "ACTION: RUN_INSTRUCTIONS\nINSTRUCTIONS: " + work_.file("program.tag") +
                      "\nLOGFILE: " + log() + "\n");
    }

    LauncherResult run(const std::vector<std::string>& program) {
        prepare(program);
        return runInput();
    }

    // Runs the input file that prepare wrote.
    LauncherResult runInput() {
        testsupport::LauncherOptions options;
        options.logFile = log();
        options.logOption = false;
        return LauncherProcessTest::run(testsupport::cvlaunchPath(),
                                        {"-cv:in", work_.file("input.tag")}, options);
    }
};

TEST_F(InstructionsProcessTest, ProgramWithoutLaunchEndsWithZero) {
    LauncherResult result =
        run({"SET N1 = 0", "JMP0 @N1@ end", "INSTALL_JVM 9", ":end", "// done"});
    EXPECT_EQ(result.status, 0) << result.out;
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.log.find("ERROR"), std::string::npos) << result.log;
}

TEST_F(InstructionsProcessTest, JumpsAndVariablesCarryThroughTheRun) {
    // The failing last instruction shows S1, which records the path taken.
    LauncherResult result = run({
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
    EXPECT_EQ(result.err, message + "\n");
    EXPECT_NE(result.log.find("ERROR: " + message + "\n"), std::string::npos) << result.log;
}

TEST_F(InstructionsProcessTest, UnknownCommandIsReportedWithItsNumber) {
    LauncherResult result = run({"// first", ":label", "FOO", "SET N1 = 1"});
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.err, "Error in instructions. Invalid command (FOO).  Line number (3)\n");
}

TEST_F(InstructionsProcessTest, VariableReferenceErrorHasNoInstructionNumber) {
    LauncherResult result = run({"SET X1 = 1"});
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.err,
              "Invalid variable specified on left hand side of SET statement. Invalid variable "
              "reference (X1). Must use N or S as the variable type, e.g. N2 or S1.\n");
}

TEST_F(InstructionsProcessTest, SelfReferencingVariableFailsInsteadOfHanging) {
    LauncherResult result = run({"SET S1 = @@S1@@@@", "SET S2 = @S1@"});
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.err,
              "Error in instructions. Variable references in (@S1@) do not resolve. Line number "
              "(2)\n");
}

TEST_F(InstructionsProcessTest, SyntaxErrorInProgramFileIsReported) {
    prepare({"SET N1 = 1"});
    writeFile(work_.file("program.tag"), "INSTRUCTIONS:\n  SET N1 = 1\n");
    LauncherResult result = runInput();
    EXPECT_EQ(result.status, 255);
    EXPECT_NE(result.err.find("Syntax error in " + work_.file("program.tag") +
                              " at line 1 ==> Missing /: tag completer."),
              std::string::npos)
        << result.err;
}

TEST_F(InstructionsProcessTest, ResultIsThatOfTheLastLaunch) {
    TempDir home;
    testsupport::FakeJavaHome java(home.path(), "exit 3\n", "java");
    writeFile(work_.file("a.jvm"), "JVM_HOME: " + home.path() + "\nJVM_EXE: java\n");
    writeFile(work_.file("launch.tag"), "COMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\"\"\n");
    writeFile(work_.file("program.tag"),
              "INSTRUCTIONS:\n  ILAUNCH 0 0\n  GOTO end\n  FOO\n:end\n  SET S1 = after\n/:\n");
    std::string app = launcherFile({{FILE_JVM, "a.jvm"},
                                    {FILE_INSTRUCTIONS, "program.tag"},
                                    {FILE_LAUNCH_SCRIPT, "launch.tag"}})
                          .withoutVerifyArchive()
                          .write("app");

    LauncherResult result = LauncherProcessTest::run(app, {"-cv:silent"});
    EXPECT_EQ(result.status, 3) << result.out;
}

TEST_F(InstructionsProcessTest, SignalEndsAnEndlessProgram) {
    prepare({"// spin", ":again", "GOTO again"});
    // The launcher logs the loading of its input file once its signal
    // handlers are in place.
    testsupport::LauncherOptions early = options();
    early.logFile = work_.file("early.log");
    testsupport::BackgroundProcess process(
        testsupport::launcherCommand(testsupport::cvlaunchPath(),
                                     {"-cv:in", work_.file("input.tag")}, early),
        early);
    ASSERT_TRUE(testsupport::waitForFile(early.logFile));
    process.signal(SIGTERM);
    testsupport::ProcessResult result = process.wait();
    // An ordinary exit with 128 + 15: the launcher noticed the signal and
    // ended through its own cleanup, not by the signal's default action.
    EXPECT_FALSE(result.killed);
    EXPECT_EQ(result.status, 128 + SIGTERM);
    EXPECT_EQ(result.err, "Interrupted by signal 15.\n");
}

}  // namespace
