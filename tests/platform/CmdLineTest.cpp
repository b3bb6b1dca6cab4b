// Splitting command strings into program arguments.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/CmdLine.h"

namespace {

std::vector<std::string> split(const char* line) {
    CmdLine cmdLine;
    EXPECT_TRUE(cmdLine.parse(line));
    std::vector<std::string> arguments;
    for (int i = 0; i < cmdLine.getOptionCount(); ++i) {
        arguments.push_back(cmdLine.getOption(i));
    }
    return arguments;
}

struct SplitCase {
    const char* line;
    std::vector<std::string> arguments;
};

void expectSplits(const std::vector<SplitCase>& cases) {
    for (const SplitCase& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(split(c.line), c.arguments);
    }
}

TEST(CmdLineTest, WhiteSpaceSeparatesArguments) {
    expectSplits({
        {"", {}},
        {" \t\r\n", {}},
        {"java", {"java"}},
        {"  java  -cp\tx\r\nMain \t", {"java", "-cp", "x", "Main"}},
    });
}

TEST(CmdLineTest, QuotedArgumentKeepsWhiteSpace) {
    expectSplits({
        {"java -cp \"a b\" Main", {"java", "-cp", "a b", "Main"}},
        {"\"/opt/my jdk/bin/java\" -version", {"/opt/my jdk/bin/java", "-version"}},
        {"p \"tab\there\"", {"p", "tab\there"}},
    });
}

TEST(CmdLineTest, QuotedStretchInsideWordJoinsTheWord) {
    expectSplits({
        {"p x\"y z\"w", {"p", "xy zw"}},
        {"p -Dname=\"a b\"", {"p", "-Dname=a b"}},
        {"p a\"\"b", {"p", "ab"}},
        // A stretch that runs to the end of the line ends the word too.
        {"p a\"b c", {"p", "ab c"}},
    });
}

TEST(CmdLineTest, QuotedArgumentEndsAtItsClosingQuote) {
    expectSplits({
        {"p \"ab\"cd", {"p", "ab", "cd"}},
        {"p \"ab\"\"cd\"", {"p", "ab", "cd"}},
    });
}

TEST(CmdLineTest, BackslashEscapesOutsideFirstArgument) {
    expectSplits({
        {"p \\\"quoted\\\"", {"p", "\"quoted\""}},
        {"p a\\bc", {"p", "a\\bc"}},
        {"p a\\\\b", {"p", "a\\\\b"}},
        {"p a\\ b c", {"p", "a\\ b", "c"}},
        // An escaped quote neither opens nor closes quoting.
        {"p \"say \\\"hi\\\" now\" x", {"p", "say \"hi\" now", "x"}},
        {"p x\\\"y z", {"p", "x\"y", "z"}},
    });
}

TEST(CmdLineTest, BackslashIsOrdinaryInFirstArgument) {
    expectSplits({
        {"C:\\jdk\\bin\\java -version", {"C:\\jdk\\bin\\java", "-version"}},
        {"a\\ b", {"a\\", "b"}},
        {"\"C:\\my jdk\\java\" x", {"C:\\my jdk\\java", "x"}},
    });
}

TEST(CmdLineTest, UnfinishedInputIsNotAnError) {
    expectSplits({
        {"p \"unterminated quote runs on", {"p", "unterminated quote runs on"}},
        {"p trailing\\", {"p", "trailing"}},
        {"p \\", {"p"}},
        {"p \"", {"p"}},
    });
}

TEST(CmdLineTest, EmptyQuotedArgumentIsDroppedAndNextIsStillFirst) {
    expectSplits({
        {"p \"\" q", {"p", "q"}},
        {"\"\" a\\b c\\\"d", {"a\\b", "c\"d"}},
        {"\"\" \"\"", {}},
    });
}

TEST(CmdLineTest, ParseReplacesEarlierArguments) {
    CmdLine cmdLine;
    cmdLine.parse("a b c");
    cmdLine.parse("d");
    ASSERT_EQ(cmdLine.getOptionCount(), 1);
    EXPECT_STREQ(cmdLine.getOption(0), "d");
}

TEST(CmdLineTest, OptionOutsideRangeIsNull) {
    CmdLine cmdLine;
    EXPECT_EQ(cmdLine.getOption(0), nullptr);
    cmdLine.parse("a b");
    EXPECT_EQ(cmdLine.getOption(-1), nullptr);
    EXPECT_EQ(cmdLine.getOption(2), nullptr);
    EXPECT_STREQ(cmdLine.getOption(1), "b");
}

TEST(CmdLineTest, NextArgReportsWhereTheArgumentEnded) {
    struct Case {
        const char* line;
        unsigned int start;
        bool first;
        const char* argument;
        unsigned int next;
    };
    const Case cases[] = {
        {"ab cd", 0, true, "ab", 2},          {"ab cd", 2, false, "cd", SString::npos},
        {"  \"a b\"  c", 0, false, "a b", 7}, {"\"a b\"", 0, false, "a b", SString::npos},
        {"x\"y\"z w", 0, false, "xyz", 5},    {"", 0, true, "", SString::npos},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        CmdLine cmdLine;
        SString argument("left over");
        unsigned int next = 12345;
        EXPECT_TRUE(cmdLine.getNextArg(c.line, c.start, c.first, argument, next));
        EXPECT_STREQ(argument.c_str(), c.argument);
        EXPECT_EQ(next, c.next);
    }
}

}  // namespace
