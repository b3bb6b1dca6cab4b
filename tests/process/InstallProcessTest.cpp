// The bundled JVM installer, the embedded launcher and the application
// archive, run through real launcher files made with cvpack's writer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/FakeJavaHome.h"
#include "support/LauncherProcessTest.h"

namespace {

using testsupport::LauncherResult;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

// An installer that puts a fake JVM into its working directory and
// describes it in the file "jvm".
const char kInstaller[] =
    "#!/bin/sh\n"
    "mkdir -p bin\n"
    "cat > bin/java <<'JAVA'\n"
    "#!/bin/sh\n"
    "for a in \"$@\"; do echo \"[$a]\"; done\n"
    "echo \"JAVA_HOME=$JAVA_HOME\"\n"
    "exit 4\n"
    "JAVA\n"
    "chmod +x bin/java\n"
    "printf 'DESC: installed\\nJVM_EXE: bin/java\\n' > jvm\n";

const char kDisplayLaunch[] =
    "DISPLAY_CONSOLE: 1\n"
    "AUTO_SET_WORKING_DIR: 0\n"
    "COMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\"\"\n";

class InstallProcessTest : public testsupport::LauncherProcessTest {
  protected:
    // A launcher of the program and the files, without a verification archive.
    std::string pack(const std::string& name,
                     const testsupport::LauncherFileBuilder::Files& files = {}) const {
        return launcherFile({{FILE_INSTRUCTIONS, "program.tag"}})
            .add(files)
            .withoutVerifyArchive()
            .write(name);
    }

    LauncherResult run(const std::string& launcher, const std::vector<std::string>& args,
                       const std::string& input = "") {
        testsupport::LauncherOptions options;
        options.logFile = log();
        options.input = input;
        return LauncherProcessTest::run(launcher, args, options);
    }

    void program(const std::string& instructions) {
        writeFile(work_.file("program.tag"), "INSTRUCTIONS:\n" + instructions + "/:\n");
    }
};

TEST_F(InstallProcessTest, ProgramWithoutJVMInstallsTheBundledOneAndLaunchesWithIt) {
    program(
        "  FIND_JVM 0 0\n  JMP0 @N1@ install\n  GOTO end\n  :install\n"
        "  INSTALL_JVM 1\n  LAUNCH \"@S1@\" 0\n  :end\n");
    writeFile(work_.file("none.jvm"), "DESC: nowhere\nJVM_EXE: bin/java\n");
    writeFile(work_.file("launch.tag"), kDisplayLaunch);
    writeFile(work_.file("installer.sh"), kInstaller, 0644);
    std::string launcher = pack("app", {{FILE_LAUNCH_SCRIPT, "launch.tag"},
                                        {FILE_JVM, "none.jvm"},
                                        {FILE_JVM_INSTALLER, "installer.sh"}});
    LauncherResult result = run(launcher, {"a b", "c\"d"});
    EXPECT_EQ(result.status, 4) << result.out << result.log;
    EXPECT_NE(result.err.find("Preparing Java(tm) Virtual Machine..."), std::string::npos);
    EXPECT_NE(result.out.find("[a b]\n[c\"d]\nJAVA_HOME=" + temp_.path() + "/cvj"),
              std::string::npos)
        << result.out;
}

TEST_F(InstallProcessTest, InstallerWithoutJvmFileLeavesN1AtZero) {
    program("  INSTALL_JVM 0\n  JMP0 @N1@ failed\n  ILAUNCH 99 0\n  :failed\n");
    writeFile(work_.file("installer.sh"), "#!/bin/sh\necho installing\n");
    std::string launcher = pack("app", {{FILE_JVM_INSTALLER, "installer.sh"}});
    LauncherResult result = run(launcher, {});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out.find("installing"), std::string::npos);  // captured
    EXPECT_NE(result.log.find("ERROR: Invalid bundled JVM. Missing 'jvm' file.\n"),
              std::string::npos);
}

TEST_F(InstallProcessTest, MissingInstallerIsAnErrorInInstructions) {
    program("  INSTALL_JVM 1\n");
    std::string launcher = pack("app");
    LauncherResult result = run(launcher, {"-cv:silent"});
    EXPECT_EQ(result.status, 255);
    EXPECT_NE(result.log.find("ERROR: No JVM installer was included in the launcher.\n"),
              std::string::npos);
}

TEST_F(InstallProcessTest, PromptedDestinationIsReadFromStandardInput) {
    program("  INSTALL_JVM 2\n  JMP0 @N1@ none\n  LAUNCH \"@S1@\" 0\n  :none\n");
    writeFile(work_.file("launch.tag"), kDisplayLaunch);
    writeFile(work_.file("installer.sh"), kInstaller);
    std::string launcher =
        pack("app", {{FILE_LAUNCH_SCRIPT, "launch.tag"}, {FILE_JVM_INSTALLER, "installer.sh"}});
    TempDir destination;
    LauncherResult result = run(launcher, {"x"}, destination.path() + "\n");
    EXPECT_EQ(result.status, 4) << result.out;
    EXPECT_NE(result.err.find("Supply the destination directory for the Java Virtual Machine:"),
              std::string::npos);
    std::string jvm = readFile(destination.file("jvm"));
    EXPECT_NE(jvm.find("JVM_HOME:  " + destination.path() + "\n"), std::string::npos) << jvm;
    EXPECT_NE(jvm.find("JVM_FILE:  " + destination.file("jvm") + "\n"), std::string::npos);
    EXPECT_NE(jvm.find("JVM_TEMP:  1\n"), std::string::npos);
    EXPECT_FALSE(testsupport::fileExists(destination.file("installer.sh")));

    // Silent mode asks nothing and installs nothing.
    LauncherResult silent = run(launcher, {"-cv:silent"}, destination.path() + "\n");
    EXPECT_EQ(silent.status, 0);
    EXPECT_EQ(silent.out, "");
}

TEST_F(InstallProcessTest, InstallActionPrintsTheJvmFileItCompleted) {
    writeFile(work_.file("installer.sh"), kInstaller, 0755);
    TempDir destination;
    writeFile(work_.file("in.tag"),
              "ACTION: INSTALL_JVM\nINSTALL_JVM_EXE: installer.sh\n"
              "INSTALL_JVM_DEST: " +
                  destination.path() + "\n");
    LauncherResult result = run(testsupport::cvlaunchPath(), {"-cv:in", "in.tag"});
    EXPECT_EQ(result.status, 0) << result.out;
    EXPECT_EQ(result.out, destination.file("jvm") + "\n");
    std::string jvm = readFile(destination.file("jvm"));
    EXPECT_NE(jvm.find("JVM_TEMP:  0\n"), std::string::npos) << jvm;

    // Without its "jvm" file the action fails.
    writeFile(work_.file("none.tag"),
              "ACTION: INSTALL_JVM\nINSTALL_JVM_EXE: /bin/true\n"
              "INSTALL_JVM_DEST: " +
                  temp_.path() + "\n");
    LauncherResult missing = run(testsupport::cvlaunchPath(), {"-cv:in", "none.tag"});
    EXPECT_EQ(missing.status, 255);
    EXPECT_NE(missing.err.find("Unable to load input file: " + temp_.path() + "/jvm"),
              std::string::npos);
}

class EmbeddedLauncherTest : public InstallProcessTest {
  protected:
    // The inner launcher runs a fake Java from a fixed home with whatever
    // arguments it was given.
    std::string packInner() {
        writeFile(work_.file("inner.tag"), "INSTRUCTIONS:\n  ILAUNCH 5 0\n/:\n");
        writeFile(work_.file("inner.jvm"), "JVM_HOME: " + java_.home() + "\nJVM_EXE: java\n");
        writeFile(work_.file("launch.tag"), kDisplayLaunch);
        return launcherFile({{FILE_INSTRUCTIONS, "inner.tag"},
                             {FILE_LAUNCH_SCRIPT, "launch.tag"},
                             {FILE_JVM, "inner.jvm"}})
            .id(5)
            .withoutVerifyArchive()
            .write("inner");
    }

    TempDir fakeHome_;
    testsupport::FakeJavaHome java_{fakeHome_.path(), "exit 4\n", "java"};
};

TEST_F(EmbeddedLauncherTest, ArgumentsReachTheEmbeddedLauncherIntactAndNothingIsLeft) {
    program("  EXECUTE_LAUNCHER 1\n  ILAUNCH 77 0\n");
    std::string launcher = pack("outer", {{FILE_EMBEDDED_LAUNCHER, packInner()}});
    LauncherResult result = run(launcher, {"a", "b c", "q\"uote", "back\\", "$HOME", ""});
    EXPECT_EQ(result.status, 4) << result.out << result.log;
    EXPECT_EQ(java_.args(),
              (std::vector<std::string>{"a", "b c", "q\"uote", "back\\", "$HOME", ""}));
}

// Typed by anyone, "-cv:orig" deletes no launcher that is not such a copy.
TEST_F(EmbeddedLauncherTest, OrigOptionKeepsALauncherOutsideACopyDirectory) {
    program("  SET N1 = 1\n");
    std::string launcher = pack("setup");
    LauncherResult result = run(launcher, {"-cv:orig", "/elsewhere/setup"});
    EXPECT_EQ(result.status, 0) << result.out << result.log;
    EXPECT_TRUE(testsupport::fileExists(launcher));
    std::string dir = testsupport::realPath(work_.path());
    EXPECT_NE(result.log.find("WARNING: Keeping the launcher file " + dir +
                              "/setup despite -cv:orig: its directory " + dir +
                              " is not a temporary \"cvj\" directory.\n"),
              std::string::npos)
        << result.log;
}

TEST_F(EmbeddedLauncherTest, PositionOfAnotherFileTypeIsLoggedAndTheProgramGoesOn) {
    writeFile(work_.file("installer.sh"), kInstaller);
    program("  EXECUTE_LAUNCHER 1\n  SET S1 = went-on\n  EXECUTE_LAUNCHER 9\n");
    std::string launcher = pack("outer", {{FILE_JVM_INSTALLER, "installer.sh"}});
    LauncherResult result = run(launcher, {});
    EXPECT_EQ(result.status, 0);
    const std::string& text = result.log;
    size_t first = text.find("ERROR: Unable to execute the embedded launcher.\n");
    ASSERT_NE(first, std::string::npos) << text;
    EXPECT_NE(text.find("ERROR: Unable to execute the embedded launcher.\n", first + 1),
              std::string::npos);
}

TEST_F(InstallProcessTest, ApplicationArchiveComesFromThePayloadOrBesideTheLauncher) {
    writeFile(work_.file("app.jar"), "archive bytes");
    writeFile(work_.file("program.tag"), "INSTRUCTIONS:\n  ILAUNCH 2 0\n/:\n");
    writeFile(work_.file("cat.tag"), "DISPLAY_CONSOLE: 1\nCOMMAND: cat %APPLICATION_ARCHIVE%()\n");
    writeFile(work_.file("any.jvm"), "JVM_EXE: x\n");
    std::string launcher = pack("app", {{FILE_LAUNCH_SCRIPT, "cat.tag"},
                                        {FILE_JVM, "any.jvm"},
                                        {FILE_APPLICATION_ARCHIVE, "app.jar"}});
    LauncherResult embedded = run(launcher, {});
    EXPECT_EQ(embedded.status, 0) << embedded.log;
    EXPECT_NE(embedded.out.find("archive bytes"), std::string::npos);

    writeFile(work_.file("lib-app.jar"), "beside the launcher");
    writeFile(work_.file("cat.tag"),
              "DISPLAY_CONSOLE: 1\nCOMMAND: cat %APPLICATION_ARCHIVE%(\"lib-app.jar\")\n");
    std::string beside = pack("app2", {{FILE_LAUNCH_SCRIPT, "cat.tag"}, {FILE_JVM, "any.jvm"}});
    LauncherResult copied = run(beside, {});
    EXPECT_EQ(copied.status, 0) << copied.log;
    EXPECT_NE(copied.out.find("beside the launcher"), std::string::npos);
}

}  // namespace
