// cvpack --runtime and --jvm-installer in application mode: the refused
// options, the jdeps and jlink commands and the printed command (with
// stand-in JDKs), and runtimes linked from the real JDKs with their listing.
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
using Args = std::vector<std::string>;

const std::string kJdk17 = "/usr/lib/jvm/java-17-openjdk-amd64";
const std::string kJdk25 = "/usr/lib/jvm/temurin-25-jdk-amd64";
const Args kApp = {"--main-jar", std::string(TEST_BINARY_DIR) + "/examples/hello.jar",
                   "--main-class", "Hello"};

// cvpack in `directory` with the demo application's options, then `args`.
ProcessResult cvpackIn(const std::string& directory, const Args& args, const Args& app = kApp) {
    Args command = {testsupport::cvpackPath()};
    command.insert(command.end(), app.begin(), app.end());
    command.insert(command.end(), args.begin(), args.end());
    testsupport::ProcessOptions options;
    options.workingDir = directory;
    return testsupport::runProcess(command, options);
}

// Runs the command that --print-config printed, with the cvpack under test.
ProcessResult runPrinted(const std::string& directory, const std::string& printed) {
    testsupport::ProcessOptions options;
    options.workingDir = directory;
    return testsupport::runInShell(
        testsupport::shellQuote(testsupport::cvpackPath()) + printed.substr(printed.find(' ')), {},
        options);
}

const std::string kFind =
    "  // N1 tells whether a JVM that java.jvm accepts was found, S2 is its match file.\n";
const std::string kInstall =
    "  // The runtime carried by the launcher, from the user's runtime store (installed there on "
    "first use); S1 is its description file.\n  INSTALL_JVM 3\n";
const std::string kRuntimeFirst =
    "INSTRUCTIONS:\n" + kFind +
    "  FIND_JVM 0 0\n  JMP0 @N1@ runtime\n  LAUNCH \"@S2@\" 0\n  GOTO "
    "end\n  :runtime\n" +
    kInstall + "  JMP0 @N1@ nojvm\n  LAUNCH \"@S1@\" 0\n  GOTO end\n";
const std::string kEnd = "  :nojvm\n  EXIT 1\n  :end\n/:\n";

class RuntimePackTest : public testsupport::LauncherProcessTest {
  protected:
    ProcessResult cvpack(const Args& args) const { return cvpackIn(work_.path(), args); }
    // A JDK of shell scripts in work_/<version>: each tool writes its
    // arguments, one a line, to <version>/<tool>.args and runs `jdeps` or
    // `jlink`, or by default prints two modules or makes an image (a release
    // file and bin/java, at one fixed time, so that two links are equal).
    std::string fakeJdk(const std::string& version, bool jmods, const std::string& jdeps = "",
                        const std::string& jlink = "") const {
        std::string home = work_.file(version);
        testsupport::makeDirectories(home + "/bin");
        if (jmods) {
            testsupport::makeDirectories(home + "/jmods");
        }
        writeFile(home + "/release", "JAVA_VERSION=\"" + version + "\"\n");
        for (const auto& [tool, body] :
             {std::make_pair("jdeps", jdeps.empty() ? "echo java.logging,java.base" : jdeps),
              std::make_pair("jlink", jlink.empty() ? kLink : jlink)}) {
            writeFile(home + "/bin/" + tool,
                      "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.args\"\nv=" + version + "\n" + body,
                      0755);
        }
        return home;
    }
    const std::string kLink =
        "for a; do [ \"$o\" = --output ] && out=$a; o=$a; done\nmkdir -p \"$out/bin\"\n"
        "echo \"JAVA_VERSION=\\\"$v\\\"\" > \"$out/release\"\necho : > \"$out/bin/java\"\n"
        "find \"$out\" -exec touch -h -d @1000000000 {} +\n";
};

TEST_F(RuntimePackTest, RefusesRuntimeOptionsThatDoNotFit) {
    writeFile(work_.file("inst.sh"), "#!/bin/sh\n", 0755);
    std::string jdk21 = fakeJdk("21.0.2", false);
    std::string jdk11 = fakeJdk("11.0.2", true);
    std::string jdeps = fakeJdk("17.0.1", true, "echo 'Error: bad jar' >&2; exit 3");
    std::string jlink = fakeJdk("17.0.2", true, "",
                                "echo 'Error: Module x not found'; echo 'java.lang.module."
                                "FindException: x'; printf '\\tat a.B(C.java)\\n'; exit 1");
    struct Row {
        Args args;
        int status;
        std::string err;  // its beginning
    } rows[] = {
        {{"--runtime", jdk21, "--jvm-installer", "inst.sh"},
         2,
         "cvpack: --runtime makes the launcher's JVM installer: give it or --jvm-installer, not "
         "both\n"},
        {{"--runtime-modules", "a"}, 2, "cvpack: --runtime-modules needs --runtime JDK_HOME\n"},
        {{"--runtime-compression", "3"},
         2,
         "cvpack: --runtime-compression needs --runtime JDK_HOME\n"},
        {{"--runtime", jdk21, "--runtime-compression", "20"},
         2,
         "cvpack: invalid value '20' for --runtime-compression: expected a number from 1 to 19\n"},
        {{"--runtime", jdk21, "--runtime-modules", "+"},
         2,
         "cvpack: --runtime-modules '+': expected module names separated by commas, or + and such "
         "names to add\n"},
        {{"--prefer-runtime"},
         2,
         "cvpack: --prefer-runtime needs --runtime JDK_HOME or --jvm-installer FILE\n"},
        {{"--jvm-installer", "inst.sh", "--search-disk"},
         2,
         "cvpack: --search-disk walks the whole file system for a JVM, which a launcher that "
         "carries its runtime never needs: drop it\n"},
        {{"--runtime", "inst.sh"},
         1,
         "cvpack: cannot link a runtime from inst.sh: inst.sh/bin/jlink is missing (--runtime "
         "needs the home of a JDK)\n"},
        {{"--runtime", jdk11},
         1,
         "cvpack: cannot link a runtime from " + jdk11 +
             ": it is Java 11.0.2 (--runtime needs the home of a JDK 17 or later)\n"},
        {{"--runtime", jdk21, "--java", "17"},
         1,
         "cvpack: --java 17 leaves out the runtime that the launcher carries, Java 21.0.2\n"},
        {{"--runtime", jdk21, "--java", "11-20"}, 1, "cvpack: --java 11-20 leaves out"},
        {{"--runtime", jdeps},
         1,
         "cvpack: jdeps could not list the modules of the jars (exit status 3): Error: bad jar\n"},
        {{"--runtime", jlink},
         1,
         "cvpack: runtime modules: java.logging,java.base (from jdeps; add more with "
         "--runtime-modules +LIST)\ncvpack: jlink could not link the runtime (exit status 1): "
         "Error: Module x not found\njava.lang.module.FindException: x\n"},
    };
    for (Row& row : rows) {
        SCOPED_TRACE(row.err);
        row.args.insert(row.args.end(), {"-o", "out"});
        Args before = work_.entries();
        ProcessResult result = cvpack(row.args);
        EXPECT_EQ(result.status, row.status);
        EXPECT_EQ(result.err.substr(0, row.err.size()), row.err);
        EXPECT_EQ(work_.entries(), before);
    }
}

// jdeps reads multi-release jars as the JDK's release; jlink links from
// jmods where the JDK has them, without compression in its release's terms.
TEST_F(RuntimePackTest, JdepsAndJlinkGetTheOptionsOfTheJdksRelease) {
    struct Row {
        const char* version;
        bool jmods;
        Args modulesOption;
        std::string jdeps;  // empty: not run
        std::string jlink;  // the options up to the output directory
    } rows[] = {
        {"17.0.15",
         true,
         {},
         "17",
         "java.logging,java.base\n--strip-debug\n"
         "--no-man-pages\n--no-header-files\n--generate-cds-archive\n--compress=0\n"
         "--module-path\n{}/jmods\n"},
        {"21.0.2",
         false,
         {"--runtime-modules", "+java.sql,java.base,java.sql"},
         "21",
         "java.logging,java.base,java.sql\n--strip-debug\n--no-man-pages\n--no-header-files\n"
         "--generate-cds-archive\n--compress=zip-0\n"},
        {"25",
         true,
         {"--runtime-modules", "jdk.zipfs"},
         "",
         "jdk.zipfs\n--strip-debug\n"
         "--no-man-pages\n--no-header-files\n--generate-cds-archive\n--compress=zip-0\n"
         "--module-path\n{}/jmods\n"},
    };
    for (Row& row : rows) {
        SCOPED_TRACE(row.version);
        std::string jdk = fakeJdk(row.version, row.jmods);
        row.modulesOption.insert(row.modulesOption.end(), {"--runtime", jdk, "-o", "out"});
        ASSERT_EQ(cvpack(row.modulesOption).status, 0);
        EXPECT_EQ(readFile(jdk + "/bin/jdeps.args"),
                  row.jdeps.empty() ? ""
                                    : "--print-module-deps\n--ignore-missing-deps\n"
                                      "--multi-release\n" +
                                          row.jdeps + "\n-q\n" + kApp[1] + "\n");
        std::string jlink = std::regex_replace(row.jlink, std::regex("\\{\\}"), jdk);
        EXPECT_EQ(readFile(jdk + "/bin/jlink.args").find("--add-modules\n" + jlink + "--output\n"),
                  0u);
    }
}

// The program of a launcher that carries a runtime or a packager's
// installer; the command that --print-config prints keeps every option and
// makes the same launcher file, byte for byte.
TEST_F(RuntimePackTest, PrintedCommandKeepsEveryOption) {
    writeFile(work_.file("inst.sh"), "#!/bin/sh\n", 0755);
    writeFile(work_.file("data.bin"), "data");
    std::string stub = testsupport::cvlaunchPath();
    std::string jdk = fakeJdk("21.0.2", false);
    struct Row {
        Args args;
        std::string printed;  // after the class path archive
        std::string program;  // the beginning of program.tag
        std::string output;
    } rows[] = {
        {{},
         " -o hello",
         "INSTRUCTIONS:\n" + kFind + "  FIND_JVM 0 1\n  JMP0 @N1@ nojvm\n",
         "hello"},
        {{"--file", "jvm-installer:inst.sh:40:setup", "--compressed", "3:300", "--app-archive",
          "data.bin", "--purpose", "0", "--stub", stub, "-o", "my app"},
         " --jvm-installer inst.sh --id 40 --name setup --compressed 3:300 --app-archive data.bin "
         "--stub " +
             stub + " --purpose 0 -o 'my app'",
         kRuntimeFirst,
         "my app"},
        {{"--app-archive", "data.bin", "--no-verify-archive", "--prefer-runtime", "--jvm-installer",
          "inst.sh"},
         " --app-archive data.bin --jvm-installer inst.sh --no-verify-archive -o hello",
         "INSTRUCTIONS:\n" + kInstall +
             "  JMP0 @N1@ search\n  LAUNCH \"@S1@\" 0\n  GOTO end\n"
             "  :search\n" +
             kFind + "  FIND_JVM 0 1\n",
         "hello"},
        // The stand-in runtime: jvm, release, bin and bin/java, of 170 bytes.
        {{"--runtime", jdk, "--app-archive", "data.bin"},
         " --jvm-installer config/runtime --compressed 4:170 --app-archive data.bin -o hello",
         kRuntimeFirst + kEnd,
         "hello"},
    };
    for (Row& row : rows) {
        SCOPED_TRACE(row.printed);
        Args direct = row.args;
        direct.insert(direct.end(), {"-o", "direct"});
        ASSERT_EQ(cvpack(direct).status, 0);
        row.args.insert(row.args.end(), {"--print-config", "config"});
        ProcessResult printed = cvpack(row.args);
        ASSERT_EQ(printed.status, 0) << printed.err;
        EXPECT_EQ(printed.out.substr(printed.out.find(".jar") + 4), row.printed + "\n");
        EXPECT_EQ(readFile(work_.file("config/program.tag")).find(row.program), 0u);
        ASSERT_EQ(runPrinted(work_.path(), printed.out).status, 0);
        EXPECT_TRUE(readFile(work_.file(row.output)) == readFile(work_.file("direct")));
        // Only a runtime installer is described in the listing.
        std::string listed = cvpackIn(work_.path(), {"--list", "direct"}, {}).out;
        EXPECT_EQ(
            listed.find("\n    Java runtime 21.0.2, modules \n    packed ") != std::string::npos,
            row.args[0] == "--runtime")
            << listed;
    }
}

// A runtime linked from the real JDK 17, once for the suite (linking and
// packing take tens of seconds): the files of --print-config, and the
// launcher that the printed command packs.
class LinkedRuntimeTest : public ::testing::Test {
  protected:
    struct Packs {
        testsupport::TempDir directory;
        ProcessResult printed;  // cvpack ... --print-config config -o app
        ProcessResult packed;   // the printed command
    };
    static void SetUpTestSuite() {
        if (!testsupport::fileExists(kJdk17 + "/bin/jlink")) {
            return;
        }
        packs_.reset(new Packs);
        const std::string& work = packs_->directory.path();
        // A class that needs java.logging, which jdeps finds.
        writeFile(work + "/App.java",
                  "public class App { public static void main(String[] a) { "
                  "java.util.logging.Logger.getLogger(\"app\").info(\"hi\"); } }\n");
        ASSERT_EQ(testsupport::runInShell("cd \"$1\" && \"$2/bin/javac\" -d c App.java && "
                                          "\"$2/bin/jar\" cfe app.jar App -C c .",
                                          {work, kJdk17})
                      .status,
                  0);
        packs_->printed =
            cvpackIn(work,
                     {"--runtime", kJdk17, "--runtime-modules", "+jdk.zipfs,java.logging",
                      "--runtime-compression", "1", "--print-config", "config", "-o", "app"},
                     {"--main-jar", "app.jar"});
        packs_->packed = runPrinted(work, packs_->printed.out);
    }
    static void TearDownTestSuite() { packs_.reset(); }
    void SetUp() override {
        if (!packs_) {
            GTEST_SKIP() << "no JDK 17 with jlink at " << kJdk17;
        }
    }
    static std::unique_ptr<Packs> packs_;
};

std::unique_ptr<LinkedRuntimeTest::Packs> LinkedRuntimeTest::packs_;

TEST_F(LinkedRuntimeTest, TellsTheModulesListsTheRuntimeAndPassesOnJlinksErrors) {
    ASSERT_EQ(packs_->packed.status, 0) << packs_->printed.err << packs_->packed.err;
    EXPECT_EQ(packs_->printed.err,
              "cvpack: runtime modules: java.base,java.logging,jdk.zipfs (from jdeps; add more "
              "with --runtime-modules +LIST)\n");
    EXPECT_NE(readFile(packs_->directory.file("config/java.jvm")).find("\nJAVA_RANGE: 17+\n"),
              std::string::npos);
    std::smatch version;
    std::string release = readFile(kJdk17 + "/release");
    ASSERT_TRUE(std::regex_search(release, version, std::regex("JAVA_VERSION=\"([^\"]*)\"")));
    std::string listed = cvpackIn(packs_->directory.path(), {"--list", "app"}, {}).out;
    std::smatch runtime;
    ASSERT_TRUE(std::regex_search(
        listed, runtime,
        std::regex("\njvm-installer .*  runtime  \\(expands to ([0-9]+) files, ([0-9]+) bytes\\)\n"
                   "    Java runtime ([^,]*), modules ([^\n]*)\n"
                   "    packed ([0-9]+) bytes, unpacked ([0-9]+) bytes in ([0-9]+) files\n")))
        << listed;
    EXPECT_EQ(runtime[3], version[1]);
    EXPECT_EQ(runtime[4], "java.base,java.logging,jdk.zipfs");
    EXPECT_EQ(runtime[1], runtime[7]);
    EXPECT_EQ(runtime[2], runtime[6]);
    EXPECT_LT(std::stoll(runtime[5]), std::stoll(runtime[6]));

    ProcessResult unknown =
        cvpackIn(packs_->directory.path(),
                 {"--runtime", kJdk17, "--runtime-modules", "+no.such", "-o", "unknown"},
                 {"--main-jar", "app.jar"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_NE(unknown.err.find("\ncvpack: jlink could not link the runtime (exit status 1): Error: "
                               "Module no.such not found\n"),
              std::string::npos)
        << unknown.err;
}

TEST(NewerJdkRuntimeTest, LinksFromTheRunTimeImageWithoutJmods) {
    if (!testsupport::fileExists(kJdk25 + "/bin/jlink")) {
        GTEST_SKIP() << "no JDK 25 with jlink at " << kJdk25;
    }
    testsupport::TempDir work;
    ProcessResult packed =
        cvpackIn(work.path(), {"--runtime", kJdk25, "--runtime-modules", "java.base",
                               "--runtime-compression", "1", "-o", "app"});
    ASSERT_EQ(packed.status, 0) << packed.err;
    EXPECT_NE(cvpackIn(work.path(), {"--list", "app"}, {}).out.find("\n    Java runtime 25."),
              std::string::npos);
}

}  // namespace
