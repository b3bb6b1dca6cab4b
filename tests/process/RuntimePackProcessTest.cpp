// cvpack --runtime and --jvm-installer in application mode: the options, the
// program that installs the carried runtime, the jdeps and jlink commands
// (with stand-in JDKs), the command that --print-config prints, which makes
// the same file, and the runtime linked from a real JDK and its listing.
#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "support/LauncherProcessTest.h"
#include "support/TestSupport.h"

namespace {

using testsupport::ProcessResult;
using testsupport::readFile;
using testsupport::writeFile;

const std::string kJdk17 = "/usr/lib/jvm/java-17-openjdk-amd64";
const std::string kJdk25 = "/usr/lib/jvm/temurin-25-jdk-amd64";
const std::string kDemoJar = std::string(TEST_BINARY_DIR) + "/examples/hello.jar";

ProcessResult cvpackIn(const std::string& directory, std::vector<std::string> args) {
    args.insert(args.begin(), testsupport::cvpackPath());
    testsupport::ProcessOptions options;
    options.workingDir = directory;
    return testsupport::runProcess(args, options);
}

// Runs the command that --print-config printed, with the cvpack under test.
ProcessResult runPrinted(const std::string& directory, const std::string& printed) {
    std::string command =
        testsupport::shellQuote(testsupport::cvpackPath()) + printed.substr(printed.find(' '));
    testsupport::ProcessOptions options;
    options.workingDir = directory;
    return testsupport::runInShell(command, {}, options);
}

const char kFind[] =
    "  // N1 tells whether a JVM that java.jvm accepts was found, S2 is its match file.\n";
const char kInstall[] =
    "  // The runtime carried by the launcher, from the user's runtime store (installed there on "
    "first use); S1 is its description file.\n  INSTALL_JVM 3\n";
const char kEnd[] = "  :nojvm\n  EXIT 1\n  :end\n/:\n";

const std::string kRuntimeFirstProgram =
    std::string("INSTRUCTIONS:\n") + kFind +
    "  FIND_JVM 0 0\n  JMP0 @N1@ runtime\n  LAUNCH \"@S2@\" "
    "0\n  GOTO end\n  :runtime\n" +
    kInstall + "  JMP0 @N1@ nojvm\n  LAUNCH \"@S1@\" 0\n  GOTO end\n" + kEnd;

class RuntimePackTest : public testsupport::LauncherProcessTest {
  protected:
    ProcessResult cvpack(const std::vector<std::string>& args) const {
        return cvpackIn(work_.path(), args);
    }
    // A JDK of shell scripts in work_/<name>: jdeps prints its modules,
    // jlink makes an image of a release file and bin/java, all with one
    // fixed time, so that two links give the same image; each writes its
    // arguments, one a line, to work_/<name>/<tool>.args. A body given
    // replaces the tool's own.
    std::string fakeJdk(const std::string& name, const std::string& version, bool jmods,
                        const std::string& jdeps = "", const std::string& jlink = "") const;
};

std::string RuntimePackTest::fakeJdk(const std::string& name, const std::string& version,
                                     bool jmods, const std::string& jdeps,
                                     const std::string& jlink) const {
    std::string home = work_.file(name);
    testsupport::makeDirectories(home + "/bin");
    if (jmods) {
        testsupport::makeDirectories(home + "/jmods");
    }
    writeFile(home + "/release", "IMPLEMENTOR=\"x\"\nJAVA_VERSION=\"" + version + "\"\n");
    auto tool = [&home](const std::string& tool, const std::string& body) {
        writeFile(home + "/bin/" + tool,
                  "#!/bin/sh\nprintf '%s\\n' \"$@\" > " + testsupport::shellQuote(home) + "/" +
                      tool + ".args\n" + body,
                  0755);
    };
    tool("jdeps", jdeps.empty() ? "echo java.logging,java.base\n" : jdeps);
    tool("jlink", !jlink.empty() ? jlink
                                 : "while [ $# -gt 1 ]; do [ \"$1\" = --output ] && out=$2; "
                                   "shift; done\nmkdir -p \"$out/bin\" && printf "
                                   "'JAVA_VERSION=\"" +
                                       version +
                                       "\"\\nMODULES=\"java.base java.logging\"\\n' > "
                                       "\"$out/release\" && printf '#!/bin/sh\\n' > "
                                       "\"$out/bin/java\" && find \"$out\" -exec touch -h -d "
                                       "@1000000000 {} +\n");
    return home;
}

TEST_F(RuntimePackTest, RefusesRuntimeOptionsThatDoNotFit) {
    writeFile(work_.file("inst.sh"), "#!/bin/sh\n", 0755);
    std::string jdk21 = fakeJdk("jdk21", "21.0.2", false);
    std::string jdk11 = fakeJdk("jdk11", "11.0.2", true);
    std::string jdeps = fakeJdk("jdeps", "17.0.1", true, "echo 'Error: bad jar' >&2\nexit 3\n");
    std::string jlink = fakeJdk("jlink", "17.0.1", true, "",
                                "echo 'Error: Module x not found'\necho "
                                "'java.lang.module.FindException: x'\nprintf '\\tat a.B(C.java)\\n'"
                                "\nexit 1\n");
    const std::vector<std::string> app = {"--main-jar", kDemoJar, "--main-class", "Hello"};
    struct Row {
        std::vector<std::string> args;  // after the main jar and class
        int status;
        std::string err;  // the first line
    } rows[] = {
        {{"--runtime", jdk21, "--jvm-installer", "inst.sh"},
         2,
         "cvpack: --runtime makes the launcher's JVM installer: give it or --jvm-installer, not "
         "both"},
        {{"--runtime-modules", "java.sql"},
         2,
         "cvpack: --runtime-modules needs --runtime JDK_HOME"},
        {{"--runtime", jdk21, "--runtime-modules", "+"},
         2,
         "cvpack: --runtime-modules '+': expected module names separated by commas, or + and such "
         "names to add"},
        {{"--runtime", jdk21, "--runtime-modules", "java.sql,,java.xml"},
         2,
         "cvpack: --runtime-modules 'java.sql,,java.xml': expected module names"},
        {{"--prefer-runtime"},
         2,
         "cvpack: --prefer-runtime needs --runtime JDK_HOME or --jvm-installer FILE"},
        {{"--search-disk", "--runtime", jdk21},
         2,
         "cvpack: --search-disk walks the whole file system for a JVM, which a launcher that "
         "carries its runtime never needs: drop it"},
        {{"--jvm-installer", "inst.sh", "--search-disk"}, 2, "cvpack: --search-disk walks"},
        {{"--runtime", work_.path()},
         1,
         "cvpack: cannot link a runtime from " + work_.path() + ": " + work_.path() +
             "/bin/jlink is missing (--runtime needs the home of a JDK)"},
        {{"--runtime", jdk11},
         1,
         "cvpack: cannot link a runtime from " + jdk11 +
             ": it is Java 11.0.2 (--runtime needs the home of a JDK 17 or later)"},
        {{"--runtime", jdk21, "--java", "17"},
         1,
         "cvpack: --java 17 leaves out the runtime that the launcher carries, Java 21.0.2"},
        {{"--runtime", jdk21, "--java", "22+"}, 1, "cvpack: --java 22+ leaves out"},
        {{"--runtime", jdk21, "--java", "11-20"}, 1, "cvpack: --java 11-20 leaves out"},
        {{"--runtime", jdeps},
         1,
         "cvpack: jdeps could not list the modules of the jars (exit status 3): Error: bad jar"},
        {{"--runtime", jlink, "--runtime-modules", "x"},
         1,
         "cvpack: runtime modules: x (from --runtime-modules)"},
    };
    for (Row& row : rows) {
        SCOPED_TRACE(row.err);
        row.args.insert(row.args.begin(), app.begin(), app.end());
        row.args.insert(row.args.end(), {"-o", "out"});
        std::vector<std::string> before = work_.entries();
        ProcessResult result = cvpack(row.args);
        EXPECT_EQ(result.status, row.status);
        EXPECT_EQ(result.err.substr(0, row.err.size()), row.err) << result.err;
        EXPECT_EQ(work_.entries(), before);
    }
    // A failing jlink's message, without its stack trace.
    EXPECT_EQ(
        cvpack({"--main-jar", kDemoJar, "--main-class", "Hello", "--runtime", jlink, "-o", "out"})
            .err,
        "cvpack: runtime modules: java.logging,java.base (from jdeps; add more with "
        "--runtime-modules +LIST)\ncvpack: jlink could not link the runtime (exit status "
        "1): Error: Module x not found\njava.lang.module.FindException: x\n");
}

// jdeps reads multi-release jars as the JDK's own release; jlink links from
// jmods where the JDK has them, and asks for no compression in the spelling
// of the JDK's release.
TEST_F(RuntimePackTest, JdepsAndJlinkGetTheOptionsOfTheJdksRelease) {
    struct Row {
        const char* version;
        bool jmods;
        const char* modulesOption;  // null: none
        std::string modules;
        const char* compress;
    } rows[] = {
        {"17.0.15", true, nullptr, "java.logging,java.base", "--compress=0"},
        {"20", false, "+java.sql,java.base,java.sql", "java.logging,java.base,java.sql",
         "--compress=0"},
        {"21.0.2", true, "jdk.zipfs", "jdk.zipfs", "--compress=zip-0"},
        {"25.0.3", false, nullptr, "java.logging,java.base", "--compress=zip-0"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.version);
        std::string jdk = fakeJdk(std::string("jdk-") + row.version, row.version, row.jmods);
        std::vector<std::string> args = {"--main-jar", kDemoJar, "--main-class", "Hello",
                                         "--runtime",  jdk,      "-o",           "out"};
        if (row.modulesOption != nullptr) {
            args.insert(args.end(), {"--runtime-modules", row.modulesOption});
        }
        ProcessResult result = cvpack(args);
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(testsupport::fileExists(jdk + "/jdeps.args"),
                  row.modulesOption == nullptr || row.modulesOption[0] == '+');
        if (row.modulesOption == nullptr) {
            EXPECT_EQ(readFile(jdk + "/jdeps.args"),
                      "--print-module-deps\n--ignore-missing-deps\n--multi-release\n" +
                          std::to_string(std::atoi(row.version)) + "\n-q\n" + kDemoJar + "\n");
        }
        std::string jlink = readFile(jdk + "/jlink.args");
        std::string expected = "--add-modules\n" + row.modules +
                               "\n--strip-debug\n--no-man-pages\n--no-header-files\n"
                               "--generate-cds-archive\n" +
                               row.compress + "\n" +
                               (row.jmods ? "--module-path\n" + jdk + "/jmods\n" : "") +
                               "--output\n";
        EXPECT_EQ(jlink.substr(0, expected.size()), expected) << jlink;
        std::remove(work_.file("out").c_str());
    }
}

// A packager's own installer gets the program of a carried runtime; the
// --java range stays as given (the installer's Java is unknown).
TEST_F(RuntimePackTest, ApplicationWithAnInstallerInstallsItWhenNoJvmFits) {
    writeFile(work_.file("inst.sh"), "#!/bin/sh\n", 0755);
    std::string runtimeLast = std::string("INSTRUCTIONS:\n") + kInstall +
                              "  JMP0 @N1@ search\n  LAUNCH \"@S1@\" 0\n  GOTO end\n  :search\n" +
                              kFind +
                              "  FIND_JVM 0 1\n  JMP0 @N1@ nojvm\n  LAUNCH \"@S2@\" 0\n  GOTO "
                              "end\n" +
                              kEnd;
    std::string plain = std::string("INSTRUCTIONS:\n") + kFind +
                        "  FIND_JVM 0 1\n  JMP0 @N1@ nojvm\n  LAUNCH \"@S2@\" 0\n  GOTO end\n" +
                        kEnd;
    struct Row {
        std::vector<std::string> args;
        std::string program;
    } rows[] = {
        {{}, plain},
        {{"--jvm-installer", "inst.sh"}, kRuntimeFirstProgram},
        {{"--file", "jvm-installer:inst.sh", "--prefer-runtime"}, runtimeLast},
    };
    for (Row& row : rows) {
        SCOPED_TRACE(row.args.size());
        row.args.insert(row.args.end(), {"--main-jar", kDemoJar, "--main-class", "Hello", "--java",
                                         "11", "--print-config", "config"});
        ProcessResult result = cvpack(row.args);
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(readFile(work_.file("config/program.tag")), row.program);
        EXPECT_NE(readFile(work_.file("config/java.jvm")).find("\nJAVA_RANGE: 11\n"),
                  std::string::npos);
    }
}

// The command that --print-config prints makes, byte for byte, the launcher
// that the same options make directly.
TEST_F(RuntimePackTest, PrintedCommandKeepsEveryOption) {
    writeFile(work_.file("inst.sh"), "#!/bin/sh\n", 0755);
    writeFile(work_.file("data.bin"), "data");
    testsupport::makeDirectories(work_.file("bin"));
    std::string jdk = fakeJdk("jdk", "21.0.2", false);
    struct Row {
        std::vector<std::string> args;
        std::string printed;  // the options after the class path archive
        std::string output;
    } rows[] = {
        {{}, " -o hello", "hello"},
        {{"--file", "jvm-installer:inst.sh:40:setup", "--compressed", "3:300", "--app-archive",
          "data.bin", "--purpose", "0", "--stub", testsupport::cvlaunchPath(), "-o", "bin/my app"},
         " --jvm-installer inst.sh --id 40 --name setup --compressed 3:300 --app-archive "
         "data.bin --stub " +
             testsupport::cvlaunchPath() + " --purpose 0 -o 'bin/my app'",
         "bin/my app"},
        {{"--file", "app-archive:data.bin:7:d2", "--no-verify-archive", "--prefer-runtime",
          "--jvm-installer", "inst.sh"},
         " --app-archive data.bin --id 7 --name d2 --jvm-installer inst.sh --no-verify-archive -o "
         "hello",
         "hello"},
        // The stand-in runtime: jvm, release, bin and bin/java, of 211 bytes.
        {{"--runtime", jdk, "--app-archive", "data.bin", "--prefer-runtime"},
         " --jvm-installer config/runtime --compressed 4:211 --app-archive data.bin -o hello",
         "hello"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.printed);
        std::vector<std::string> args = {"--main-jar", kDemoJar, "--main-class", "Hello"};
        args.insert(args.end(), row.args.begin(), row.args.end());
        std::vector<std::string> direct = args;
        direct.insert(direct.end(), {"-o", "direct"});
        ASSERT_EQ(cvpack(direct).status, 0);
        args.insert(args.end(), {"--print-config", "config"});
        ProcessResult printed = cvpack(args);
        ASSERT_EQ(printed.status, 0) << printed.err;
        std::string start = "--classpath-archive " + kDemoJar;
        EXPECT_EQ(printed.out.substr(printed.out.find(start) + start.size()), row.printed + "\n");
        ProcessResult packed = runPrinted(work_.path(), printed.out);
        ASSERT_EQ(packed.status, 0) << packed.err;
        EXPECT_TRUE(readFile(work_.file(row.output)) == readFile(work_.file("direct")));
        std::remove(work_.file(row.output).c_str());
    }
}

// A launcher with a runtime linked from the real JDK 17, made once for the
// suite (linking and packing a runtime take tens of seconds): the files that
// --print-config writes, and the launcher that the printed command packs
// from them.
class LinkedRuntimeTest : public ::testing::Test {
  protected:
    struct Packs {
        testsupport::TempDir directory;
        ProcessResult printed;  // cvpack ... --print-config config -o app
        ProcessResult packed;   // the printed command
    };

    static void SetUpTestSuite();
    static void TearDownTestSuite() { packs_.reset(); }
    void SetUp() override {
        if (!packs_) {
            GTEST_SKIP() << "no JDK 17 with jlink at " << kJdk17;
        }
        ASSERT_EQ(packs_->printed.status, 0) << packs_->printed.err;
        ASSERT_EQ(packs_->packed.status, 0) << packs_->packed.err;
    }

    static std::unique_ptr<Packs> packs_;
};

std::unique_ptr<LinkedRuntimeTest::Packs> LinkedRuntimeTest::packs_;

void LinkedRuntimeTest::SetUpTestSuite() {
    if (!testsupport::fileExists(kJdk17 + "/bin/jlink")) {
        return;
    }
    packs_.reset(new Packs);
    const std::string& work = packs_->directory.path();
    // A class that needs java.logging, which jdeps finds.
    writeFile(work + "/App.java",
              "public class App { public static void main(String[] a) { "
              "java.util.logging.Logger.getLogger(\"app\").info(\"hi\"); } }\n");
    ProcessResult compiled = testsupport::runInShell(
        "cd \"$1\" && \"$2/bin/javac\" -d classes App.java && \"$2/bin/jar\" cfe app.jar App -C "
        "classes .",
        {work, kJdk17});
    ASSERT_EQ(compiled.status, 0) << compiled.err;
    packs_->printed =
        cvpackIn(work, {"--main-jar", "app.jar", "--runtime", kJdk17, "--runtime-modules",
                        "+jdk.zipfs,java.logging", "--print-config", "config", "-o", "app"});
    packs_->packed = runPrinted(work, packs_->printed.out);
}

TEST_F(LinkedRuntimeTest, TellsTheModulesWritesTheProgramAndListsTheRuntime) {
    EXPECT_EQ(packs_->printed.err,
              "cvpack: runtime modules: java.base,java.logging,jdk.zipfs (from jdeps; add more "
              "with --runtime-modules +LIST)\n");
    EXPECT_TRUE(std::regex_match(
        packs_->printed.out,
        std::regex("cvpack --instructions config/program.tag --launch-script config/launch.tag "
                   "--jvm config/java.jvm --classpath-archive app.jar --jvm-installer "
                   "config/runtime --compressed [1-9][0-9]*:[1-9][0-9]* -o app\n")))
        << packs_->printed.out;
    const std::string config = packs_->directory.file("config/");
    EXPECT_EQ(readFile(config + "program.tag"), kRuntimeFirstProgram);
    EXPECT_NE(readFile(config + "java.jvm").find("\nJAVA_RANGE: 17+\n"), std::string::npos);

    std::string release = readFile(kJdk17 + "/release");
    std::smatch version;
    ASSERT_TRUE(std::regex_search(release, version, std::regex("JAVA_VERSION=\"([^\"]*)\"")));
    ProcessResult listed = cvpackIn(packs_->directory.path(), {"--list", "app"});
    ASSERT_EQ(listed.status, 0) << listed.err;
    std::smatch runtime;
    ASSERT_TRUE(std::regex_search(
        listed.out, runtime,
        std::regex("\njvm-installer +[0-9]+ +[0-9]+ +[0-9]+  runtime  \\(expands to ([0-9]+) "
                   "files, ([0-9]+) bytes\\)\n    Java runtime ([^,]*), modules ([^\n]*)\n"
                   "    packed ([0-9]+) bytes, unpacked ([0-9]+) bytes in ([0-9]+) files\n")))
        << listed.out;
    EXPECT_EQ(runtime[3], version[1]);
    EXPECT_EQ(runtime[4], "java.base,java.logging,jdk.zipfs");
    EXPECT_EQ(runtime[1], runtime[7]);
    EXPECT_EQ(runtime[2], runtime[6]);
    EXPECT_LT(std::stoll(runtime[5]), std::stoll(runtime[6]));
}

TEST(NewerJdkRuntimeTest, LinksFromTheRunTimeImageWithoutJmods) {
    if (!testsupport::fileExists(kJdk25 + "/bin/jlink")) {
        GTEST_SKIP() << "no JDK 25 with jlink at " << kJdk25;
    }
    testsupport::TempDir work;
    ProcessResult packed = cvpackIn(work.path(), {"--main-jar", kDemoJar, "--main-class", "Hello",
                                                  "--runtime", kJdk25, "-o", "app"});
    ASSERT_EQ(packed.status, 0) << packed.err;
    ProcessResult listed = cvpackIn(work.path(), {"--list", "app"});
    EXPECT_NE(listed.out.find("\n    Java runtime 25."), std::string::npos) << listed.out;
}

}  // namespace
