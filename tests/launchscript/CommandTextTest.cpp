#include "launchscript/CommandText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/PlatformImpl.h"
#include "support/LauncherUnitTest.h"
#include "support/ScopedEnv.h"
#include "support/TestSupport.h"

namespace {

using Words = std::vector<std::string>;

std::string v(const std::string& value) {
    return CommandText::value(value.c_str()).c_str();
}

std::string split(const std::string& value) {
    return CommandText::splitValue(value.c_str()).c_str();
}

Words wordsOf(const StringDeque& deque, long from = 0) {
    Words words;
    for (long i = from; i < deque.count; ++i) {
        words.push_back(std::string(deque.at(i).c_str(), deque.at(i).length()));
    }
    return words;
}

class CommandTextTest : public testsupport::LauncherUnitTest {
  protected:
    CommandTextTest() : printer(dir.file("printer")) {
        testsupport::writeFile(
            printer, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\000' \"$a\"; done\n", 0755);
    }

    // The arguments that the printer got when the command ran.
    Words run(const CommandText& command) {
        SString out;
        EXPECT_EQ(0, PlatformImpl::runCaptured(command.arguments(), "", &out, nullptr));
        Words words;
        std::string text(out.c_str(), out.length());
        for (size_t start = 0, end; (end = text.find('\0', start)) != std::string::npos;
             start = end + 1) {
            words.push_back(text.substr(start, end - start));
        }
        return words;
    }

    std::string printer;
};

TEST_F(CommandTextTest, ValuesReachTheProgramWholeDirectlyAndThroughTheShell) {
    std::string marker = dir.file("INJECTED");
    struct {
        std::string text;
        Words words;
    } cases[] = {
        {v("a b") + " x" + v("$(touch " + marker + ")") + "y",
         {"a b", "x$(touch " + marker + ")y"}},
        {"\"" + v("it's") + "\" '" + v("\"q\" `touch " + marker + "`") + "'",
         {"it's", "\"q\" `touch " + marker + "`"}},
        {split(" -Xmx1g \t-Dx=*  ") + "end", {"-Xmx1g", "-Dx=*", "end"}},
        {"\"" + split("a  b") + "\" a" + split("") + "b " + v("") + " \"\"", {"a  b", "ab", ""}},
        {"-cp " + v("/t m/a.jar") + ":" + v("b;c|d.jar"), {"-cp", "/t m/a.jar:b;c|d.jar"}},
        {v("end\\") + " " + v("one\ntwo") + " " + v("\xff\xfe%@#"),
         {"end\\", "one\ntwo", "\xff\xfe%@#"}},
        {"'lit $x' \"d\\\"q\\$\" e\\ f", {"lit $x", "d\"q$", "e f"}},
    };
    StringDeque extra;
    for (const char* argument : {"$HOME", "a\"b", "", "x y"}) {
        extra.push_back(argument);
    }
    Words passed = wordsOf(extra);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Words expected = c.words;
        expected.insert(expected.end(), passed.begin(), passed.end());
        CommandText direct((printer + " " + c.text).c_str(), &extra);
        EXPECT_TRUE(direct.runsDirectly());
        EXPECT_EQ(wordsOf(direct.arguments(), 1), expected);
        EXPECT_EQ(run(direct), expected);
        // A redirection makes it a shell command: the same arguments.
        CommandText shell((printer + " " + c.text + " 2>/dev/null").c_str(), &extra);
        EXPECT_FALSE(shell.runsDirectly());
        EXPECT_EQ(run(shell), expected);
    }
    EXPECT_FALSE(testsupport::fileExists(marker));
}

TEST_F(CommandTextTest, ShellSyntaxGoesToTheShell) {
    const char* texts[] = {"P $HOME",  "A=b P",   "echo x", "P *.jar",   "P ~/x",
                           "P # note", "P; Q",    "P\nQ",   "\"P\" `q`", "P \"$(q)\"",
                           "exec P",   "P 'open", "",       "P {a,b}",   "P \\\n x"};
    for (const char* text : texts) {
        EXPECT_FALSE(CommandText(text, nullptr).runsDirectly()) << text;
    }
}

TEST_F(CommandTextTest, ShellConstructsKeepValuesData) {
    std::string marker = dir.file("INJECTED");
    std::string value = "x $(touch " + marker + ") `touch " + marker + "` '\"";
    testsupport::ScopedEnv set("CVTEST_WORD", "set");
    std::string text = printer + " \"${CVTEST_WORD}:" + v(value) + "\" $(printf %s " + v(value) +
                       ") '" + v(value) + "' # " + v("\ntouch " + marker);
    CommandText command(text.c_str(), nullptr);
    EXPECT_FALSE(command.runsDirectly());
    Words words = run(command);
    // The quoted word, the six words of the unquoted substitution, the
    // single-quoted word; the comment is none.
    ASSERT_EQ(words.size(), 1u + 6u + 1u) << text;
    EXPECT_EQ(words[0], "set:" + value);
    EXPECT_EQ(words[words.size() - 1], value);
    EXPECT_FALSE(testsupport::fileExists(marker));
}

TEST(CommandTextWordsTest, SideFileLinesSplitLikeAShellThatEvaluatesNothing) {
    struct {
        std::string line;
        Words words;
    } cases[] = {
        {"-Da=\"x y\"  -Db='$z' c\\ d", {"-Da=x y", "-Db=$z", "c d"}},
        {"$(touch x) `y` *.jar ~ #", {"$(touch", "x)", "`y`", "*.jar", "~", "#"}},
        {"-Dhome=" + v("/my jdk") + " \"" + v("q\"") + "\"", {"-Dhome=/my jdk", "q\""}},
        {" \t ", {}},
    };
    for (const auto& c : cases) {
        SString words = CommandText::literalWords(c.line.c_str());
        if (c.words.empty()) {
            EXPECT_TRUE(words.empty()) << c.line;
            continue;
        }
        CommandText command(words, nullptr);
        EXPECT_EQ(wordsOf(command.arguments()), c.words) << c.line;
    }
}

TEST(CommandTextPlainTest, MarksHideMacroAndMarkCharacters) {
    std::string value = "50% @JVM_HOME@ #X# \x01\x02\x03 end";
    std::string marked = v(value);
    for (char c : {'%', '@', '#'}) {
        EXPECT_EQ(marked.find(c), std::string::npos) << c;
    }
    EXPECT_STREQ(CommandText::plain(("a " + marked + " b").c_str()).c_str(),
                 ("a " + value + " b").c_str());
}

}  // namespace
