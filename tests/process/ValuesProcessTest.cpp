// Values that the launcher computes or takes from outside reach the Java
// program as data: each hostile value goes through each entry point, with a
// command that needs no shell and with one that does, and the fake java gets
// it unchanged with nothing evaluated. Then the edges of a launch: many or too
// long arguments, a program that cannot start, working directories, links.
#include <gtest/gtest.h>

#include <unistd.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/FakeJavaHome.h"
#include "support/LauncherProcessTest.h"

namespace {

using testsupport::FakeJavaHome;
using testsupport::LauncherOptions;
using testsupport::LauncherResult;
using testsupport::realPath;
using testsupport::TempDir;
using testsupport::writeFile;
using Args = std::vector<std::string>;

const char* const kJvmSettings =
    "JVM_EXE: bin/java\nJVM_PROPERTIES: java.vendor=Fake\nCLASSPATH: \"-cp \"\n"
    "CLASSPATH_SEPARATOR: :\nSYSTEM: -D\nSYSTEM_SEPARATOR: =\n";
const char* const kGiven = "JVM_HOME: /";  // the JVM file names the home itself
const char* const kLaunch = "INSTRUCTIONS:\n  ILAUNCH 1 0\n/:\n";
const char* const kVerifyThenLaunch =
    "INSTRUCTIONS:\n  VERIFY 0 0 1\n  JMP0 @N1@ end\n  ILAUNCH 1 0\n  :end\n/:\n";
const char* const kFindThenLaunch =
    "INSTRUCTIONS:\n  FIND_JVM 0 0\n  JMP0 @N1@ end\n  LAUNCH \"@S2@\" 0\n  :end\n/:\n";
// The Java of the JVM file, and every place a value can take in a command
// (quotes doubled for the tag file).
const std::string kJava = "\"\"@JVM_HOME@/@JVM_EXE@\"\"";
const std::string kCommand = kJava +
                             " @JVM_HOME@ %TEMP_DIR%() %LAUNCHER_FILE%() %LAUNCHER_DIR%() %CP%() "
                             "%APPLICATION_ARCHIVE%() %RUNTIME_SYSTEMPROP%() %RUNTIME_JAVAARGS%() "
                             "\"\"#CVTEST_VALUE#\"\" #CVTEST_VALUE#";
// Nothing, then a redirection, which only the shell can carry out.
const char* const kSuffixes[] = {"", " 2>&1"};
// Verified when the verification archive (its class path's last entry) is
// there, so a path split on the way fails the verification.
const char* const kVerifyingJava =
    "[ \"$3\" != Verify ] || [ -f \"${2##*:}\" ] || exit 9\nprintf '1739021872\\nFake\\n'\n";

// Blanks, quotes, an escape; the shell's expansions, commands, globs; the
// launch script's macros; a line feed, bytes that are not UTF-8, a long value.
struct HostileValue {
    const char* name;
    std::string text;
};

const HostileValue kValues[] = {{"BlanksAndTabs", "two  words\tand\ttabs"},
                                {"DoubleQuotes", "say \"hi\""},
                                {"SingleQuote", "it's"},
                                {"TrailingBackslash", "end\\"},
                                {"ShellVariable", "$HOME"},
                                {"CommandSubstitution", "$(touch $CVTEST_MARKER)"},
                                {"Backquotes", "`touch $CVTEST_MARKER`"},
                                {"CommandSeparator", "x;touch $CVTEST_MARKER"},
                                {"Glob", "*"},
                                {"Tilde", "~"},
                                {"PercentMacro", "%TEMP_DIR%()"},
                                {"AtTag", "@JVM_HOME@"},
                                {"HashMacro", "#HOME#"},
                                {"LineFeed", "line\nfeed"},
                                {"NotUtf8", "\xff\xfe"},
                                {"HundredKilobytes", std::string(100 * 1024, 'v')}};

std::string dirOf(const std::string& path) {
    return path.substr(0, path.rfind('/'));
}

std::string launchScript(const std::string& command, const std::string& settings = "") {
    return settings + "COMMAND: \"" + command + "\"\n";
}

// The words of an unquoted shell variable: split at blanks, never globbed.
Args fields(const std::string& text) {
    std::istringstream stream(text);
    Args words;
    for (std::string word; stream >> word;) {
        words.push_back(word);
    }
    return words;
}

// One shell word for `text`: in double quotes, but " and \ in single quotes.
std::string quotedWord(const std::string& text) {
    std::string word = "\"";
    for (char c : text) {
        word += c == '"' || c == '\\' ? std::string("\"'") + c + "'\"" : std::string(1, c);
    }
    return word + "\"";
}

// The arguments with the random part of the launcher's temporary names masked.
Args masked(Args args) {
    for (std::string& arg : args) {
        arg = std::regex_replace(arg, std::regex("/cvj[^/]{6}/"), "/cvjXXXXXX/");
    }
    return args;
}

// The arguments for a failure message, each cut short.
std::string shown(const Args& args) {
    std::string text;
    for (const std::string& arg : args) {
        text += "[" + arg.substr(0, 60) + "] " + std::to_string(arg.size()) + "\n";
    }
    return text;
}

// Where the values of one run go; an entry point puts the case's value into
// one of them (the launcher without ".bin", as its side files).
struct Places {
    std::string home, tempDir, launcher;
    std::string side = "side", env = "env", arg = "arg";
};

struct EntryPoint {
    const char* name;
    bool fileName;        // the value becomes a file name
    bool line;            // the value becomes a line of a text file
    const char* homeTag;  // how the JVM file leads to the home; "": by PATH
    void (*place)(Places&, const std::string& dir, const std::string& value);
};

const EntryPoint kEntryPoints[] = {
    {"PassThroughArgument", false, false, kGiven, [](auto& p, auto&, auto& v) { p.arg = v; }},
    {"EnvironmentMacro", false, false, kGiven, [](auto& p, auto&, auto& v) { p.env = v; }},
    {"SideFileLines", false, true, kGiven, [](auto& p, auto&, auto& v) { p.side = v; }},
    {"TempDirOption", true, false, kGiven,
     [](auto& p, auto& d, auto& v) { p.tempDir = d + "/" + v; }},
    {"LauncherFileAndDirectory", true, false, kGiven,
     [](auto& p, auto& d, auto& v) { p.launcher = d + "/" + v + "/" + v; }},
    {"JvmHomeByPathHint", true, true,
     "PATH_HINT: ", [](auto& p, auto& d, auto& v) { p.home = d + "/" + v; }},
    // The PATH entry <home>/bin stands for the home <home>/.
    {"JvmHomeByPath", true, true, "",
     [](auto& p, auto& d, auto& v) { p.home = d + "/" + v + "/"; }},
};

class ValuesProcessTest : public testsupport::LauncherProcessTest {
  protected:
    ValuesProcessTest() {
        writeFile(work_.file("lib.jar"), "LIB");
        writeFile(work_.file("app.jar"), "APP");
    }

    std::string pack(const std::string& script, const std::string& launcher,
                     const char* program = kLaunch, const std::string& homeTag = kGiven,
                     const std::string& home = "") const {
        std::string jvmHome = home.empty() ? work_.file("jdk") : home;
        writeFile(work_.file("program.tag"), program);
        writeFile(work_.file("a.jvm"),
                  (homeTag.empty() ? "" : homeTag + jvmHome.substr(1) + "\n") + kJvmSettings);
        writeFile(work_.file("launch.tag"), script);
        return launcherFile({{FILE_INSTRUCTIONS, "program.tag"},
                             {FILE_JVM, "a.jvm"},
                             {FILE_LAUNCH_SCRIPT, "launch.tag"},
                             {FILE_CLASSPATH_ARCHIVE, "lib.jar"},
                             {FILE_APPLICATION_ARCHIVE, "app.jar"}})
            .write(launcher);
    }

    // Runs the places' launcher with kCommand and the suffix, and checks
    // that the fake java got every value unchanged and nothing was run.
    void expectDelivered(const Places& p, const std::string& homeTag, const std::string& suffix,
                         const std::string& marker) {
        FakeJavaHome java(p.home, kVerifyingJava);
        testsupport::makeDirectories(p.tempDir);
        testsupport::makeDirectories(dirOf(p.launcher));
        writeFile(p.launcher + ".cp", p.side + "\n");
        writeFile(p.launcher + ".sp", "p=" + p.side + "\n");
        writeFile(p.launcher + ".ja", quotedWord(p.side) + "\n");
        std::string launcher =
            pack(launchScript(kCommand + suffix), p.launcher + ".bin",
                 homeTag == kGiven ? kVerifyThenLaunch : kFindThenLaunch, homeTag, p.home);
        LauncherOptions options;
        options.workingDir = work_.path();
        options.tempDir = p.tempDir;
        options.env = {{"CVTEST_VALUE", p.env}, {"CVTEST_MARKER", marker}};
        if (homeTag.empty()) {
            options.env["PATH"] = p.home + "bin:/usr/bin:/bin";
        }
        LauncherResult result = testsupport::runLauncher(launcher, {p.arg}, options);

        std::string made = p.tempDir + "/cvjXXXXXX/";
        // "@NAME@" in a ".sp" value or a ".ja" line is a tag of the JVM file.
        std::string tuned = p.side == "@JVM_HOME@" ? p.home : p.side;
        Args expected = fields(p.env);
        expected.insert(expected.begin(), {p.home, p.tempDir, launcher, dirOf(launcher), "-cp",
                                           p.side + ":" + made + "lib.jar", made + "app.jar",
                                           "-Dp=" + tuned, tuned, p.env});
        expected.push_back(p.arg);
        Args got = masked(java.args());
        EXPECT_EQ(result.status, 0) << result.out.substr(0, 300);
        EXPECT_TRUE(got == expected) << "got:\n" << shown(got) << "expected:\n" << shown(expected);
        EXPECT_EQ(java.env("JAVA_HOME"), p.home);
        EXPECT_EQ(java.cwd(), realPath(dirOf(launcher)));
        EXPECT_FALSE(testsupport::fileExists(marker));
    }
};

// One case of the matrix: a value through an entry point that can carry it.
struct HostileCase {
    const HostileValue* value;
    const EntryPoint* entry;
};

std::vector<HostileCase> hostileCases() {
    std::vector<HostileCase> cases;
    for (const HostileValue& value : kValues) {
        bool fileName = value.text.size() < 200 && value.text.find('/') == std::string::npos;
        bool line = value.text.find('\n') == std::string::npos;
        for (const EntryPoint& entry : kEntryPoints) {
            if ((!entry.fileName || fileName) && (!entry.line || line)) {
                cases.push_back({&value, &entry});
            }
        }
    }
    return cases;
}

// The case as gtest lists it: its entry point and its value by name.
void PrintTo(const HostileCase& c, std::ostream* out) {
    *out << c.entry->name << ' ' << c.value->name;
}

class HostileValuesProcessTest : public ValuesProcessTest,
                                 public ::testing::WithParamInterface<HostileCase> {};

TEST_P(HostileValuesProcessTest, ReachJavaUnchanged) {
    const std::string& value = GetParam().value->text;
    const EntryPoint& entry = *GetParam().entry;
    for (const char* suffix : kSuffixes) {
        SCOPED_TRACE(std::string(entry.name) + " [" + value.substr(0, 40) + "]" + suffix);
        TempDir dir;
        Places places{dir.file("jdk"), temp_.path(), dir.file("launcher")};
        entry.place(places, dir.path(), value);
        expectDelivered(places, entry.homeTag, suffix, dir.file("INJECTED"));
    }
}

INSTANTIATE_TEST_SUITE_P(EveryEntryPoint, HostileValuesProcessTest,
                         ::testing::ValuesIn(hostileCases()),
                         [](const ::testing::TestParamInfo<HostileCase>& info) {
                             return std::string(info.param.entry->name) + "_" +
                                    info.param.value->name;
                         });

TEST_F(ValuesProcessTest, TwentyThousandArgumentsReachJava) {
    FakeJavaHome java(work_.file("jdk"), "");
    Args args;
    for (int i = 0; i < 20000; ++i) {
        args.push_back(std::to_string(i) + " $x");
    }
    Args expected = {"Main"};
    expected.insert(expected.end(), args.begin(), args.end());
    for (const char* suffix : kSuffixes) {
        SCOPED_TRACE(suffix);
        LauncherResult result =
            run(pack(launchScript(kJava + " Main" + suffix), work_.file("launcher")), args);
        EXPECT_EQ(result.status, 0) << result.out.substr(0, 300);
        EXPECT_TRUE(java.args() == expected) << java.args().size() << " arguments";
    }
}

// One class path entry of 200 KB is more than the system takes in one
// argument (through the shell, the program named may be the shell); a
// program that is missing or not executable cannot start.
TEST_F(ValuesProcessTest, ProgramThatCannotStartEndsWith255AndSaysWhy) {
    FakeJavaHome java(work_.file("jdk"), "");
    writeFile(work_.file("noexec"), "#!/bin/sh\n", 0644);
    const std::string longLine(200 * 1024, 'c');
    const struct {
        std::string command, program, sideFile, reason;
    } cases[] = {{kJava, java.home() + "/bin/java", longLine, "Argument list too long"},
                 {kJava + " 2>&1", "", longLine, "Argument list too long"},
                 {"/nonexistent/java", "/nonexistent/java", "", "No such file or directory"},
                 {work_.file("noexec"), work_.file("noexec"), "", "Permission denied"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        writeFile(work_.file("launcher.cp"), c.sideFile + "\n");
        writeFile(log(), "");
        LauncherOptions options;
        options.logFile = log();
        LauncherResult result =
            run(pack(launchScript(c.command + " %CP%()"), work_.file("launcher")), {}, options);
        EXPECT_EQ(result.status, 255);
        EXPECT_NE(result.err.find("Unable to start " + c.program), std::string::npos) << result.err;
        EXPECT_NE(result.err.find(": " + c.reason), std::string::npos);
        EXPECT_NE(result.log.find("ERROR: Unable to start " + c.program), std::string::npos);
        EXPECT_NE(result.log.find(": " + c.reason), std::string::npos);
        EXPECT_FALSE(java.ran());
    }
}

// The verification must not move the launcher into its own directory: java
// and a relative log stay in the caller's directory.
TEST_F(ValuesProcessTest, WithoutAutoWorkingDirJavaRunsInTheCallersDirectoryAfterVerifying) {
    TempDir caller;
    FakeJavaHome java(work_.file("jdk"), kVerifyingJava);
    std::string launcher = pack(launchScript(kJava + " Main", "AUTO_SET_WORKING_DIR: 0\n"),
                                work_.file("launcher"), kVerifyThenLaunch);
    LauncherOptions options;
    options.workingDir = caller.path();
    LauncherResult result = run(launcher, {"-cv:log", "run.log"}, options);

    EXPECT_EQ(result.status, 0) << result.out;
    EXPECT_EQ(java.args(), Args{"Main"});
    EXPECT_EQ(java.cwd(), realPath(caller.path()));
    EXPECT_NE(testsupport::readFile(caller.file("run.log")).find("in current working directory"),
              std::string::npos);
    EXPECT_FALSE(testsupport::fileExists(work_.file("run.log")));
}

// By its path and through PATH, a link in another directory leads to the
// real file's side files, directory and working directory.
TEST_F(ValuesProcessTest, LauncherReachedThroughALinkUsesTheRealFilesDirectory) {
    TempDir real;
    TempDir links;
    FakeJavaHome java(work_.file("jdk"), "");
    pack(launchScript(kJava + " %LAUNCHER_DIR%() %CP%()"), real.file("app.bin"));
    writeFile(real.file("app.cp"), "real\n");
    writeFile(links.file("app.cp"), "link\n");
    std::string target = "../" + real.path().substr(real.path().rfind('/') + 1) + "/app.bin";
    ASSERT_EQ(symlink(target.c_str(), links.file("app.bin").c_str()), 0);
    LauncherOptions options = this->options();
    options.env["PATH"] = links.path() + ":/usr/bin:/bin";
    const Args starts[] = {{links.file("app.bin")}, {"/bin/sh", "-c", "exec app.bin \"$@\"", "sh"}};
    for (const Args& start : starts) {
        SCOPED_TRACE(start.front());
        Args argv = start;
        argv.insert(argv.end(), {"-cv:tempdir", temp_.path()});
        testsupport::ProcessResult result = testsupport::runProcess(argv, options);

        EXPECT_EQ(result.status, 0) << result.out;
        EXPECT_EQ(masked(java.args()), (Args{realPath(real.path()), "-cp",
                                             "real:" + temp_.path() + "/cvjXXXXXX/lib.jar"}));
        EXPECT_EQ(java.cwd(), realPath(real.path()));
    }
}

}  // namespace
