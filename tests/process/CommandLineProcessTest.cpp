// Runs the built launcher with real arguments, input files and log files.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/MessageCatalogue.h"
#include "support/FakeJavaHome.h"
#include "support/LauncherProcessTest.h"

namespace {

using testsupport::LauncherResult;
using testsupport::readFile;
using testsupport::writeFile;

const std::string kOpenFailed =
    "Unable to open input file specified on the command line after the -in option.";
const std::string kLoadFailed = "Could not load the input file.";

class CommandLineProcessTest : public testsupport::LauncherProcessTest {
  protected:
    LauncherResult launch(const std::vector<std::string>& args,
                          const testsupport::LauncherOptions& options = {}) {
        return run(testsupport::cvlaunchPath(), args, options);
    }
};

// Both programs print the version of the CMake project.
TEST_F(CommandLineProcessTest, VersionIsTheProjectVersionAndShownUnlessSilent) {
    const std::string version = PROJECT_VERSION;
    const std::string cvlaunch = testsupport::cvlaunchPath();
    const struct {
        std::vector<std::string> argv;
        std::string out, err;
    } rows[] = {
        {{cvlaunch, "-cv:version"}, "", version + "\n"},
        {{cvlaunch, "--version"}, "cvlaunch " + version + "\n", ""},
        {{testsupport::cvpackPath(), "--version"}, "cvpack " + version + "\n", ""},
        {{cvlaunch, "-cv:silent", "-cv:version"}, "", ""},
        // Settings take effect wherever they stand; actions run after them.
        {{cvlaunch, "-cv:version", "-cv:silent"}, "", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.argv));
        testsupport::ProcessResult result = testsupport::runProcess(row.argv);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.out, row.out);
        EXPECT_EQ(result.err, row.err);
    }
}

TEST_F(CommandLineProcessTest, MissingInputFileIsShownTwiceAndLoggedAsError) {
    std::string log = work_.file("x.log");
    LauncherResult result = launch({"-cv:log", log, "-cv:in", "missing.tag"});
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.err, kLoadFailed + kOpenFailed + "\n" + kOpenFailed + "\n");
    EXPECT_EQ(readFile(log), "------------------\nERROR: " + kOpenFailed + "\n");
}

TEST_F(CommandLineProcessTest, MessagesFollowTheLanguageOfLang) {
    testsupport::LauncherOptions german;
    german.env["LANG"] = "de_DE.UTF-8";
    LauncherResult result = launch({"-cv:in", "missing.tag"}, german);
    std::string open = unixlauncher_msg_de[33];
    std::string load = unixlauncher_msg_de[19];
    EXPECT_NE(open, kOpenFailed);
    EXPECT_EQ(result.err, load + open + "\n" + open + "\n");
}

TEST_F(CommandLineProcessTest, OptionWithoutItsValue) {
    LauncherResult in = launch({"-cv:in"});
    EXPECT_EQ(in.status, 255);
    EXPECT_EQ(in.err, "An input file name must follow the '-in' command line option.\n");

    // A missing log name is reported, and the program still runs: here
    // the one without a payload, which shows its usage.
    LauncherResult log = launch({"-cv:log"});
    EXPECT_EQ(log.status, 2);
    EXPECT_EQ(log.err.rfind("A log file name must be specified after the -log option on the "
                            "command line.\nUsage: cvlaunch ",
                            0),
              0u)
        << log.err;

    LauncherResult orig = launch({"-cv:version", "-cv:orig"});
    EXPECT_EQ(orig.status, 255);
    EXPECT_EQ(orig.err,
              std::string("Missing original launcher file name.\n") + PROJECT_VERSION + "\n");
}

// The program without a payload answers for itself; a launcher file passes
// the same arguments to its program. An input file's action sees the log
// that the command line names, before or after it.
TEST_F(CommandLineProcessTest, BareProgramAnswersForItselfAndALauncherFilePassesItsArguments) {
    testsupport::FakeJavaHome java(work_.file("jdk"), "", "java");
    std::string packed = packDirectLaunch(java.home(), "x");
    std::string usage = launch({"--help"}).out;
    EXPECT_EQ(usage.rfind("Usage: cvlaunch --find [RANGE] [--jdk] [--explain]\n", 0), 0u) << usage;
    for (const char* part :
         {"\n  or:  cvlaunch [OPTION]... -cv:in FILE\n", "\n  --list ", "\n  --prune-runtimes ",
          "\n  -cv:in FILE ", "\n  -cv:log FILE ", "\n  -cv:tempdir DIR ", "\n  --version ",
          "\n  ACTION: SEARCH\n", "README.md"}) {
        EXPECT_NE(usage.find(part), std::string::npos) << part;
    }
    writeFile(work_.file("in.tag"), "ACTION: INSTALL_JVM\n");
    const std::string log = work_.file("x.log");
    const std::string loaded = "------------------\nLoading input file in.tag\n";
    struct Row {
        bool bare;
        std::vector<std::string> args;
        int status;
        std::string out, err, log;
    } rows[] = {
        {true, {}, 2, "", usage, ""},
        {true, {"--help"}, 0, usage, "", ""},
        {true, {"--version", "x"}, 0, std::string("cvlaunch ") + PROJECT_VERSION + "\n", "", ""},
        {true,
         {"-cv:log", log, "--verbose"},
         2,
         "",
         "cvlaunch: unknown argument --verbose\n\n" + usage,
         ""},
        {true, {"-cv:in", "in.tag", "-cv:log", log}, 0, "", "", loaded},
        {true, {"-cv:log", log, "-cv:in", "in.tag"}, 0, "", "", loaded},
        {false, {"--help", "--version", "--find"}, 0, "", "", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE((row.bare ? "cvlaunch " : "launcher ") + testing::PrintToString(row.args));
        std::remove(log.c_str());
        LauncherResult result = run(row.bare ? testsupport::cvlaunchPath() : packed, row.args);
        EXPECT_EQ(result.status, row.status);
        EXPECT_EQ(result.out, row.out);
        EXPECT_EQ(result.err, row.err);
        EXPECT_EQ(readFile(log), row.log);
    }
    std::vector<std::string> got = java.args();
    EXPECT_EQ(std::vector<std::string>(got.end() - 3, got.end()),
              (std::vector<std::string>{"--help", "--version", "--find"}));
}

TEST_F(CommandLineProcessTest, QuotedInputFileNameOpensTheFileBetweenTheQuotes) {
    writeFile(work_.file("in.tag"), "ACTION: INSTALL_JVM\nLOGFILE: " + work_.file("in.log") + "\n");
    std::string log = work_.file("cmd.log");
    LauncherResult result = launch({"-cv:log", log, "-cv:in", "\"in.tag\""});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(readFile(log), "------------------\nLoading input file \"in.tag\"\n");

    LauncherResult lone = launch({"-cv:in", "\""});
    EXPECT_EQ(lone.status, 255);
    EXPECT_EQ(lone.err, kLoadFailed + kOpenFailed + "\n" + kOpenFailed + "\n");
}

TEST_F(CommandLineProcessTest, InputFileWithoutLogfileSwitchesTheLogOff) {
    writeFile(work_.file("in.tag"), "ACTION: INSTALL_JVM\nINSTALL_JVM_EXE: /bin/true\n");
    std::string log = work_.file("x.log");
    LauncherResult result = launch({"-cv:log", log, "-cv:in", "in.tag", "-cv:version"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, std::string(PROJECT_VERSION) + "\n");
    EXPECT_EQ(readFile(log), "------------------\nLoading input file in.tag\n");
}

TEST_F(CommandLineProcessTest, InvalidOrMissingActionIsShownTwice) {
    writeFile(work_.file("none.tag"), "SHOW_FAIL_MSG: 1\n");
    LauncherResult none = launch({"-cv:in", "none.tag"});
    EXPECT_EQ(none.status, 255);
    EXPECT_EQ(none.err, "Invalid action in input file: \nInvalid action in input file: \n");

    writeFile(work_.file("bad.tag"), "ACTION: DANCE\n");
    LauncherResult bad = launch({"-cv:in", "bad.tag"});
    EXPECT_EQ(bad.status, 255);
    EXPECT_EQ(bad.err,
              "Invalid action in input file: DANCE\nInvalid action in input file: DANCE\n");
}

TEST_F(CommandLineProcessTest, SyntaxErrorOfTheInputFileNamesFileAndLine) {
    writeFile(work_.file("f.tag"), "ACTION: SEARCH\njust text\n");
    std::string log = work_.file("x.log");
    LauncherResult result = launch({"-cv:log", log, "-cv:in", "f.tag"});
    std::string error =
        "Syntax error in f.tag at line 2 ==> Missing colon at the end of the tag name.";
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.err, kLoadFailed + error + "\n" + error + "\n");
    EXPECT_EQ(readFile(log), "------------------\nLoading input file f.tag\nERROR: " + error +
                                 "\nERROR: " + error + "\n");
}

TEST_F(CommandLineProcessTest, VerifyActionWithoutItsKeysFails) {
    std::string log = work_.file("x.log");
    writeFile(work_.file("v.tag"), "ACTION: VERIFY_JVM\nLOGFILE: " + log + "\n");
    LauncherResult result = launch({"-cv:in", "v.tag"});
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.out, "0\n");
    EXPECT_EQ(readFile(log),
              "------------------\nERROR: TO execute the VERIFY_JVM action, you must also provide "
              "values in the input file for VERIFY_JVM_FILE and VERIFY_JVM_HOME.\n");
}

TEST_F(CommandLineProcessTest, RelativeLauncherPathIsFoundFromTheWorkingDirectory) {
    // Called as ./launcher, the launcher must still find its own file:
    // extracting its (empty) payload reads it.
    std::string copy = work_.file("launcher");
    writeFile(copy, readFile(testsupport::cvlaunchPath()), 0755);
    LauncherResult dotted = run("./launcher", {"-cv:extract"});
    EXPECT_EQ(dotted.status, 0) << dotted.out;
    EXPECT_EQ(readFile(work_.file("input.tag")), "ACTION:  RUN_INSTRUCTIONS\n");
}

}  // namespace
