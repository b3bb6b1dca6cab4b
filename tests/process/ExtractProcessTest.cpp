// "-cv:extract" on a launcher file built by cvpack: every embedded file comes
// out byte for byte, and the "input.tag" written beside them runs them again
// with "-cv:in".
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <sstream>
#include <string>
#include <vector>

#include "support/TestSupport.h"

using testsupport::ProcessResult;
using testsupport::readFile;
using testsupport::runProcess;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

struct Source {
    const char* option;
    const char* name;
    std::string content;
};

std::string noise(size_t size) {
    std::string bytes(size, '\0');
    unsigned int state = 12345;
    for (char& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(state >> 16);
    }
    return bytes;
}

class ExtractProcessTest : public ::testing::Test {
  protected:
    void SetUp() override {
        sources = {
            {"--instructions", "setup.ins", "INSTRUCTIONS:\n  LAUNCH a.jvm 0\n/:\n"},
            {"--jvm", "a.jvm", "JVM_EXE: bin/java\n"},
            {"--launch-script", "run.ls", "COMMAND: exit 7\nDESC: Demo\n"},
            {"--jvm", "b.jvm", "JVM_EXE: jre/bin/java\n"},
            {"--classpath-archive", "lib.jar", noise(3000)},
            {"--jvm-installer", "jre.bin", "#!/bin/sh\nexit 0\n"},
            {"--app-archive", "app.jar", noise(200000)},
        };
        std::vector<std::string> args = {testsupport::cvpackPath()};
        for (const Source& source : sources) {
            writeFile(input.file(source.name), source.content);
            args.push_back(source.option);
            args.push_back(input.file(source.name));
        }
        args.push_back("-o");
        args.push_back(launcher());
        ProcessResult packed = runProcess(args);
        ASSERT_EQ(packed.status, 0) << packed.err;
    }
    std::string launcher() const { return input.file("setup"); }
    // Runs the launcher in the work directory with its own empty temp dir.
    ProcessResult run(std::vector<std::string> args) {
        args.insert(args.begin(), {launcher(), "-cv:tempdir", temp.path()});
        testsupport::ProcessOptions options;
        options.workingDir = work.path();
        return runProcess(args, options);
    }

    TempDir input;
    TempDir work;
    TempDir temp;
    std::vector<Source> sources;
};

TEST_F(ExtractProcessTest, ExtractWritesWhatTheListingShows) {
    ProcessResult result = run({"-cv:extract"});
    ASSERT_EQ(result.status, 0) << result.out;
    for (const Source& source : sources) {
        EXPECT_TRUE(readFile(work.file(source.name)) == source.content) << source.name;
    }
    EXPECT_EQ(readFile(work.file("verify.jar")),
              readFile(std::string(TEST_BINARY_DIR) + "/verify.jar"));

    // Every line of the listing names a file of that size in the directory.
    ProcessResult listing = runProcess({testsupport::cvpackPath(), "--list", launcher()});
    std::istringstream lines(listing.out);
    std::string line;
    std::getline(lines, line);
    std::getline(lines, line);
    int entries = 0;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string type, id, name;
        size_t size = 0;
        long offset = 0;
        fields >> type >> id >> size >> offset >> name;
        EXPECT_EQ(readFile(work.file(name)).size(), size) << line;
        entries++;
    }
    EXPECT_EQ(entries, 8);
    EXPECT_EQ(work.entries().size(), 9u);  // the files and input.tag
    EXPECT_TRUE(temp.isEmpty());
}

TEST_F(ExtractProcessTest, OnlyInstallersComeOutExecutable) {
    ASSERT_EQ(run({"-cv:extract"}).status, 0);
    struct stat info;
    ASSERT_EQ(stat(work.file("jre.bin").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0111, 0111u);
    ASSERT_EQ(stat(work.file("app.jar").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0111, 0u);
}

TEST_F(ExtractProcessTest, InputFileRunsTheExtractedFiles) {
    ASSERT_EQ(run({"-cv:extract"}).status, 0);
    EXPECT_EQ(readFile(work.file("input.tag")),
              "ACTION:  RUN_INSTRUCTIONS\n"
              "INSTRUCTIONS:  setup.ins\n"
              "JVM:\n  a.jvm\n  b.jvm\n/:\n"
              "LAUNCHSCRIPT:  run.ls\n");
    EXPECT_EQ(run({"-cv:in", "input.tag"}).status, 7);

    // The files on disk take the place of the embedded ones.
    writeFile(work.file("run.ls"), "COMMAND: exit 9\n");
    EXPECT_EQ(run({"-cv:in", "input.tag"}).status, 9);
    writeFile(work.file("setup.ins"), "INSTRUCTIONS:\n  SET N1 = 1\n/:\n");
    EXPECT_EQ(run({"-cv:in", "input.tag"}).status, 0);
    EXPECT_TRUE(temp.isEmpty());
}

TEST_F(ExtractProcessTest, FailedExtractionReportsTheWriteError) {
    writeFile(input.file("lib.jar"), "x");
    ProcessResult packed =
        runProcess({testsupport::cvpackPath(), "--classpath-archive", input.file("lib.jar"),
                    "--name", "missing/lib.jar", "-o", launcher()});
    ASSERT_EQ(packed.status, 0) << packed.err;
    ProcessResult result = run({"-cv:extract"});
    EXPECT_EQ(result.status, 255);
    EXPECT_NE(result.out.find("Unable to extract embedded files from the launcher. Error writing "
                              "file = 2 There may not be enough temporary disk space."),
              std::string::npos)
        << result.out;
    EXPECT_FALSE(testsupport::fileExists(work.file("input.tag")));
}

TEST_F(ExtractProcessTest, EntryNamedLikeTheLauncherNeverOverwritesIt) {
    writeFile(input.file("lib.jar"), "x");
    ProcessResult packed =
        runProcess({testsupport::cvpackPath(), "--no-verify-archive", "--classpath-archive",
                    input.file("lib.jar"), "--name", "setup", "-o", launcher()});
    ASSERT_EQ(packed.status, 0) << packed.err;
    std::string before = readFile(launcher());
    testsupport::ProcessOptions options;
    options.workingDir = input.path();
    ProcessResult result = runProcess({"./setup", "-cv:extract"}, options);
    EXPECT_EQ(result.status, 255);
    EXPECT_NE(result.out.find("Refusing to extract setup over the running launcher file."),
              std::string::npos)
        << result.out;
    EXPECT_EQ(readFile(launcher()), before);
}

}  // namespace
