#include "instructions/Instructions.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "instructions/InstructionsException.h"
#include "launcher/Launcher.h"
#include "launcher/LauncherException.h"
#include "support/LauncherStateGuard.h"
#include "support/TestSupport.h"
#include "tagfile/TagFile.h"

namespace {

using testsupport::str;

// How a piece of interpreter work ended.
struct Outcome {
    std::string error;      // empty when it succeeded
    long line = 0;          // instruction number of an InstructionsException
    bool numbered = false;  // whether the error was an InstructionsException
    int result = 0;         // of execute
};

Outcome capture(const std::function<int()>& work) {
    Outcome outcome;
    try {
        outcome.result = work();
    } catch (const InstructionsException& e) {
        outcome.error = str(e.message);
        outcome.line = e.line;
        outcome.numbered = true;
    } catch (const LauncherException& e) {
        outcome.error = str(e.message);
    }
    return outcome;
}

Outcome runProgram(const std::vector<std::string>& lines) {
    TagFile tagFile;
    for (const std::string& line : lines) {
        tagFile.appendTagValue(Instructions::g_instructionsTag, SString(line.data(), line.size()));
    }
    Instructions instructions(tagFile);
    return capture([&] { return instructions.execute(); });
}

class InstructionsTest : public ::testing::Test {
  protected:
    void TearDown() override { state.checkTempDir(); }

    // The variable banks start empty and are put back afterwards.
    testsupport::LauncherStateGuard state;

    // Expands expression as the instruction with index 4 would.
    Outcome expand(const char* expression, std::string* expanded) {
        instructions.currentIndex = 4;
        return capture([&] {
            SString text(expression);
            instructions.evalExpr(text, "CTX");
            *expanded = str(text);
            return 0;
        });
    }

    TagFile tagFile;
    Instructions instructions{tagFile};
};

const char* const kFindFirst =
    "The first argument to FIND_JVM should be a 1 if the UI should be displayed or a 0 if the UI "
    "should be suppressed.";
const char* const kFindSecond =
    "The second argument to FIND_JVM should be a 1 if a find failure message should be displayed "
    "in a UI or 0 if no message should be displayed.";
const char* const kVerifyFirst =
    "The first argument to VERIFY should be a 1 if the UI should be displayed or a 0 if the UI "
    "should be suppressed.";
const char* const kVerifySecond =
    "The second argument to VERIFY should be a 1 if a find failure message should be displayed "
    "in a UI or 0 if no message should be displayed.";
const char* const kInstall = "The first argument to INSTALL_JVM should be a 0, 1, 2 or 3.";
const char* const kUnresolved = "Variable references in (@S1@) do not resolve.";
#define EXIT_INVALID(status) \
    "Invalid exit status (" status ") in EXIT. The exit status must be a number from 0 to 255."

}  // namespace

TEST_F(InstructionsTest, ExpandsReferences) {
    Launcher::setLongVariable(1, 5);
    Launcher::setStringVariable(1, "x");
    Launcher::setStringVariable(2, "<@S1@@N1@>");
    const struct {
        const char* expression;
        const char* expanded;
    } cases[] = {
        {"@N1@", "5"},    {"step@n1@", "step5"}, {"a@@b", "a@b"},
        {"@@", "@"},      {"@S1@@N1@", "x5"},    {"plain text", "plain text"},
        {"@S2@", "<x5>"}, {"@@@@", "@@"},        {"@N 1@", "5"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expression);
        std::string expanded;
        Outcome outcome = expand(c.expression, &expanded);
        EXPECT_EQ(outcome.error, "");
        EXPECT_EQ(expanded, c.expanded);
    }
}

TEST_F(InstructionsTest, ExpansionErrors) {
    Launcher::setStringVariable(1, "x");
    Launcher::setStringVariable(3, "");
    Launcher::setStringVariable(4, "@N1@");
    const struct {
        const char* expression;
        const char* error;
        bool numbered;
    } cases[] = {
        {"", "CTX Empty expression.", true},
        {"@N1", "CTX Invalid variable specification.", true},
        {"@S1@@@", "CTX Invalid variable specification.", true},
        {"@S3@@N1@", "CTX Invalid variable specification.", true},
        // The scan goes on inside the value, past its opening "@".
        {"@S4@", "CTX Invalid variable specification.", true},
        {"@X1@",
         "CTX Invalid variable reference (X1). Must use N or S as the variable type, e.g. N2 or "
         "S1.",
         false},
        {"@N6@", "CTX Variable number is invalid (6)", false},
        {"@N@", "CTX Variable references must be at least 2 characters (e.g. N1 and S10).", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expression);
        std::string expanded;
        Outcome outcome = expand(c.expression, &expanded);
        EXPECT_EQ(outcome.error, c.error);
        EXPECT_EQ(outcome.numbered, c.numbered);
        EXPECT_EQ(outcome.line, c.numbered ? 5 : 0);
    }
}

TEST_F(InstructionsTest, SelfReferenceFailsInsteadOfLooping) {
    // The same text after every pass; one more character per replacement
    // within one pass; two more.
    for (const char* value : {"@S1@@", "a@S1@", "@@S1@@"}) {
        SCOPED_TRACE(value);
        Launcher::setStringVariable(1, value);
        std::string expanded;
        Outcome outcome = expand("@S1@", &expanded);
        EXPECT_EQ(outcome.error, kUnresolved);
        EXPECT_EQ(outcome.line, 5);
    }
}

TEST_F(InstructionsTest, DeepButFiniteNestingExpands) {
    for (long n = 1; n < 10; ++n) {
        Launcher::setStringVariable(n, ("x@S" + std::to_string(n + 1) + "@").c_str());
    }
    Launcher::setStringVariable(10, "end");
    std::string expanded;
    EXPECT_EQ(expand("[@S1@]", &expanded).error, "");
    EXPECT_EQ(expanded, "[xxxxxxxxxend]");
}

TEST_F(InstructionsTest, NumericEvaluation) {
    Launcher::setLongVariable(2, 2);
    Launcher::setStringVariable(1, "q");
    instructions.currentIndex = 1;
    EXPECT_EQ(instructions.evalLongExpr("12abc", "C"), 12);
    EXPECT_EQ(instructions.evalLongExpr(" -@N2@0", "C"), -20);
    EXPECT_EQ(instructions.evalShortExpr("7", "C"), 7);
    EXPECT_FALSE(instructions.evalBoolExpr("0", "C"));
    EXPECT_TRUE(instructions.evalBoolExpr("1", "C"));
    const struct {
        std::function<void()> evaluate;
        const char* error;
    } cases[] = {
        {[&] { instructions.evalLongExpr("@S1@", "C"); }, "CInvalid numeric expression (q)"},
        {[&] { instructions.evalLongExpr("", "C"); }, "C Empty expression."},
        {[&] { instructions.evalShortExpr("@S1@", "C"); }, "C Invalid numeric expression (q)"},
        {[&] { instructions.evalBoolExpr("2", ""); }, " Invalid boolean value (2)"},
        {[&] { instructions.evalBoolExpr("@N2@", "C"); }, "C Invalid boolean value (@N2@)"},
        {[&] { instructions.evalBoolExpr("x", "C"); }, "CInvalid numeric expression (x)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        Outcome outcome = capture([&] {
            c.evaluate();
            return 0;
        });
        EXPECT_EQ(outcome.error, c.error);
        EXPECT_EQ(outcome.line, 2);
    }
}

TEST_F(InstructionsTest, StringEvaluationInPlace) {
    Launcher::setStringVariable(1, "x");
    const struct {
        const char* expression;
        const char* result;
    } cases[] = {
        {"", ""},
        {"hello world", "hello"},
        {"\"hello world\"", "hello world"},
        {"\"a\"\"b\"tail", "a\"b"},
        {"\" @S1@ \"", " x "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expression);
        SString text(c.expression);
        instructions.evalStringExpr(text, "CTX");
        EXPECT_EQ(str(text), c.result);
    }
    Outcome empty = capture([&] {
        SString text("\"\"");
        instructions.evalStringExpr(text, "CTX");
        return 0;
    });
    EXPECT_EQ(empty.error, "CTX Empty expression.");
    Outcome open = capture([&] {
        SString text("\"open");
        instructions.evalStringExpr(text, "CTX");
        return 0;
    });
    EXPECT_EQ(open.error, "Expected double quote to end argument near 1");
}

TEST_F(InstructionsTest, ArgumentScannerPositions) {
    const struct {
        const char* line;
        unsigned int start;
        const char* result;
        unsigned int position;
    } cases[] = {
        {"LAUNCH \"my app.jvm\" 5", 7, "my app.jvm", 19},
        {"LAUNCH  file.jvm 5", 7, "file.jvm", 17},
        {"LAUNCH x", 7, "x", 8},
        {"LAUNCH x\t5", 7, "x", 9},
        {"LAUNCH", 7, "", 6},
        {"LAUNCH   ", 7, "", 9},
        {"\"a\"\"b\" 5", 0, "a\"b", 6},
        {"\"a\"\"\" 5", 0, "a\"", 5},
        {"\"\"\"x\"", 0, "\"x", 5},
        {"\"a b\"c d", 0, "a b", 5},
        {"a\vb c", 0, "a\vb", 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        unsigned int position = c.start;
        SString result("stale");
        instructions.evalStringExpr(c.line, position, result, "CTX");
        EXPECT_EQ(str(result), c.result);
        EXPECT_EQ(position, c.position);
    }
}

TEST_F(InstructionsTest, ArgumentScannerNeedsClosingQuote) {
    for (const char* line : {"\"my app", "\"a\"\"", "\""}) {
        SCOPED_TRACE(line);
        unsigned int position = 0;
        SString result;
        Outcome outcome = capture([&] {
            instructions.evalStringExpr(line, position, result, "CTX");
            return 0;
        });
        EXPECT_EQ(outcome.error, std::string("Expected ending quote in ") + line + ":  CTX");
        EXPECT_FALSE(outcome.numbered);
    }
}

TEST_F(InstructionsTest, EmptyProgramReturnsZero) {
    EXPECT_EQ(instructions.execute(), 0);
    Outcome outcome = runProgram({"// only a comment", ":label", ":"});
    EXPECT_EQ(outcome.error, "");
    EXPECT_EQ(outcome.result, 0);
}

TEST_F(InstructionsTest, BadInstructionsFailWithTheirNumber) {
    const struct {
        const char* instruction;
        const char* error;
        bool numbered;
    } cases[] = {
        {"\v", "No command specified.", true},
        {"FOO", "Invalid command (FOO). ", true},
        {"//comment", "Invalid command (//comment). ", true},
        {"find_jvm 1 1", "Invalid command (find_jvm). ", true},
        {"FIND_JVM", kFindFirst, true},
        {"FIND_JVM 1", kFindSecond, true},
        {"FIND_JVM x", "Invalid numeric expression (x)", true},
        {"FIND_JVM 2", " Invalid boolean value (2)", true},
        {"FIND_JVM 1 @N9@", " Variable number is invalid (9)", false},
        {"VERIFY", kVerifyFirst, true},
        {"VERIFY 0", kVerifySecond, true},
        {"VERIFY 0 1",
         "The third argument to VERIFY should be the file index number of the jvm file.", true},
        {"VERIFY 0 1 x", "Invalid numeric expression (x)", true},
        {"ILAUNCH",
         "The first argument to ILAUNCH should be the file index number of the jvm file.", true},
        {"ILAUNCH 1",
         "The second argument to ILAUNCH should be the number of seconds to display the UI during "
         "the launch.",
         true},
        {"ILAUNCH x", "Invalid numeric expression (x)", true},
        {"ILAUNCH 1 x", " Invalid numeric expression (x)", true},
        {"LAUNCH",
         "The second argument to LAUNCH should be the number of seconds to display the UI during "
         "the launch.",
         true},
        {"LAUNCH \"my app.jvm\"",
         "The second argument to LAUNCH should be the number of seconds to display the UI during "
         "the launch.",
         true},
        {"LAUNCH f.jvm x", " Invalid numeric expression (x)", true},
        {"LAUNCH \"\" 5", "Invalid jvm file name specified in LAUNCH. Empty expression.", true},
        {"LAUNCH \"open 5",
         "Expected ending quote in \"open 5:  Invalid jvm file name specified in LAUNCH.", false},
        {"INSTALL_JVM", kInstall, true},
        {"INSTALL_JVM 4", kInstall, true},
        {"INSTALL_JVM -1", kInstall, true},
        {"INSTALL_JVM x", "Invalid numeric expression (x)", true},
        {"EXECUTE_LAUNCHER",
         "The first argument to EXECUTE_LAUNCHER should be the position of the embedded launcher "
         "in "
         "the file index.",
         true},
        {"EXECUTE_LAUNCHER x", "Invalid numeric expression (x)", true},
        {"EXIT",
         "The EXIT command requires the exit status, a number from 0 to 255, as its argument.",
         true},
        {"EXIT x", EXIT_INVALID("x"), true},
        {"EXIT 256", EXIT_INVALID("256"), true},
        {"EXIT -1", EXIT_INVALID("-1"), true},
        {"EXIT @S1@", EXIT_INVALID(""), true},
        {"EXIT @N9@", "Invalid exit status specified in EXIT. Variable number is invalid (9)",
         false},
        {"GOTO", "The GOTO command requires a label as its only argument.", true},
        {"GOTO nowhere", "Label not found (nowhere)", true},
        {"GOTO @S1@", "Label @S1@ resolved to a blank string. Labels cannot be blank.", true},
        {"GOTO @X@",
         "Invalid label specified. Variable references must be at least 2 characters "
         "(e.g. N1 and S10).",
         false},
        {"JMP0", "The second argument to JMP0 must be numeric. Empty expression.", true},
        {"JMP0 0", "JMP0 requires a jump label as its second argument.", true},
        {"JMP0 1", "JMP0 requires a jump label as its second argument.", true},
        {"JMP0 x end", "The second argument to JMP0 must be numeric.Invalid numeric expression (x)",
         true},
        {"JMP0 0 nowhere", "Label not found (nowhere)", true},
        {"SET N2 5", "SET statement is missing =.", true},
        {"SET", "SET statement is missing =.", true},
        {"SET X1 = 5",
         "Invalid variable specified on left hand side of SET statement. Invalid variable "
         "reference "
         "(X1). Must use N or S as the variable type, e.g. N2 or S1.",
         false},
        {"SET = 5",
         "Invalid variable specified on left hand side of SET statement. Variable references must "
         "be "
         "at least 2 characters (e.g. N1 and S10).",
         false},
        {"SET S1 = \"\"", "Invalid expression specified for SET command Empty expression.", true},
        {"SET S1 = @N1",
         "Invalid expression specified for SET command Invalid variable specification.", true},
        {"SET N1 = abc",
         "Invalid value specified for SET command Invalid numeric expression in abc", false},
        {"SET N1 =", "Invalid value specified for SET command Invalid numeric expression in ",
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.instruction);
        // The instruction is the fourth; the label ":a" is the second.
        Outcome outcome = runProgram({"// first", ":a", "JMP0 1 unused", c.instruction, ":end"});
        EXPECT_EQ(outcome.error, c.error);
        EXPECT_EQ(outcome.numbered, c.numbered);
        if (c.numbered) {
            EXPECT_EQ(outcome.line, 4);
        }
    }
}

// EXIT ends the program at once: the invalid command after it never runs.
TEST_F(InstructionsTest, ExitEndsTheProgramWithItsStatus) {
    Launcher::setLongVariable(2, 42);
    const struct {
        const char* instruction;
        int result;
    } cases[] = {
        {"EXIT 0", 0}, {"EXIT 3", 3}, {"EXIT 255", 255}, {"EXIT @N2@", 42}, {"EXIT 0@N2@", 42},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.instruction);
        Outcome outcome = runProgram({c.instruction, "FOO"});
        EXPECT_EQ(outcome.error, "");
        EXPECT_EQ(outcome.result, c.result);
    }
}

TEST_F(InstructionsTest, SetStoresEvaluatedValues) {
    Outcome outcome = runProgram({
        "SET S1 = hello world",
        "SET S2 = \"hello world\"",
        "SET S3 =",
        "SET N1 = 12abc",
        "SET s4=@S1@-@N1@",
        "SET S5 = a@@b",
        "SET S6 = \"  padded  \" ignored",
        "SET N2 = @N1@",
        "SET  N 3 =  -7",
        "SET S7 = \"say \"\"hi\"\"\"",
    });
    EXPECT_EQ(outcome.error, "");
    EXPECT_EQ(str(Launcher::getStringVariable(1)), "hello");
    EXPECT_EQ(str(Launcher::getStringVariable(2)), "hello world");
    EXPECT_EQ(str(Launcher::getStringVariable(3)), "");
    EXPECT_EQ(Launcher::getLongVariable(1), 12);
    EXPECT_EQ(str(Launcher::getStringVariable(4)), "hello-12");
    EXPECT_EQ(str(Launcher::getStringVariable(5)), "a@b");
    EXPECT_EQ(str(Launcher::getStringVariable(6)), "  padded  ");
    EXPECT_EQ(Launcher::getLongVariable(2), 12);
    EXPECT_EQ(Launcher::getLongVariable(3), -7);
    EXPECT_EQ(str(Launcher::getStringVariable(7)), "say \"hi\"");
}

TEST_F(InstructionsTest, ErrorKeepsVariablesAlreadySet) {
    Outcome outcome = runProgram({"SET N1 = 1", "SET S1 = done", "FOO", "SET N2 = 2"});
    EXPECT_EQ(outcome.line, 3);
    EXPECT_EQ(Launcher::getLongVariable(1), 1);
    EXPECT_EQ(str(Launcher::getStringVariable(1)), "done");
    EXPECT_EQ(Launcher::getLongVariable(2), 0);
}

TEST_F(InstructionsTest, FirstInstructionIsNeverAJumpTarget) {
    Outcome outcome = runProgram({":start", "GOTO start"});
    EXPECT_EQ(outcome.error, "Label not found (start)");
    EXPECT_EQ(outcome.line, 2);

    outcome = runProgram({"GOTO start", "SET N1 = 1", ":start", "SET N2 = 2"});
    EXPECT_EQ(outcome.error, "");
    EXPECT_EQ(Launcher::getLongVariable(1), 0);
    EXPECT_EQ(Launcher::getLongVariable(2), 2);
}

TEST_F(InstructionsTest, LabelLineMustMatchAsAWhole) {
    for (const char* label : {":end now", ":End", ": end", ":end:"}) {
        SCOPED_TRACE(label);
        Outcome outcome = runProgram({"// x", label, "GOTO end"});
        EXPECT_EQ(outcome.error, "Label not found (end)");
        EXPECT_EQ(outcome.line, 3);
    }
}

TEST_F(InstructionsTest, JumpsFollowValues) {
    Outcome outcome = runProgram({
        "SET S1 = b",
        "GOTO step@S1@",
        ":stepa",
        "SET N1 = 1",
        ":stepb",
        "JMP0 1 nowhere",
        "SET N2 = 2",
        "JMP0 @N3@ skip",
        "SET N3 = 3",
        ":skip",
        "SET N4 = 4",
    });
    EXPECT_EQ(outcome.error, "");
    EXPECT_EQ(Launcher::getLongVariable(1), 0);
    EXPECT_EQ(Launcher::getLongVariable(2), 2);
    EXPECT_EQ(Launcher::getLongVariable(3), 0);
    EXPECT_EQ(Launcher::getLongVariable(4), 4);
}

TEST_F(InstructionsTest, BackwardJumpRepeatsInstructions) {
    Outcome outcome = runProgram({
        "SET N1 = 1",
        ":top",
        "SET S1 = @S1@x",
        "JMP0 @N1@ done",
        "SET N1 = 0",
        "GOTO top",
        ":done",
        "SET S2 = @S1@",
    });
    EXPECT_EQ(outcome.error, "");
    EXPECT_EQ(str(Launcher::getStringVariable(2)), "xx");
}

TEST_F(InstructionsTest, ErrorAfterJumpReportsTargetLine) {
    Outcome outcome = runProgram({"GOTO bad", "SET N1 = 1", ":bad", "// fine", "FOO"});
    EXPECT_EQ(outcome.error, "Invalid command (FOO). ");
    EXPECT_EQ(outcome.line, 5);
    EXPECT_EQ(Launcher::getLongVariable(1), 0);
}

TEST_F(InstructionsTest, SelfReferenceInProgramReportsInstruction) {
    Outcome outcome = runProgram({"SET S1 = @@S1@@@@", "// x", "SET S2 = @S1@"});
    EXPECT_EQ(str(Launcher::getStringVariable(1)), "@S1@@");
    EXPECT_EQ(outcome.error, kUnresolved);
    EXPECT_EQ(outcome.line, 3);
}

TEST_F(InstructionsTest, LargeProgramRunsInLinearTime) {
    // 100,000 instructions, a jump over most of them and back.
    std::vector<std::string> lines = {"GOTO far"};
    for (int i = 0; i < 100000; ++i) {
        lines.push_back("SET N1 = @N2@" + std::to_string(i % 10));
    }
    lines.insert(lines.end(), {"GOTO done", ":far", "SET N2 = 1", "GOTO back", ":done"});
    lines.insert(lines.begin() + 50000, ":back");
    Outcome outcome = runProgram(lines);
    EXPECT_EQ(outcome.error, "");
    EXPECT_EQ(Launcher::getLongVariable(1), 19);
}
