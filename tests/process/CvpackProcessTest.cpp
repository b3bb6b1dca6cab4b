// The packer as a program: its command line, its checks, the layout of the
// files it writes and its listing.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace {

using testsupport::ProcessResult;
using testsupport::readFile;
using testsupport::runProcess;
using testsupport::TempDir;
using testsupport::writeFile;

const char kInstructions[] = "INSTRUCTIONS:\n  LAUNCH a.jvm 0\n/:\n";
const char kJvm[] = "JVM_EXE: bin/java\nJVM_PROPERTIES: java.vendor=...\n";

class CvpackProcessTest : public ::testing::Test {
  protected:
    void SetUp() override {
        writeFile(dir.file("setup.ins"), kInstructions);
        writeFile(dir.file("a.jvm"), kJvm);
        writeFile(dir.file("app.jar"), std::string(5000, 'z'));
    }
    ProcessResult cvpack(std::vector<std::string> args) {
        args.insert(args.begin(), testsupport::cvpackPath());
        testsupport::ProcessOptions options;
        options.workingDir = dir.path();
        return runProcess(args, options);
    }

    TempDir dir;
};

TEST_F(CvpackProcessTest, UsageErrorsExitWithTwo) {
    std::vector<std::vector<std::string>> rows = {
        {},
        {"--bogus", "-o", "out"},
        {"stray", "-o", "out"},
        {"--jvm"},
        {"--jvm=", "-o", "out"},
        {"--id", "3", "--jvm", "a.jvm", "-o", "out"},
        {"--jvm", "a.jvm"},
        {"--jvm", "a.jvm", "--purpose", "256", "-o", "out"},
        {"--jvm", "a.jvm", "--id", "x1", "-o", "out"},
        {"--jvm", "a.jvm", "--compressed", "12", "-o", "out"},
        {"--file", "8:a.jvm", "-o", "out"},
        {"--file", "jvm", "-o", "out"},
        {"--file", "nonsense:a.jvm", "-o", "out"},
        {"--list", "out", "--jvm", "a.jvm"},
        {"--no-verify-archive", "--verify-archive", "app.jar", "-o", "out"},
        {"--no-verify-archive=1", "-o", "out"},
    };
    for (const auto& row : rows) {
        std::string line;
        for (const std::string& arg : row) {
            line += arg + " ";
        }
        SCOPED_TRACE(line);
        ProcessResult result = cvpack(row);
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.err.rfind("cvpack: ", 0), 0u) << result.err;
        EXPECT_NE(result.err.find("Try 'cvpack --help'"), std::string::npos);
        EXPECT_FALSE(testsupport::fileExists(dir.file("out")));
    }
}

TEST_F(CvpackProcessTest, HelpDescribesTheOptions) {
    ProcessResult result = cvpack({"--help"});
    EXPECT_EQ(result.status, 0);
    for (const char* option :
         {"--instructions", "--jvm", "--launch-script", "--classpath-archive", "--jvm-installer",
          "--verify-archive", "--app-archive", "--embedded-launcher", "--file", "--compressed",
          "--purpose", "--stub", "--list", "--check FILE...", "--no-verify-archive", "-o"}) {
        EXPECT_NE(result.out.find(option), std::string::npos) << option;
    }
    for (const char* option :
         {"--main-jar JAR", "--class-path JAR", "--main-class NAME", "--java RANGE",
          "--java-option OPTION", "--name TEXT", "--title TEXT", "--search-disk",
          "--no-manifest-class-path", "--print-config DIR"}) {
        EXPECT_NE(result.out.find(option), std::string::npos) << option;
    }
}

TEST_F(CvpackProcessTest, MissingFileFailsWithoutWriting) {
    ProcessResult result = cvpack({"--jvm", "a.jvm", "--app-archive", "none.jar", "-o", "out"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "cvpack: cannot read none.jar: No such file or directory\n");
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"a.jvm", "app.jar", "setup.ins"}));
}

TEST_F(CvpackProcessTest, TagFileWithSyntaxErrorFails) {
    writeFile(dir.file("bad.ls"), "COMMAND: java\nDESC:\n  unterminated block\n");
    ProcessResult result = cvpack({"--launch-script", "bad.ls", "-o", "out"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(
        result.err,
        "cvpack: bad.ls: not a valid launch-script tag file: Syntax error in bad.ls at line 2 "
        "==> Missing /: tag completer.\n");
    EXPECT_FALSE(testsupport::fileExists(dir.file("out")));

    // Opaque types are not tag files, whatever they hold.
    EXPECT_EQ(cvpack({"--file", "6:bad.ls", "--no-verify-archive", "-o", "out"}).status, 0);
}

TEST_F(CvpackProcessTest, StubThatCarriesAPayloadIsRefused) {
    ASSERT_EQ(cvpack({"--instructions", "setup.ins", "-o", "first"}).status, 0);
    ProcessResult result = cvpack({"--stub", "first", "--jvm", "a.jvm", "-o", "second"});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("first: the stub already carries a payload"), std::string::npos)
        << result.err;
    EXPECT_FALSE(testsupport::fileExists(dir.file("second")));
}

TEST_F(CvpackProcessTest, WritesTheLayoutThatTheListingShows) {
    ProcessResult packed =
        cvpack({"--instructions", "setup.ins", "--jvm", "a.jvm", "--id", "40", "--app-archive",
                "app.jar", "--name", "lib.jar", "--compressed", "3:12000", "--file",
                "jvm:a.jvm:7:b.jvm", "--no-verify-archive", "--purpose", "2", "-o", "out"});
    ASSERT_EQ(packed.status, 0) << packed.err;
    long stub = static_cast<long>(readFile(testsupport::cvlaunchPath()).size());
    long ins = sizeof kInstructions - 1;
    long jvm = sizeof kJvm - 1;
    char expected[1024];
    snprintf(expected, sizeof expected,
             "purpose 2, 4 files\n"
             "TYPE                   ID       SIZE     OFFSET  NAME\n"
             "instructions            0 %10ld %10ld  setup.ins\n"
             "jvm                    40 %10ld %10ld  a.jvm\n"
             "app-archive             2       5000 %10ld  lib.jar  (expands to 3 files, 12000 "
             "bytes)\n"
             "jvm                     7 %10ld %10ld  b.jvm\n",
             ins, stub, jvm, stub + ins, stub + ins + jvm, jvm, stub + ins + jvm + 5000);
    ProcessResult listing = cvpack({"--list", "out"});
    EXPECT_EQ(listing.status, 0);
    EXPECT_EQ(listing.out, expected);

    std::string bytes = readFile(dir.file("out"));
    EXPECT_EQ(bytes.substr(0, stub), readFile(testsupport::cvlaunchPath()));
    EXPECT_EQ(bytes.substr(stub + ins + jvm, 5000), std::string(5000, 'z'));
    EXPECT_EQ(bytes.substr(bytes.size() - 4), "\xCA\x82\xCA\x82");
    struct stat info;
    ASSERT_EQ(stat(dir.file("out").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0111, 0111u);
}

TEST_F(CvpackProcessTest, EmbedsTheVerifyArchiveBesideItByDefault) {
    ASSERT_EQ(cvpack({"--instructions", "setup.ins", "-o", "out"}).status, 0);
    ProcessResult listing = cvpack({"--list", "out"});
    std::string verifyJar = testsupport::verifyArchivePath();
    std::string size = std::to_string(readFile(verifyJar).size());
    EXPECT_NE(listing.out.find("\nverify-archive          1 "), std::string::npos) << listing.out;
    EXPECT_NE(listing.out.find(" " + size + " "), std::string::npos) << listing.out;
    EXPECT_NE(listing.out.find("  verify.jar\n"), std::string::npos) << listing.out;
}

TEST_F(CvpackProcessTest, FindsItsStubAndVerifyArchiveInAnInstalledTree) {
    std::string bin = dir.file("prefix/bin");
    std::string share = dir.file("prefix/share/cvlaunch");
    std::filesystem::create_directories(bin);
    std::filesystem::create_directories(share);
    writeFile(bin + "/cvpack", readFile(testsupport::cvpackPath()), 0755);
    writeFile(bin + "/cvlaunch", readFile(testsupport::cvlaunchPath()), 0755);
    std::vector<std::string> pack = {bin + "/cvpack", "--instructions", dir.file("setup.ins"), "-o",
                                     dir.file("out")};

    ProcessResult missing = runProcess(pack);
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("the verification archive verify.jar is missing"), std::string::npos)
        << missing.err;

    writeFile(share + "/verify.jar", "installed archive");
    ProcessResult packed = runProcess(pack);
    ASSERT_EQ(packed.status, 0) << packed.err;
    std::string bytes = readFile(dir.file("out"));
    EXPECT_EQ(bytes.substr(0, readFile(bin + "/cvlaunch").size()), readFile(bin + "/cvlaunch"));
    EXPECT_NE(bytes.find("installed archive"), std::string::npos);
}

TEST_F(CvpackProcessTest, WarnsAboutAPayloadThatCannotRun) {
    ProcessResult result =
        cvpack({"--jvm", "a.jvm", "--instructions", "setup.ins", "--instructions", "setup.ins",
                "--id", "0", "--no-verify-archive", "-o", "out"});
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.err.find("warning: file id 0 is used twice"), std::string::npos);
    EXPECT_NE(result.err.find("warning: only the first instruction program"), std::string::npos);
    result = cvpack({"--jvm", "a.jvm", "--no-verify-archive", "-o", "out"});
    EXPECT_NE(result.err.find("warning: no instruction program"), std::string::npos);
    result = cvpack({"--instructions", "setup.ins", "--jvm", "a.jvm", "--name", "%CP%()", "--jvm",
                     "a.jvm", "--name", "my app.jvm", "--no-verify-archive", "-o", "out"});
    EXPECT_NE(result.err.find("warning: the entry name %CP%() holds \"%\""), std::string::npos);
    EXPECT_EQ(result.err.find("my app.jvm"), std::string::npos) << result.err;
}

// -o replaces a regular file, never a device, a directory or a fifo, nor
// one of the files that it packs under any of its names.
TEST_F(CvpackProcessTest, OutputReplacesOnlyARegularFileThatItDoesNotPack) {
    writeFile(dir.file("stub"), readFile(testsupport::cvlaunchPath()), 0755);
    // An empty zip archive: a main jar without manifest.
    writeFile(dir.file("in.jar"), std::string("PK\x05\x06", 4) + std::string(18, '\0'));
    testsupport::makeDirectories(dir.file("directory"));
    ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0644), 0);
    ASSERT_EQ(link(dir.file("app.jar").c_str(), dir.file("hard.jar").c_str()), 0);
    ASSERT_EQ(symlink("app.jar", dir.file("soft.jar").c_str()), 0);
    // Through a link: a cvpack that renamed its file over the output would
    // replace the link, not the device.
    ASSERT_EQ(symlink("/dev/null", dir.file("null").c_str()), 0);
    const std::vector<std::string> files = {"--instructions", "setup.ins", "--app-archive",
                                            "app.jar", "--no-verify-archive"};
    const std::string notRegular = " not a regular file: cvpack replaces only regular files\n";
    struct Row {
        std::string output;
        std::vector<std::string> args;  // empty: files
        std::string err;
    } rows[] = {
        {"null", {}, "cvpack: null is a character device," + notRegular},
        {"directory", {}, "cvpack: directory is a directory," + notRegular},
        {"fifo", {}, "cvpack: fifo is a fifo," + notRegular},
        {"app.jar", {}, "cvpack: -o app.jar would replace app.jar, a file that it packs"},
        {"hard.jar", {}, "cvpack: -o hard.jar would replace app.jar, a file that it packs"},
        {"soft.jar", {}, "cvpack: -o soft.jar would replace app.jar, a file that it packs"},
        {"setup.ins", {}, "cvpack: -o setup.ins would replace setup.ins, a file that it packs"},
        {"stub",
         {"--stub", "stub", "--instructions", "setup.ins", "--no-verify-archive"},
         "cvpack: -o stub would replace stub, a file that it packs"},
        {"in.jar",
         {"--main-jar", "in.jar", "--main-class", "A", "--no-verify-archive"},
         "cvpack: -o in.jar would replace in.jar, a file that it packs"},
    };
    std::vector<std::string> entries = dir.entries();
    for (Row& row : rows) {
        SCOPED_TRACE(row.output);
        std::vector<std::string> args = row.args.empty() ? files : row.args;
        args.insert(args.end(), {"-o", row.output});
        ProcessResult result = cvpack(args);
        EXPECT_EQ(result.status, 1);
        std::string expected =
            row.err.back() == '\n' ? row.err : row.err + "; write the launcher file elsewhere\n";
        ASSERT_GE(result.err.size(), expected.size()) << result.err;
        EXPECT_EQ(result.err.substr(result.err.size() - expected.size()), expected);
        EXPECT_EQ(dir.entries(), entries);
    }
    struct stat info;
    ASSERT_EQ(stat("/dev/null", &info), 0);
    EXPECT_TRUE(S_ISCHR(info.st_mode));
    EXPECT_EQ(readFile(dir.file("app.jar")), std::string(5000, 'z'));
    EXPECT_EQ(readFile(dir.file("stub")), readFile(testsupport::cvlaunchPath()));

    // A new file, and a regular file that is no input, are written.
    EXPECT_EQ(cvpack({"--stub", "stub", "--instructions", "setup.ins", "-o", "new"}).status, 0);
    EXPECT_EQ(cvpack({"--instructions", "setup.ins", "-o", "new"}).status, 0);
}

TEST_F(CvpackProcessTest, UnwritableOutputFails) {
    ProcessResult result = cvpack({"--instructions", "setup.ins", "-o", "no/such/out"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "cvpack: cannot create no/such/out: No such file or directory\n");
}

TEST_F(CvpackProcessTest, ListingAFileWithoutPayloadFails) {
    ProcessResult result = cvpack({"--list", "a.jvm"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "cvpack: a.jvm: carries no embedded file\n");
    result = cvpack({"--list", "none"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "cvpack: none: Cannot open launcher file.\n");
}

}  // namespace

namespace {

TEST_F(CvpackProcessTest, ChecksWhatTheLauncherWouldRejectOrMisread) {
    auto programWith = [&](const std::string& line) {
        return "INSTRUCTIONS:\n  FIND_JVM 0 1\n  " + line + "\n  :end\n/:\n";
    };
    const struct {
        std::string text;
        int status;
        std::string message;
    } rows[] = {
        {programWith("FIND_JVN 1 1"), 1, "f.tag:3: unknown instruction FIND_JVN"},
        {programWith("VERIFY 1 1"), 1, "f.tag:3: VERIFY takes 3 arguments, not 2"},
        {programWith("JMP0 @N1@ nowhere"), 1, "f.tag:3: JMP0 jumps to the label nowhere"},
        {programWith("EXIT 256"), 1, "f.tag:3: the status of EXIT must be a number"},
        {programWith("GOTO end"), 0, ""},
        {"DISPLAY_CONSOLE: 1\nCOMMAND: java %FOO%() Main\n", 1,
         "f.tag:2: Launch script error: Invalid function name (FOO)."},
        {"DISPLAY_CONSOLE: 1\nCOMMAND: java %CP%(x) Main\n", 1, "f.tag:2: Launch script error: "},
        {"DISPLAY_CONSOLE: 1\nCOMMAND: \" \"\n", 1,
         "f.tag:2: Launch script error: The launch script has no COMMAND."},
        {"JVM_EXE: bin/java\nJVM_PROPERTIES: java.version>=x\n", 1,
         "f.tag:2: malformed version range: java.version>=x"},
        {"COMMAND: \"/opt/my app/java\" %CP%() Main\n", 0,
         "warning: f.tag:1: the text after the closing quote is ignored"},
        {"COMMAND: java Main\n", 0, "warning: f.tag:1: the program's output is captured"},
        {"JVM_PROPERTIES: java.vendor=...\n", 0, "warning: f.tag:1: no JVM_EXE"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        writeFile(dir.file("f.tag"), row.text);
        ProcessResult result = cvpack({"--check", "f.tag"});
        EXPECT_EQ(result.status, row.status) << result.err;
        if (row.message.empty()) {
            EXPECT_EQ(result.err, "");
        } else {
            EXPECT_NE(result.err.find(row.message), std::string::npos) << result.err;
        }
    }
    // Packing makes the same checks and writes nothing it refuses.
    writeFile(dir.file("f.tag"), programWith("FIND_JVN 1 1"));
    ProcessResult result = cvpack({"--instructions", "f.tag", "--jvm", "a.jvm", "-o", "out"});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("f.tag:3: unknown instruction FIND_JVN"), std::string::npos);
    EXPECT_FALSE(testsupport::fileExists(dir.file("out")));
}

}  // namespace
