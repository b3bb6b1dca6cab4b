// The LAUNCH and ILAUNCH instructions, run through real launcher files made
// with cvpack's writer: on a fake java (a shell script that records what it gets) and
// on the real JDK of this machine.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "support/FakeJavaHome.h"
#include "support/LauncherProcessTest.h"

namespace {

using testsupport::LauncherFileBuilder;
using testsupport::LauncherResult;
using testsupport::readFile;
using testsupport::writeFile;
using Args = std::vector<std::string>;

const char* const kJvmSettings =
    "JVM_EXE: bin/java\n"
    "CLASSPATH: \"-cp \"\n"
    "CLASSPATH_SEPARATOR: :\n"
    "SYSTEM: -D\n"
    "SYSTEM_SEPARATOR: =\n";

class LaunchProcessTest : public testsupport::LauncherProcessTest {
  protected:
    // The fake java also copies the class path archive, which is gone once
    // the launcher has ended.
    LaunchProcessTest()
        : home_(work_.file("jdk")),
          java_(home_, "if [ \"$1\" = -cp ]; then cat \"$2\" > " +
                           testsupport::shellQuote(work_.file("archive")) + "; fi\nexit 42\n") {
        writeFile(work_.file("launch.tag"),
                  "COMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" %CP%() "
                  "%SYSTEMPROP%(\"\"p\"\", \"\"@JVM_HOME@\"\") Main\"\n");
        writeFile(work_.file("lib.jar"), "JARDATA");
    }

    // The files of work_/launcher after the instruction program (the default
    // verification archive comes last).
    LauncherFileBuilder pack(const std::string& instructions,
                             const LauncherFileBuilder::Files& files) {
        writeFile(work_.file("instructions.tag"), "INSTRUCTIONS:\n" + instructions + "/:\n");
        return launcherFile({{FILE_INSTRUCTIONS, "instructions.tag"}}).add(files);
    }

    LauncherResult run(const Args& args) {
        testsupport::LauncherOptions options;
        options.logFile = log();
        return LauncherProcessTest::run(work_.file("launcher"), args, options);
    }

    std::string home_;
    testsupport::FakeJavaHome java_;
};

TEST_F(LaunchProcessTest, IlaunchRunsTheEmbeddedJvmFileAndPassesTheExitCode) {
    writeFile(work_.file("embedded.jvm"), "JVM_HOME: " + home_ + "\n" + kJvmSettings);
    pack("  ILAUNCH 10 0\n", {{FILE_LAUNCH_SCRIPT, "launch.tag"}, {FILE_JVM, "embedded.jvm"}})
        .id(10)
        .add(FILE_CLASSPATH_ARCHIVE, "lib.jar")
        .write("launcher");

    LauncherResult result = run({"two words", "$HOME", "q\"x", "back\\slash"});

    EXPECT_EQ(42, result.status) << result.out << result.log;
    // The class path archive is extracted into a directory of temp_.
    Args args = java_.args();
    ASSERT_EQ(args.size(), 8u);
    EXPECT_EQ(0u, args[1].find(temp_.path() + "/")) << args[1];
    args[1] = args[1].substr(args[1].rfind('/'));
    EXPECT_EQ(args, (Args{"-cp", "/lib.jar", "-Dp=" + home_, "Main", "two words", "$HOME", "q\"x",
                          "back\\slash"}));
    EXPECT_EQ("JARDATA", readFile(work_.file("archive")));
    EXPECT_EQ(java_.env("JAVA_HOME"), home_);
    EXPECT_EQ(java_.env("WIZ"), std::nullopt);
    EXPECT_EQ(java_.cwd(), testsupport::realPath(work_.path()));
}

// The status of EXIT replaces that of the launch before it; the files the
// launch extracted are still removed (the fixture checks temp_).
TEST_F(LaunchProcessTest, ExitAfterALaunchEndsTheLauncherWithItsStatus) {
    writeFile(work_.file("embedded.jvm"), "JVM_HOME: " + home_ + "\n" + kJvmSettings);
    pack("  ILAUNCH 10 0\n  SET N2 = 3\n  EXIT @N2@\n  ILAUNCH 10 0\n",
         {{FILE_LAUNCH_SCRIPT, "launch.tag"}, {FILE_JVM, "embedded.jvm"}})
        .id(10)
        .add(FILE_CLASSPATH_ARCHIVE, "lib.jar")
        .write("launcher");

    LauncherResult result = run({});

    EXPECT_EQ(3, result.status) << result.err << result.log;
    EXPECT_EQ(1u, testsupport::countOf(result.log, "Executing launch script command: "))
        << result.log;
}

TEST_F(LaunchProcessTest, LaunchReadsTheJvmFileOnDiskAndWizardVariablesFollowThePurpose) {
    writeFile(work_.file("disk file.jvm"),
              "JVM_HOME: " + home_ + "\n" + kJvmSettings + "SET_ENV_FOR_WIZARD: WIZ = on\n");
    struct {
        long purpose;
        std::optional<std::string> wizard;
    } cases[] = {{0, "on"}, {1, std::nullopt}, {2, "on"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.purpose);
        pack("  LAUNCH \"" + work_.file("disk file.jvm") + "\" 0\n",
             {{FILE_LAUNCH_SCRIPT, "launch.tag"}})
            .purpose(c.purpose)
            .write("launcher");
        EXPECT_EQ(42, run({}).status);
        EXPECT_EQ(java_.env("WIZ"), c.wizard);
        EXPECT_EQ(java_.args(), (Args{"-Dp=" + home_, "Main"}));
    }
}

// "JVM_HOME: /opt/jdk\\" runs /opt/jdk/bin/java; a match file (it names a
// JVM_FILE) holds a home found on disk, which keeps its backslash.
TEST_F(LaunchProcessTest, AGivenHomeDropsOneTrailingBackslashAndAFoundOneKeepsIt) {
    testsupport::FakeJavaHome found(home_ + "\\", "exit 42\n");
    for (std::string matchFile : {"", "JVM_FILE: m.jvm\n"}) {
        SCOPED_TRACE(matchFile);
        writeFile(work_.file("m.jvm"), "JVM_HOME: " + home_ + "\\\n" + matchFile + kJvmSettings);
        pack("  LAUNCH \"" + work_.file("m.jvm") + "\" 0\n", {{FILE_LAUNCH_SCRIPT, "launch.tag"}})
            .write("launcher");
        EXPECT_EQ(42, run({}).status);
        std::string home = matchFile.empty() ? home_ : found.home();
        EXPECT_EQ((matchFile.empty() ? java_ : found).args(), (Args{"-Dp=" + home, "Main"}));
    }
}

// The user's own .ja file, named after the launcher as its side files are,
// adds its arguments after those of the side file, in an absolute
// configuration home only.
TEST_F(LaunchProcessTest, UserJavaArgumentsFollowTheSideFile) {
    writeFile(work_.file("embedded.jvm"), "JVM_HOME: " + home_ + "\n" + kJvmSettings);
    writeFile(work_.file("launch.tag"),
              "COMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" %RUNTIME_JAVAARGS%() Main\"\n");
    std::string launcher =
        pack("  ILAUNCH 10 0\n", {{FILE_LAUNCH_SCRIPT, "launch.tag"}, {FILE_JVM, "embedded.jvm"}})
            .id(10)
            .write("app.bin");
    writeFile(work_.file("app.ja"), "-Dside=1\n");
    testsupport::makeDirectories(work_.file("config/cvlaunch"));
    testsupport::makeDirectories(work_.file("home/.config/cvlaunch"));
    writeFile(work_.file("config/cvlaunch/app.ja"), "-Duser=\"a b\" -Dhome=@JVM_HOME@\n-Xss2m\n");
    writeFile(work_.file("home/.config/cvlaunch/app.ja"), "-Dfrom=home\n");
    const Args user = {"-Dside=1", "-Duser=a b", "-Dhome=" + home_, "-Xss2m", "Main"};
    const Args home = {"-Dside=1", "-Dfrom=home", "Main"};
    const Args none = {"-Dside=1", "Main"};
    const std::string config = work_.file("config");
    struct Row {
        std::string xdgConfigHome, home;  // kUnset: not set
        Args args;
    } rows[] = {
        {config, work_.file("home"), user},   {config, testsupport::kUnset, user},
        {"config", work_.file("home"), home}, {"", work_.file("home"), home},
        {testsupport::kUnset, "home", none},  {testsupport::kUnset, testsupport::kUnset, none},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.xdgConfigHome + " " + row.home);
        testsupport::LauncherOptions options;
        options.env["XDG_CONFIG_HOME"] = row.xdgConfigHome;
        options.env["HOME"] = row.home;
        EXPECT_EQ(42, LauncherProcessTest::run(launcher, {}, options).status);
        EXPECT_EQ(java_.args(), row.args);
    }
}

// An entry's name is only a name: an archive named like a macro is extracted
// once, and its path reaches java as it is.
TEST_F(LaunchProcessTest, EntryNamesWithMacroCharactersAreOnlyNames) {
    writeFile(work_.file("embedded.jvm"), "JVM_HOME: " + home_ + "\n" + kJvmSettings);
    for (const std::string name : {"%CP%()", "@JVM_HOME@#HOME#%TEMP_DIR%()", "a;b $(x) `y`"}) {
        SCOPED_TRACE(name);
        pack("  ILAUNCH 10 0\n", {{FILE_LAUNCH_SCRIPT, "launch.tag"}, {FILE_JVM, "embedded.jvm"}})
            .id(10)
            .add(FILE_CLASSPATH_ARCHIVE, "lib.jar")
            .name(name)
            .write("launcher");
        EXPECT_EQ(42, run({}).status);
        Args args = java_.args();
        ASSERT_EQ(args.size(), 4u);
        EXPECT_EQ(args[1].substr(args[1].rfind('/') + 1), name);
        EXPECT_EQ("JARDATA", readFile(work_.file("archive")));
    }
}

TEST_F(LaunchProcessTest, MissingLaunchScriptOrJvmFileEndsWith255) {
    writeFile(work_.file("embedded.jvm"), "JVM_HOME: " + home_ + "\n");
    pack("  ILAUNCH 99 0\n", {{FILE_LAUNCH_SCRIPT, "launch.tag"}, {FILE_JVM, "embedded.jvm"}})
        .id(10)
        .write("launcher");
    EXPECT_EQ(255, run({}).status);
    EXPECT_NE(std::string::npos,
              readFile(log()).find(
                  "ERROR: Unable to launch the internal launch script with the internal JVM "
                  "file. Either the launch script or the JVM file is missing from the launcher."));

    pack("  LAUNCH \"" + work_.file("embedded.jvm") + "\" 0\n", {}).write("launcher");
    EXPECT_EQ(255, run({}).status);
    EXPECT_FALSE(java_.ran());
}

TEST_F(LaunchProcessTest, RealJdkRunsThePackedDemoApplication) {
    std::string jdk = testsupport::findJDK();
    std::string helloJar = std::string(TEST_BINARY_DIR) + "/examples/hello.jar";
    if (jdk.empty() || !testsupport::fileExists(helloJar)) {
        GTEST_SKIP() << "no JDK under /usr/lib/jvm, or no " << helloJar;
    }
    writeFile(work_.file("real.jvm"), "DESC: Real JDK\nJVM_PROPERTIES: java.home=" + jdk +
                                          "...\nPATH_HINT: " + jdk + "\n" + kJvmSettings);
    writeFile(work_.file("launch.tag"),
              "DISPLAY_CONSOLE: 1\nCOMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" %CP%() Hello\"\n");
    pack(
        "  FIND_JVM 0 0\n  JMP0 @N1@ nojvm\n  LAUNCH \"@S2@\" 0\n  GOTO end\n  :nojvm\n"
        "  SET N2 = 1\n  :end\n",
        {{FILE_LAUNCH_SCRIPT, "launch.tag"},
         {FILE_JVM, "real.jvm"},
         {FILE_CLASSPATH_ARCHIVE, helloJar}})
        .write("launcher");

    LauncherResult result = run({"two words", "$HOME", "`x`", "--exit", "5"});

    EXPECT_EQ(5, result.status) << result.out << result.log;
    EXPECT_NE(std::string::npos, result.out.find(" in " + jdk + "\n")) << result.out;
    EXPECT_NE(std::string::npos, result.out.find("argument 1: [two words]\n"
                                                 "argument 2: [$HOME]\n"
                                                 "argument 3: [`x`]\n"))
        << result.out;
}

}  // namespace
