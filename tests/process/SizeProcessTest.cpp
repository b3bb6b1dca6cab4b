// Inputs of the sizes a launcher must cope with: a launcher file with 100,000
// index entries, a 50 MB input file and an instruction program of 100,000
// lines. These check only that each one works; bench/size_bench.sh times
// them against inputs a tenth of the size.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/LauncherProcessTest.h"

namespace {

using testsupport::LauncherResult;
using testsupport::writeFile;

const int kHugeCount = 100000;

// The launch script prints the description of the JVM file it is run with
// and ends with 7, so a test sees which file was launched and that it was.
const char* const kLaunchScript = "DISPLAY_CONSOLE: 1\nCOMMAND: echo @DESC@; exit 7\n";
const char* const kLaunchedOutput = "the launched JVM file\n";
const int kLaunchedStatus = 7;

class SizeProcessTest : public testsupport::LauncherProcessTest {
  protected:
    SizeProcessTest() {
        writeFile(work_.file("launch.tag"), kLaunchScript);
        writeFile(work_.file("a.jvm"), jvmFile());
    }

    static std::string jvmFile() { return "DESC: the launched JVM file\nJVM_EXE: bin/java\n"; }

    static std::string block(const std::string& name, const std::vector<std::string>& values) {
        std::string text = name + ":\n";
        for (const std::string& value : values) {
            text += "  " + value + "\n";
        }
        return text + "/:\n";
    }

    // Runs the input file as the action of the built launcher.
    LauncherResult runInput(const std::string& inputFile) {
        return run(testsupport::cvlaunchPath(), {"-cv:silent", "-cv:in", inputFile});
    }
};

TEST_F(SizeProcessTest, LauncherFileWithHundredThousandEntriesLaunchesItsLastOne) {
    // Tiny class path archives first; the JVM file that is launched last.
    writeFile(work_.file("x"), "x");
    writeFile(work_.file("program.tag"),
              block("INSTRUCTIONS", {"ILAUNCH " + std::to_string(kHugeCount - 1) + " 0"}));
    testsupport::LauncherFileBuilder launcher = launcherFile().withoutVerifyArchive();
    for (int id = 0; id < kHugeCount - 3; ++id) {
        launcher.add(FILE_CLASSPATH_ARCHIVE, "x").name("a" + std::to_string(id));
    }
    launcher
        .add({{FILE_INSTRUCTIONS, "program.tag"},
              {FILE_LAUNCH_SCRIPT, "launch.tag"},
              {FILE_JVM, "a.jvm"}})
        .write("launcher");

    LauncherResult result = run(work_.file("launcher"), {"-cv:silent"});
    EXPECT_EQ(result.status, kLaunchedStatus) << result.out << result.err;
    EXPECT_EQ(result.out, kLaunchedOutput);
}

TEST_F(SizeProcessTest, FiftyMegabyteInputFileIsReadToItsEnd) {
    // Half of it in many short values, half in one long value; the keys
    // that make the run come after both.
    std::vector<std::string> values;
    for (int i = 0; i < 500000; ++i) {
        values.push_back("value number " + std::to_string(i) + " of a long block of tags");
    }
    std::string input = block("PADDING", values);
    input += "LONG: " + std::string(50 * 1024 * 1024 - input.size(), 'v') + "\n";
    writeFile(work_.file("program.tag"),
              block("INSTRUCTIONS", {"LAUNCH \"" + work_.file("a.jvm") + "\" 0"}));
    input += "ACTION: RUN_INSTRUCTIONS\nINSTRUCTIONS: " + work_.file("program.tag") +
             "\nLAUNCHSCRIPT: " + work_.file("launch.tag") + "\n";
    ASSERT_GT(input.size(), 50u * 1024 * 1024);
    writeFile(work_.file("input.tag"), input);

    LauncherResult result = runInput(work_.file("input.tag"));
    EXPECT_EQ(result.status, kLaunchedStatus) << result.out << result.err;
    EXPECT_EQ(result.out, kLaunchedOutput);
}

TEST_F(SizeProcessTest, HundredThousandLineProgramRuns) {
    // The path of the JVM file is set at the far end of the program and then
    // handed from S1 to S2 and back by every line on the way to the launch.
    std::vector<std::string> program = {"GOTO far", ":back"};
    for (int i = 0; i < kHugeCount / 2; ++i) {
        program.insert(program.end(), {"SET S2 = @S1@", "SET S1 = @S2@"});
    }
    program.insert(program.end(), {"LAUNCH \"@S1@\" 0", "GOTO end", ":far",
                                   "SET S1 = " + work_.file("a.jvm"), "GOTO back", ":end"});
    writeFile(work_.file("program.tag"), block("INSTRUCTIONS", program));
    writeFile(work_.file("input.tag"),
              "ACTION: RUN_INSTRUCTIONS\nINSTRUCTIONS: " + work_.file("program.tag") +
                  "\nLAUNCHSCRIPT: " + work_.file("launch.tag") + "\n");

    LauncherResult result = runInput(work_.file("input.tag"));
    EXPECT_EQ(result.status, kLaunchedStatus) << result.out << result.err;
    EXPECT_EQ(result.out, kLaunchedOutput);
}

}  // namespace
