// The bundled JVM installer, the embedded launcher and the application
// archive, run through real launcher files made with cvpack.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace {

using testsupport::ProcessOptions;
using testsupport::ProcessResult;
using testsupport::readFile;
using testsupport::runProcess;
using testsupport::TempDir;
using testsupport::writeFile;

// A fake Java: prints each argument in brackets and JAVA_HOME.
const char kFakeJava[] =
    "#!/bin/sh\n"
    "for a in \"$@\"; do echo \"[$a]\"; done\n"
    "echo \"JAVA_HOME=$JAVA_HOME\"\n"
    "exit 4\n";

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

class InstallProcessTest : public ::testing::Test {
  protected:
    // Packs a launcher file from (option, file name) pairs of the work dir.
    std::string pack(const std::string& name,
                     const std::vector<std::pair<std::string, std::string>>& files) {
        std::vector<std::string> args = {testsupport::cvpackPath(), "--no-verify-archive"};
        for (const auto& file : files) {
            args.push_back(file.first);
            args.push_back(work_.file(file.second));
        }
        args.push_back("-o");
        args.push_back(work_.file(name));
        ProcessResult packed = runProcess(args);
        EXPECT_EQ(packed.status, 0) << packed.err;
        return work_.file(name);
    }

    ProcessResult run(const std::string& launcher, std::vector<std::string> args,
                      const std::string& input = "") {
        args.insert(args.begin(), {launcher, "-cv:tempdir", temp_.path(), "-cv:log", log()});
        ProcessOptions options;
        options.workingDir = work_.path();
        options.input = input;
        options.env["LANG"] = testsupport::kUnset;
        return runProcess(args, options);
    }

    std::string log() const { return work_.file("run.log"); }
    void program(const std::string& instructions) {
        writeFile(work_.file("program.tag"), "INSTRUCTIONS:\n" + instructions + "/:\n");
    }

    TempDir work_;
    TempDir temp_;
};

TEST_F(InstallProcessTest, ProgramWithoutJVMInstallsTheBundledOneAndLaunchesWithIt) {
    program(
        "  FIND_JVM 0 0\n  JMP0 @N1@ install\n  GOTO end\n  :install\n"
        "  INSTALL_JVM 1\n  LAUNCH \"@S1@\" 0\n  :end\n");
    writeFile(work_.file("none.jvm"), "DESC: nowhere\nJVM_EXE: bin/java\n");
    writeFile(work_.file("launch.tag"), kDisplayLaunch);
    writeFile(work_.file("installer.sh"), kInstaller, 0644);
    std::string launcher = pack("app", {{"--instructions", "program.tag"},
                                        {"--launch-script", "launch.tag"},
                                        {"--jvm", "none.jvm"},
                                        {"--jvm-installer", "installer.sh"}});
    ProcessResult result = run(launcher, {"a b", "c\"d"});
    EXPECT_EQ(result.status, 4) << result.out << readFile(log());
    EXPECT_NE(result.out.find("Preparing Java(tm) Virtual Machine..."), std::string::npos);
    EXPECT_NE(result.out.find("[a b]\n[c\"d]\nJAVA_HOME=" + temp_.path() + "/cvj"),
              std::string::npos)
        << result.out;
    EXPECT_TRUE(temp_.isEmpty());  // the installed JVM was temporary
}

TEST_F(InstallProcessTest, InstallerWithoutJvmFileLeavesN1AtZero) {
    program("  INSTALL_JVM 0\n  JMP0 @N1@ failed\n  ILAUNCH 99 0\n  :failed\n");
    writeFile(work_.file("installer.sh"), "#!/bin/sh\necho installing\n");
    std::string launcher =
        pack("app", {{"--instructions", "program.tag"}, {"--jvm-installer", "installer.sh"}});
    ProcessResult result = run(launcher, {});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out.find("installing"), std::string::npos);  // captured
    EXPECT_NE(readFile(log()).find("ERROR: Invalid bundled JVM. Missing 'jvm' file.\n"),
              std::string::npos);
    EXPECT_TRUE(temp_.isEmpty());
}

TEST_F(InstallProcessTest, MissingInstallerIsAnErrorInInstructions) {
    program("  INSTALL_JVM 1\n");
    std::string launcher = pack("app", {{"--instructions", "program.tag"}});
    ProcessResult result = run(launcher, {"-cv:silent"});
    EXPECT_EQ(result.status, 255);
    EXPECT_NE(readFile(log()).find("ERROR: No JVM installer was included in the launcher.\n"),
              std::string::npos);
}

TEST_F(InstallProcessTest, PromptedDestinationIsReadFromStandardInput) {
    program("  INSTALL_JVM 2\n  JMP0 @N1@ none\n  LAUNCH \"@S1@\" 0\n  :none\n");
    writeFile(work_.file("launch.tag"), kDisplayLaunch);
    writeFile(work_.file("installer.sh"), kInstaller);
    std::string launcher = pack("app", {{"--instructions", "program.tag"},
                                        {"--launch-script", "launch.tag"},
                                        {"--jvm-installer", "installer.sh"}});
    TempDir destination;
    ProcessResult result = run(launcher, {"x"}, destination.path() + "\n");
    EXPECT_EQ(result.status, 4) << result.out;
    EXPECT_NE(result.out.find("Supply the destination directory for the Java Virtual Machine:"),
              std::string::npos);
    std::string jvm = readFile(destination.file("jvm"));
    EXPECT_NE(jvm.find("JVM_HOME:  " + destination.path() + "\n"), std::string::npos) << jvm;
    EXPECT_NE(jvm.find("JVM_FILE:  " + destination.file("jvm") + "\n"), std::string::npos);
    EXPECT_NE(jvm.find("JVM_TEMP:  1\n"), std::string::npos);
    EXPECT_FALSE(testsupport::fileExists(destination.file("installer.sh")));

    // Silent mode asks nothing and installs nothing.
    ProcessResult silent = run(launcher, {"-cv:silent"}, destination.path() + "\n");
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
    ProcessResult result = run(testsupport::cvlaunchPath(), {"-cv:in", "in.tag"});
    EXPECT_EQ(result.status, 0) << result.out;
    EXPECT_EQ(result.out, destination.file("jvm") + "\n");
    std::string jvm = readFile(destination.file("jvm"));
    EXPECT_NE(jvm.find("JVM_TEMP:  0\n"), std::string::npos) << jvm;

    // Without its "jvm" file the action fails.
    writeFile(work_.file("none.tag"),
              "ACTION: INSTALL_JVM\nINSTALL_JVM_EXE: /bin/true\n"
              "INSTALL_JVM_DEST: " +
                  temp_.path() + "\n");
    ProcessResult missing = run(testsupport::cvlaunchPath(), {"-cv:in", "none.tag"});
    EXPECT_EQ(missing.status, 255);
    EXPECT_NE(missing.out.find("Unable to load input file: " + temp_.path() + "/jvm"),
              std::string::npos);
}

class EmbeddedLauncherTest : public InstallProcessTest {
  protected:
    // The inner launcher runs a fake Java from a fixed home with whatever
    // arguments it was given.
    std::string packInner() {
        writeFile(fakeHome_.file("java"), kFakeJava, 0755);
        writeFile(work_.file("inner.tag"), "INSTRUCTIONS:\n  ILAUNCH 5 0\n/:\n");
        writeFile(work_.file("inner.jvm"), "JVM_HOME: " + fakeHome_.path() + "\nJVM_EXE: java\n");
        writeFile(work_.file("launch.tag"), kDisplayLaunch);
        std::vector<std::string> args = {testsupport::cvpackPath(),
                                         "--no-verify-archive",
                                         "--instructions",
                                         work_.file("inner.tag"),
                                         "--launch-script",
                                         work_.file("launch.tag"),
                                         "--jvm",
                                         work_.file("inner.jvm"),
                                         "--id",
                                         "5",
                                         "-o",
                                         work_.file("inner")};
        EXPECT_EQ(runProcess(args).status, 0);
        return "inner";
    }
    TempDir fakeHome_;
};

TEST_F(EmbeddedLauncherTest, ArgumentsReachTheEmbeddedLauncherIntactAndNothingIsLeft) {
    program("  EXECUTE_LAUNCHER 1\n  ILAUNCH 77 0\n");
    std::string launcher =
        pack("outer", {{"--instructions", "program.tag"}, {"--embedded-launcher", packInner()}});
    ProcessResult result = run(launcher, {"a", "b c", "q\"uote", "back\\", "$HOME", ""});
    EXPECT_EQ(result.status, 4) << result.out << readFile(log());
    EXPECT_NE(result.out.find("[a]\n[b c]\n[q\"uote]\n[back\\]\n[$HOME]\n[]\nJAVA_HOME="),
              std::string::npos)
        << result.out;
    EXPECT_TRUE(temp_.isEmpty());  // the copy and its directory removed themselves
}

TEST_F(EmbeddedLauncherTest, PositionOfAnotherFileTypeIsLoggedAndTheProgramGoesOn) {
    writeFile(work_.file("installer.sh"), kInstaller);
    program("  EXECUTE_LAUNCHER 1\n  SET S1 = went-on\n  EXECUTE_LAUNCHER 9\n");
    std::string launcher =
        pack("outer", {{"--instructions", "program.tag"}, {"--jvm-installer", "installer.sh"}});
    ProcessResult result = run(launcher, {});
    EXPECT_EQ(result.status, 0);
    std::string text = readFile(log());
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
    std::string launcher = pack("app", {{"--instructions", "program.tag"},
                                        {"--launch-script", "cat.tag"},
                                        {"--jvm", "any.jvm"},
                                        {"--app-archive", "app.jar"}});
    ProcessResult embedded = run(launcher, {});
    EXPECT_EQ(embedded.status, 0) << readFile(log());
    EXPECT_NE(embedded.out.find("archive bytes"), std::string::npos);

    testsupport::writeFile(work_.file("lib-app.jar"), "beside the launcher");
    writeFile(work_.file("cat.tag"),
              "DISPLAY_CONSOLE: 1\nCOMMAND: cat %APPLICATION_ARCHIVE%(\"lib-app.jar\")\n");
    std::string beside = pack(
        "app2",
        {{"--instructions", "program.tag"}, {"--launch-script", "cat.tag"}, {"--jvm", "any.jvm"}});
    ProcessResult copied = run(beside, {});
    EXPECT_EQ(copied.status, 0) << readFile(log());
    EXPECT_NE(copied.out.find("beside the launcher"), std::string::npos);
    EXPECT_TRUE(temp_.isEmpty());
}

}  // namespace
