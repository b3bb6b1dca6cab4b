// The LAUNCH and ILAUNCH instructions, run through real launcher files made
// with cvpack: on a fake java (a shell script that records what it gets) and
// on the real JDK of this machine.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
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

const char* const jvmSettings =
    "JVM_EXE: bin/java\n"
    "CLASSPATH: \"-cp \"\n"
    "CLASSPATH_SEPARATOR: :\n"
    "SYSTEM: -D\n"
    "SYSTEM_SEPARATOR: =\n";

// A JDK under /usr/lib/jvm, as a real path; empty when there is none.
std::string findJDK() {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/usr/lib/jvm", error)) {
        if (access((entry.path() / "bin/java").c_str(), X_OK) == 0) {
            return std::filesystem::canonical(entry.path(), error).string();
        }
    }
    return "";
}

class LaunchProcessTest : public ::testing::Test {
  protected:
    LaunchProcessTest() : home_(work_.file("jdk")) {
        runProcess({"/bin/mkdir", "-p", home_ + "/bin"});
        // Records its arguments, JAVA_HOME, WIZ, its directory and the class
        // path archive (which is gone once the launcher has ended).
        writeFile(home_ + "/bin/java",
                  "#!/bin/sh\n"
                  "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"" +
                      work_.file("args") +
                      "\"\n"
                      "printf 'JAVA_HOME=%s\\nWIZ=%s\\nPWD=%s\\n' \"$JAVA_HOME\" \"${WIZ-unset}\" "
                      "\"$(pwd -P)\" > \"" +
                      work_.file("env") +
                      "\"\n"
                      "if [ \"$1\" = -cp ]; then cat \"$2\" > \"" +
                      work_.file("archive") +
                      "\"; fi\n"
                      "exit 42\n",
                  0755);
        writeFile(work_.file("launch.tag"),
                  "COMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" %CP%() "
                  "%SYSTEMPROP%(\"\"p\"\", \"\"@JVM_HOME@\"\") Main\"\n");
        writeFile(work_.file("lib.jar"), "JARDATA");
    }
    void TearDown() override { EXPECT_TRUE(temp_.isEmpty()) << "temporary files left behind"; }

    // Packs work_/launcher: the instruction program and the given cvpack
    // arguments (the default verification archive comes with it).
    void pack(const std::string& instructions, std::vector<std::string> args) {
        writeFile(work_.file("instructions.tag"), "INSTRUCTIONS:\n" + instructions + "/:\n");
        args.insert(args.begin(),
                    {testsupport::cvpackPath(), "--instructions", work_.file("instructions.tag")});
        args.insert(args.end(), {"-o", work_.file("launcher")});
        ProcessResult packed = runProcess(args);
        ASSERT_EQ(0, packed.status) << packed.err;
    }

    ProcessResult run(std::vector<std::string> args) {
        args.insert(args.begin(), {work_.file("launcher"), "-cv:tempdir", temp_.path(), "-cv:log",
                                   work_.file("log")});
        ProcessOptions options;
        options.env["LANG"] = testsupport::kUnset;
        return runProcess(args, options);
    }

    TempDir work_;
    TempDir temp_;
    std::string home_;
};

TEST_F(LaunchProcessTest, IlaunchRunsTheEmbeddedJvmFileAndPassesTheExitCode) {
    writeFile(work_.file("embedded.jvm"), "JVM_HOME: " + home_ + "\n" + jvmSettings);
    pack("  ILAUNCH 10 0\n",
         {"--launch-script", work_.file("launch.tag"), "--jvm", work_.file("embedded.jvm"), "--id",
          "10", "--classpath-archive", work_.file("lib.jar")});

    ProcessResult result = run({"two words", "$HOME", "q\"x", "back\\slash"});

    EXPECT_EQ(42, result.status) << result.out << readFile(work_.file("log"));
    std::string args = readFile(work_.file("args"));
    std::string archiveStart = "-cp\n" + temp_.path() + "/";
    EXPECT_EQ(0u, args.find(archiveStart)) << args;
    size_t archiveEnd = args.find("/lib.jar\n");
    ASSERT_NE(std::string::npos, archiveEnd) << args;
    EXPECT_EQ("-Dp=" + home_ + "\nMain\ntwo words\n$HOME\nq\"x\nback\\slash\n",
              args.substr(archiveEnd + 9));
    EXPECT_EQ("JARDATA", readFile(work_.file("archive")));
    std::string realWork = std::filesystem::canonical(work_.path()).string();
    EXPECT_EQ("JAVA_HOME=" + home_ + "\nWIZ=unset\nPWD=" + realWork + "\n",
              readFile(work_.file("env")));
}

TEST_F(LaunchProcessTest, LaunchReadsTheJvmFileOnDiskAndWizardVariablesFollowThePurpose) {
    writeFile(work_.file("disk file.jvm"),
              "JVM_HOME: " + home_ + "\n" + jvmSettings + "SET_ENV_FOR_WIZARD: WIZ = on\n");
    struct {
        const char* purpose;
        const char* wizard;
    } cases[] = {{"0", "WIZ=on\n"}, {"1", "WIZ=unset\n"}, {"2", "WIZ=on\n"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.purpose);
        pack("  LAUNCH \"" + work_.file("disk file.jvm") + "\" 0\n",
             {"--launch-script", work_.file("launch.tag"), "--purpose", c.purpose});
        EXPECT_EQ(42, run({}).status);
        EXPECT_NE(std::string::npos, readFile(work_.file("env")).find(c.wizard));
        EXPECT_EQ("-Dp=" + home_ + "\nMain\n", readFile(work_.file("args")));
    }
}

TEST_F(LaunchProcessTest, MissingLaunchScriptOrJvmFileEndsWith255) {
    writeFile(work_.file("embedded.jvm"), "JVM_HOME: " + home_ + "\n");
    pack("  ILAUNCH 99 0\n", {"--launch-script", work_.file("launch.tag"), "--jvm",
                              work_.file("embedded.jvm"), "--id", "10"});
    EXPECT_EQ(255, run({}).status);
    EXPECT_NE(
        std::string::npos,
        readFile(work_.file("log"))
            .find("ERROR: Unable to launch the internal launch script with the internal JVM "
                  "file. Either the launch script or the JVM file is missing from the launcher."));

    pack("  LAUNCH \"" + work_.file("embedded.jvm") + "\" 0\n", {});
    EXPECT_EQ(255, run({}).status);
    EXPECT_FALSE(testsupport::fileExists(work_.file("args")));
}

TEST_F(LaunchProcessTest, RealJdkRunsThePackedDemoApplication) {
    std::string jdk = findJDK();
    std::string helloJar = std::string(TEST_BINARY_DIR) + "/examples/hello.jar";
    if (jdk.empty() || !testsupport::fileExists(helloJar)) {
        GTEST_SKIP() << "no JDK under /usr/lib/jvm, or no " << helloJar;
    }
    writeFile(work_.file("real.jvm"), "DESC: Real JDK\nJVM_PROPERTIES: java.home=" + jdk +
                                          "...\nPATH_HINT: " + jdk + "\n" + jvmSettings);
    writeFile(work_.file("launch.tag"),
              "DISPLAY_CONSOLE: 1\nCOMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" %CP%() Hello\"\n");
    pack(
        "  FIND_JVM 0 0\n  JMP0 @N1@ nojvm\n  LAUNCH \"@S2@\" 0\n  GOTO end\n  :nojvm\n"
        "  SET N2 = 1\n  :end\n",
        {"--launch-script", work_.file("launch.tag"), "--jvm", work_.file("real.jvm"),
         "--classpath-archive", helloJar});

    ProcessResult result = run({"two words", "$HOME", "`x`", "--exit", "5"});

    EXPECT_EQ(5, result.status) << result.out << readFile(work_.file("log"));
    EXPECT_NE(std::string::npos, result.out.find(" in " + jdk + "\n")) << result.out;
    EXPECT_NE(std::string::npos, result.out.find("argument 1: [two words]\n"
                                                 "argument 2: [$HOME]\n"
                                                 "argument 3: [`x`]\n"))
        << result.out;
}

}  // namespace
