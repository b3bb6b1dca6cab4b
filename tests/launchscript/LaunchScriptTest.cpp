#include "launchscript/LaunchScript.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "jvm/JVMFile.h"
#include "launcher/Launcher.h"
#include "launcher/LauncherException.h"
#include "launchscript/CommandText.h"
#include "payload/FileIndexEntry.h"
#include "platform/PlatformImpl.h"
#include "support/FakeJavaHome.h"
#include "support/LauncherUnitTest.h"
#include "support/ScopedEnv.h"
#include "support/TestSupport.h"
#include "tagfile/TagFile.h"

using testsupport::readFile;
using testsupport::ScopedEnv;
using testsupport::writeFile;

namespace {

class LaunchScriptTest : public testsupport::LauncherUnitTest {
  protected:
    LaunchScriptTest() : jvm(tags) {
        tags.fileName = "test.jvm";
        testsupport::appendTags(tags, {{"JVM_HOME", "/jdk"},
                                       {"SYSTEM", "-D"},
                                       {"SYSTEM_SEPARATOR", "="},
                                       {"CLASSPATH", "-cp "},
                                       {"CLASSPATH_SEPARATOR", ":"}});
    }

    // The command expanded by a script without side files or archives.
    std::string expand(const std::string& command) {
        LaunchScript script(SString(command.c_str()), false, false);
        return CommandText::plain(script.resolve(jvm)).c_str();
    }

    // The message of the exception that expanding the command throws.
    std::string expansionError(const std::string& command) {
        try {
            expand(command);
        } catch (const LauncherException& e) {
            return e.message.c_str();
        }
        return "(no exception)";
    }

    // Makes `name` the original launcher, so that its side files are read.
    void setOriginalLauncher(const std::string& name) {
        Launcher::m_origLauncherFileName = name.c_str();
    }

    TagFile tags;
    JVMFile jvm;
};

TEST_F(LaunchScriptTest, WrongArgumentCountsAreReportedWithTheCommand) {
    struct {
        const char* command;
        const char* message;
    } cases[] = {
        {"%REPLACE%(\"a\", \"b\")", "REPLACE function requires 3 arguments."},
        {"%RUNTIME_SYSTEMPROP%(\"a\")", "RUNTIME_SYSTEMPROP function takes no arguments."},
        {"%RUNTIME_JAVAARGS%(\"a\")", "RUNTIME_JAVAARGS function takes no arguments."},
        {"%SYSTEMPROP%(\"a\")", "SYSTEMPROP function requires 2 arguments."},
        {"%IF_EXISTS%(\"a\", \"b\", \"c\")", "IF_EXISTS function requires 2 arguments."},
        {"%LAUNCHER_FILE%(\"a\")", "LAUNCHER_FILE function takes 0 arguments."},
        {"%LAUNCHER_DIR%(\"a\")", "LAUNCHER_DIR function takes 0 arguments."},
        {"%APPLICATION_ARCHIVE%(\"a\", \"b\")", "APPLICATION_ARCHIVE function takes 0 arguments."},
        {"%TEMP_DIR%(\"a\")", "TEMP_DIR function takes 0 arguments."},
        {"x %FOO%()", "Invalid function name (FOO)."},
        {"%cp%()", "Invalid function name (cp)."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        EXPECT_EQ(std::string("Launch script error: ") + c.message, expansionError(c.command));
        EXPECT_NE(std::string::npos,
                  log().find(std::string("Launch command:\n") + c.command + "\n"));
    }
}

TEST_F(LaunchScriptTest, MalformedArgumentListsNameThePositionOfTheFailingStep) {
    struct {
        const char* command;
        const char* message;
    } cases[] = {
        {"x %TEMP_DIR%", "Expected left parenthesis. (near character 12)"},
        {"%TEMP_DIR% x", "Expected left parenthesis. (near character 10)"},
        {"%CP%(x)", "Expected string arg. (near character 5)"},
        {"%CP%(\"a\",,)", "Expected string arg. (near character 9)"},
        {"%CP%(", "Expected string arg. (near character 5)"},
        {"%SYSTEMPROP%(\"a\" \"b\")", "Expected right parenthesis. (near character 16)"},
        {"%CP%(\"a\" x", "Expected right parenthesis. (near character 8)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        EXPECT_EQ(std::string("Launch script error: ") + c.message, expansionError(c.command));
    }
}

TEST_F(LaunchScriptTest, UnterminatedArgumentKeepsTheReaderMessage) {
    std::string message = expansionError("%CP%(\"abc");
    EXPECT_EQ(0u, message.find("Expected double quote to end argument near ")) << message;
}

TEST_F(LaunchScriptTest, ArgumentListsAcceptBlanksTrailingCommaAndEndOfText) {
    EXPECT_EQ("-Da.b=x", expand("%SYSTEMPROP%( \"a.b\" ,\t\"x\"\n)"));
    EXPECT_EQ("-Da=x", expand("%SYSTEMPROP%(\"a\", \"x\",)"));
    EXPECT_EQ("-Da=say \"hi\"", expand("%SYSTEMPROP%(\"a\", \"say \"\"hi\"\"\""));
    EXPECT_EQ("[-Dh=/jdk]", expand("[%SYSTEMPROP%(\"h\", \"@JVM_HOME@\")]"));
}

TEST_F(LaunchScriptTest, ReplaceSubstitutesLeftToRightWithoutRescanning) {
    tags.setTagValue("SEP", ":");
    struct {
        const char* arguments;
        const char* expected;
    } cases[] = {
        {"\"/\", \"_\", \"a/b/c\"", "a_b_c"}, {"\"a\", \"aa\", \"aaa\"", "aaaaaa"},
        {"\"\", \"x\", \"abc\"", "abc"},      {"\"@SEP@\", \"-\", \"1:2:3\"", "1-2-3"},
        {"\"-\", \"@SEP@\", \"1-2\"", "1:2"}, {"\"z\", \"y\", \"abc\"", "abc"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        EXPECT_EQ(c.expected, expand(std::string("%REPLACE%(") + c.arguments + ")"));
    }
}

TEST_F(LaunchScriptTest, IfExistsNeedsANonEmptyTag) {
    tags.setTagValue("PRESENT", "yes");
    tags.setTagValue("EMPTY", "");
    EXPECT_EQ("<-x /jdk>", expand("<%IF_EXISTS%(\"PRESENT\", \"-x @JVM_HOME@\")>"));
    EXPECT_EQ("<>", expand("<%IF_EXISTS%(\"EMPTY\", \"-x\")>"));
    EXPECT_EQ("<>", expand("<%IF_EXISTS%(\"MISSING\", \"-x\")>"));
}

TEST_F(LaunchScriptTest, EnvironmentMacrosComeLastAndAreNotExpandedFurther) {
    ScopedEnv set("CVTEST_VALUE", "@JVM_HOME@ %CP%()");
    ScopedEnv unset("CVTEST_UNSET", nullptr);
    EXPECT_EQ("[@JVM_HOME@ %CP%()][]", expand("[#CVTEST_VALUE#][#CVTEST_UNSET#]"));
    // A function's text is expanded by the later passes.
    EXPECT_EQ("/jdk @JVM_HOME@ %CP%()",
              expand("%IF_EXISTS%(\"JVM_HOME\", \"@JVM_HOME@ #CVTEST_VALUE#\")"));
    EXPECT_EQ("100% @ #", expand("100%% @@ ##"));
}

TEST_F(LaunchScriptTest, LauncherAndTempDirectoryFunctions) {
    Launcher::m_launcherFileName = "/run/copy/setup";
    setOriginalLauncher("/opt/app/setup.bin");
    PlatformImpl::m_tempDir = "/tmp/cv\\";
    EXPECT_EQ("/run/copy/setup /opt/app /tmp/cv\\",
              expand("%LAUNCHER_FILE%() %LAUNCHER_DIR%() %TEMP_DIR%()"));
    PlatformImpl::m_tempDir = "/tmp/cv/";
    EXPECT_EQ("/tmp/cv/", expand("%TEMP_DIR%( )"));
}

TEST_F(LaunchScriptTest, ClasspathIsEmptyWithoutEntries) {
    EXPECT_EQ("AB", expand("A%CP%()B"));
    EXPECT_EQ("-cp a:b", expand("%CP%(\"a\", \"\", \"b\")"));
    tags.setTagValue("CLASSPATH", "");        // written empty: kept
    tags.removeValue("CLASSPATH_SEPARATOR");  // absent: the default
    EXPECT_EQ("a:b", expand("%CP%(\"a\", \"b\")"));
}

TEST_F(LaunchScriptTest, ClasspathJoinsSideFilesJvmEntriesArgumentsAndArchive) {
    setOriginalLauncher(dir.file("setup.bin"));
    writeFile(dir.file("setup.cp1"), "first1\n\nfirst2\n");
    writeFile(dir.file("setup.cp"), "middle");
    writeFile(dir.file("setup.cp2"), "last\n");
    tags.setTagValue("JVM_CLASSPATH", "@JVM_HOME@/lib/tools.jar");
    TagFile scriptFile;
    scriptFile.setTagValue("COMMAND", "%CP%(\"arg1\", \"arg2\") Main");
    scriptFile.setTagValue("ARCHIVE", "%LAUNCHER_DIR%()/app.jar");
    LaunchScript script(scriptFile, false);
    EXPECT_EQ("-cp first1:first2:/jdk/lib/tools.jar:middle:arg1:arg2:" + dir.path() +
                  "/app.jar:last Main",
              std::string(CommandText::plain(script.resolve(jvm)).c_str()));
}

TEST_F(LaunchScriptTest, SideFilesReplaceTheExtensionAfterTheLastSeparator) {
    mkdir(dir.file("x").c_str(), 0755);
    mkdir(dir.file("rel.2").c_str(), 0755);
    writeFile(dir.file("x/setup.cp"), "x");
    writeFile(dir.file("rel.2/setup.cp"), "rel");
    writeFile(dir.file("setup.bin.cp"), "bare");
    struct {
        std::string launcher;
        const char* expected;
    } cases[] = {
        {dir.file("x/setup.bin"), "-cp x"},
        {dir.file("rel.2/setup"), "-cp rel"},
        {"setup.bin", "-cp bare"},  // relative to the current directory
    };
    ASSERT_EQ(0, chdir(dir.path().c_str()));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.launcher);
        setOriginalLauncher(c.launcher);
        EXPECT_EQ(c.expected, expand("%CP%()"));
    }
}

TEST_F(LaunchScriptTest, RuntimeSystemPropertiesAndJavaArguments) {
    setOriginalLauncher(dir.file("setup"));
    writeFile(dir.file("setup.sp"), "a=1\nno equals sign\n\nb=x=@JVM_HOME@\r\n");
    writeFile(dir.file("setup.ja"), "-Xmx1g\n\n-Dhome=@JVM_HOME@ -v\n");
    EXPECT_EQ("[-Da=1 -Db=x=/jdk] [-Xmx1g -Dhome=/jdk -v]",
              expand("[%RUNTIME_SYSTEMPROP%()] [%RUNTIME_JAVAARGS%()]"));
}

TEST_F(LaunchScriptTest, ClasspathVariableModeSetsTheVariableInstead) {
    ScopedEnv variable("CVTEST_CP", nullptr);
    tags.setTagValue("USE_CP_ENV_VAR", "1");
    tags.setTagValue("CP_ENV_VAR", "CVTEST_CP");
    EXPECT_EQ("java  Main", expand("java %CP%(\"\"\"a b.jar\"\"\", \"c.jar\") Main"));
    EXPECT_STREQ("a b.jar:c.jar", getenv("CVTEST_CP"));
    EXPECT_NE(std::string::npos, log().find("Set env var CVTEST_CP to a b.jar:c.jar\n\n"));

    tags.removeValue("CP_ENV_VAR");
    EXPECT_EQ("java ", expand("java %CP%(\"x\")"));
    EXPECT_NE(std::string::npos,
              log().find("ERROR: If USE_CP_ENV_VAR is set to 1 in the jvm file, then the jvm "
                         "file should also define CP_ENV_VAR.\n"));
}

TEST_F(LaunchScriptTest, ClasspathArchivesAreExtractedAnewForEveryCall) {
    writeFile(dir.file("launcher"), "JAR1JAR2");
    Launcher::m_launcherFileName = dir.file("launcher").c_str();
    FileIndexEntry& first = testsupport::addIndexEntry(FILE_CLASSPATH_ARCHIVE, 1);
    first.m_fileName = "one.jar";
    first.m_length = 4;
    testsupport::addIndexEntry(FILE_VERIFY_ARCHIVE, 2).m_fileName = "verify.jar";
    FileIndexEntry& second = testsupport::addIndexEntry(FILE_CLASSPATH_ARCHIVE, 3);
    second.m_fileName = "two.jar";
    second.m_offset = 4;
    second.m_length = 4;
    TagFile scriptFile;
    scriptFile.setTagValue("COMMAND", "%CP%()");
    LaunchScript script(scriptFile, false);

    std::string classpath = CommandText::plain(script.resolve(jvm)).c_str();
    size_t directoryEnd = classpath.find("/one.jar:");
    ASSERT_NE(std::string::npos, directoryEnd) << classpath;
    std::string directory = classpath.substr(4, directoryEnd - 4);
    EXPECT_EQ("-cp " + directory + "/one.jar:" + directory + "/two.jar", classpath);
    EXPECT_EQ(0u, directory.find(state.tempDir() + "/"));
    EXPECT_EQ("JAR1", readFile(directory + "/one.jar"));
    EXPECT_EQ("JAR2", readFile(directory + "/two.jar"));
    EXPECT_EQ(std::string::npos,
              std::string(CommandText::plain(script.resolve(jvm)).c_str()).find(directory));
    EXPECT_EQ("", expand("%CP%()"));  // a script that does not extract archives
}

TEST_F(LaunchScriptTest, EndlessExpansionIsAScriptError) {
    tags.setTagValue("LOOP", "x@LOOP@");
    EXPECT_EQ("Launch script error: Macro expansion does not end.", expansionError("@LOOP@"));
    // 3,000 copies of 32,000 characters, refused before it is built.
    tags.setTagValue("LONG", std::string(32000, 'h').c_str());
    EXPECT_EQ("Launch script error: Macro expansion grows past 1 MiB.",
              expansionError("%REPLACE%(\"a\", \"@LONG@\", \"" + std::string(3000, 'a') + "\")"));
    EXPECT_NE(std::string::npos, log().find("Launch command:\n@LOOP@\n"));

    TagFile scriptFile;
    scriptFile.setTagValue("COMMAND", "%CP%()");
    scriptFile.setTagValue("ARCHIVE", "%CP%()");
    LaunchScript script(scriptFile, false);
    try {
        script.resolve(jvm);
        FAIL() << "no exception";
    } catch (const LauncherException& e) {
        EXPECT_STREQ("Launch script error: Macro expansion does not end.", e.message.c_str());
    }
}

// Runs launch scripts on a fake java.
class LaunchScriptExecuteTest : public LaunchScriptTest {
  protected:
    LaunchScriptExecuteTest()
        : home(dir.file("jdk")), java(home, "echo out-line\necho err-line >&2\nexit 7\n") {
        tags.setTagValue("JVM_HOME", home.c_str());
        scriptFile.setTagValue("COMMAND", "\"@JVM_HOME@/bin/java\" Main");
    }

    std::string home;
    testsupport::FakeJavaHome java;
    TagFile scriptFile;
};

TEST_F(LaunchScriptExecuteTest, RunsTheExpandedCommandWithPassThroughArgumentsAsTheyAre) {
    setOriginalLauncher(dir.file("setup.bin"));
    writeFile(dir.file("setup.cp1"), "first.jar\n");
    writeFile(dir.file("setup.sp"), "p=1\n");
    writeFile(dir.file("setup.ja"), "-Xmx64m\n");
    tags.setTagValue("JVM_CLASSPATH", "@JVM_HOME@/lib/rt.jar");
    scriptFile.setTagValue("COMMAND",
                           "\"@JVM_HOME@/bin/java\" %CP%(\"\"\"a b.jar\"\"\") "
                           "%RUNTIME_SYSTEMPROP%() %RUNTIME_JAVAARGS%() Main");
    scriptFile.setTagValue("AUTO_SET_WORKING_DIR", "0");
    LaunchScript script(scriptFile, true);
    StringDeque arguments;
    const char* passed[] = {"plain",       "two  words", "q\"uote", "$HOME", "`echo hi`",
                            "back\\slash", "end\\",      "it's",    ""};
    for (const char* argument : passed) {
        arguments.push_back(argument);
    }

    EXPECT_EQ(7, script.execute(jvm, &arguments, false));

    EXPECT_EQ(java.args(),
              (std::vector<std::string>{"-cp", "first.jar:" + home + "/lib/rt.jar:a b.jar", "-Dp=1",
                                        "-Xmx64m", "Main", "plain", "two  words", "q\"uote",
                                        "$HOME", "`echo hi`", "back\\slash", "end\\", "it's", ""}));
    EXPECT_STREQ("out-line\n", script.m_stdOut.c_str());
    EXPECT_STREQ("err-line\n", script.m_stdErr.c_str());
    std::string text = log();
    EXPECT_NE(
        std::string::npos,
        text.find("Executing launch script command: \"" + home + "/bin/java\" -cp " +
                  "first.jar:" + home + "/lib/rt.jar:\"a b.jar\" -Dp=1 -Xmx64m Main " +
                  "\"plain\" \"two  words\" \"q\"uote\" \"$HOME\" \"`echo hi`\" " +
                  "\"back\\slash\" \"end\\\" \"it's\" \"\" in current working " + "directory\n"));
    EXPECT_NE(std::string::npos,
              text.find("Output from the launch script execution\nStdOut:\nout-line\n\n"
                        "ErrOut:\nerr-line\n\n"));
}

// Without a command the pass-through arguments would be the command.
TEST_F(LaunchScriptExecuteTest, NoCommandRunsNothing) {
    StringDeque arguments;
    arguments.push_back(("touch " + dir.file("ran")).c_str());
    const char* const missing = "Launch script error: The launch script has no COMMAND.";
    const std::pair<const char*, const char*> rows[] = {
        {nullptr, missing},
        {"", missing},
        {" \t", missing},
        {"#CVTEST_UNSET#",
         "Launch script error: The COMMAND of the launch script expands to nothing."}};
    for (const auto& [command, message] : rows) {
        SCOPED_TRACE(command == nullptr ? "no COMMAND" : command);
        TagFile file;
        if (command != nullptr) {
            file.setTagValue("COMMAND", command);
        }
        LaunchScript script(file, false);
        try {
            script.execute(jvm, &arguments, false);
            ADD_FAILURE() << "no exception";
        } catch (const LauncherException& e) {
            EXPECT_STREQ(e.message.c_str(), message);
        }
    }
    EXPECT_FALSE(testsupport::fileExists(dir.file("ran")));
}

TEST_F(LaunchScriptExecuteTest, JavaHomeIsSetForTheRunAndRestoredAfter) {
    LaunchScript script(scriptFile, true);
    {
        ScopedEnv javaHome("JAVA_HOME", "/before");
        script.execute(jvm, nullptr, false);
        EXPECT_EQ(java.env("JAVA_HOME"), home);
        EXPECT_STREQ("/before", getenv("JAVA_HOME"));
    }
    ScopedEnv javaHome("JAVA_HOME", nullptr);
    script.execute(jvm, nullptr, false);
    EXPECT_STREQ("", getenv("JAVA_HOME"));
    EXPECT_STREQ("out-line\nout-line\n", script.m_stdOut.c_str());  // runs append
}

TEST_F(LaunchScriptExecuteTest, WizardVariablesAreSetForPurposesZeroAndTwo) {
    tags.appendTagValue("SET_ENV_FOR_WIZARD", " WIZ_A = 1 ");
    tags.appendTagValue("SET_ENV_FOR_WIZARD", "WIZ_B");
    tags.appendTagValue("SET_ENV_FOR_WIZARD", "  ");
    std::string launcher = dir.file("launcher");
    Launcher::m_launcherFileName = launcher.c_str();
    const std::optional<std::string> unset;
    struct {
        char purpose;
        std::optional<std::string> wizA;
        std::optional<std::string> wizB;
    } cases[] = {{0, "1", ""}, {1, unset, unset}, {2, "1", ""}, {3, unset, unset}};
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.purpose));
        ScopedEnv wizA("WIZ_A", nullptr);
        ScopedEnv wizB("WIZ_B", nullptr);
        writeFile(launcher, std::string("program") + c.purpose + "offs\xCA\x82\xCA\x82");
        Launcher::m_launcherPurpose = -1;
        LaunchScript script(scriptFile, true);
        script.execute(jvm, nullptr, false);
        EXPECT_EQ(java.env("WIZ_A"), c.wizA);
        EXPECT_EQ(java.env("WIZ_B"), c.wizB);
    }
    // The script runs in the launcher's directory, and the launcher stays there.
    EXPECT_EQ(java.cwd(), testsupport::realPath(dir.path()));
    EXPECT_NE(std::string::npos, log().find(" in working directory " + dir.path() + "\n"));
}

TEST_F(LaunchScriptExecuteTest, ConsoleModeLetsTheOutputThrough) {
    LaunchScript script(scriptFile, true);
    scriptFile.setTagValue("DISPLAY_CONSOLE", "1");
    LaunchScript consoleScript(scriptFile, true);
    testing::internal::CaptureStdout();
    EXPECT_EQ(7, script.execute(jvm, nullptr, true));
    EXPECT_EQ(7, consoleScript.execute(jvm, nullptr, false));
    EXPECT_EQ("out-line\nout-line\n", testing::internal::GetCapturedStdout());
    EXPECT_STREQ("", script.m_stdOut.c_str());
    EXPECT_STREQ("", consoleScript.m_stdOut.c_str());
    EXPECT_EQ(std::string::npos, log().find("StdOut:"));
}

TEST(StripQdDuotesTest, RemovesOneQuoteAtEachEnd) {
    struct {
        const char* text;
        const char* expected;
    } cases[] = {
        {"\"a\"", "a"}, {"\"\"a\"\"", "\"a\""}, {"\"a", "a"}, {"a\"", "a"}, {"\"", ""},
        {"", ""},       {"a\"b", "a\"b"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        SString text(c.text);
        stripQdDuotes(text);
        EXPECT_STREQ(c.expected, text.c_str());
    }
}

}  // namespace
