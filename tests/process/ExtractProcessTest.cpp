// "-cv:extract" on a launcher file built by cvpack's writer: every embedded file comes
// out byte for byte, and the "input.tag" written beside them runs them again
// with "-cv:in".
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/LauncherProcessTest.h"

using testsupport::LauncherResult;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

struct Source {
    long type;
    const char* name;
    std::string content;
};

class ExtractProcessTest : public testsupport::LauncherProcessTest {
  protected:
    void SetUp() override {
        sources = {
            {FILE_INSTRUCTIONS, "setup.ins", "INSTRUCTIONS:\n  LAUNCH a.jvm 0\n/:\n"},
            {FILE_JVM, "a.jvm", "JVM_EXE: bin/java\n"},
            {FILE_LAUNCH_SCRIPT, "run.ls", "COMMAND: exit 7\nDESC: Demo\n"},
            {FILE_JVM, "b.jvm", "JVM_EXE: jre/bin/java\n"},
            {FILE_CLASSPATH_ARCHIVE, "lib.jar", testsupport::noise(3000)},
            {FILE_JVM_INSTALLER, "jre.bin", "#!/bin/sh\nexit 0\n"},
            {FILE_APPLICATION_ARCHIVE, "app.jar", testsupport::noise(200000)},
        };
        testsupport::LauncherFileBuilder builder(input.path());
        for (const Source& source : sources) {
            writeFile(input.file(source.name), source.content);
            builder.add(source.type, source.name);
        }
        builder.write(launcher());
    }
    std::string launcher() const { return input.file("setup"); }
    // Runs the launcher in the work directory with its own empty temp dir.
    LauncherResult run(const std::vector<std::string>& args) {
        return LauncherProcessTest::run(launcher(), args);
    }

    TempDir input;
    std::vector<Source> sources;
};

TEST_F(ExtractProcessTest, ExtractWritesWhatTheListingShows) {
    LauncherResult result = run({"-cv:extract"});
    ASSERT_EQ(result.status, 0) << result.out;
    for (const Source& source : sources) {
        EXPECT_TRUE(readFile(work_.file(source.name)) == source.content) << source.name;
    }
    EXPECT_EQ(readFile(work_.file("verify.jar")), readFile(testsupport::verifyArchivePath()));

    // Every line of the listing names a file of that size in the directory.
    testsupport::ProcessResult listing =
        testsupport::runProcess({testsupport::cvpackPath(), "--list", launcher()});
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
        EXPECT_EQ(readFile(work_.file(name)).size(), size) << line;
        entries++;
    }
    EXPECT_EQ(entries, 8);
    EXPECT_EQ(work_.entries().size(), 9u);  // the files and input.tag
}

TEST_F(ExtractProcessTest, OnlyInstallersComeOutExecutable) {
    ASSERT_EQ(run({"-cv:extract"}).status, 0);
    struct stat info;
    ASSERT_EQ(stat(work_.file("jre.bin").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0111, 0111u);
    ASSERT_EQ(stat(work_.file("app.jar").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0111, 0u);
}

TEST_F(ExtractProcessTest, InputFileRunsTheExtractedFiles) {
    ASSERT_EQ(run({"-cv:extract"}).status, 0);
    EXPECT_EQ(readFile(work_.file("input.tag")),
              "ACTION:  RUN_INSTRUCTIONS\n"
              "INSTRUCTIONS:  setup.ins\n"
              "JVM:\n  a.jvm\n  b.jvm\n/:\n"
              "LAUNCHSCRIPT:  run.ls\n");
    EXPECT_EQ(run({"-cv:in", "input.tag"}).status, 7);

    // The files on disk take the place of the embedded ones.
    writeFile(work_.file("run.ls"), "COMMAND: exit 9\n");
    EXPECT_EQ(run({"-cv:in", "input.tag"}).status, 9);
    writeFile(work_.file("setup.ins"), "INSTRUCTIONS:\n  SET N1 = 1\n/:\n");
    EXPECT_EQ(run({"-cv:in", "input.tag"}).status, 0);
}

TEST_F(ExtractProcessTest, LinksUnderTheNamesAreReplacedNeverFollowed) {
    TempDir outside;
    writeFile(outside.file("victim"), "precious");
    testsupport::makeDirectories(outside.file("dir"));
    const std::vector<std::pair<std::string, std::string>> links = {
        {"lib.jar", outside.file("victim")},
        {"app.jar", outside.file("dir")},
        {"run.ls", outside.file("created")},
        {"input.tag", outside.file("victim")}};
    for (const auto& link : links) {
        std::filesystem::create_symlink(link.second, work_.file(link.first));
    }
    LauncherResult result = run({"-cv:extract"});
    ASSERT_EQ(result.status, 0) << result.out;
    for (const Source& source : sources) {
        EXPECT_TRUE(readFile(work_.file(source.name)) == source.content) << source.name;
    }
    for (const auto& link : links) {
        EXPECT_TRUE(std::filesystem::is_regular_file(
            std::filesystem::symlink_status(work_.file(link.first))))
            << link.first;
    }
    EXPECT_EQ(readFile(outside.file("victim")), "precious");
    EXPECT_EQ(outside.entries(), (std::vector<std::string>{"dir", "victim"}));
    EXPECT_EQ(work_.entries().size(), 9u);  // no temporary file beside them
}

// A failed extraction leaves neither its target nor a temporary file, and no
// input.tag.
TEST_F(ExtractProcessTest, FailedExtractionIsReportedAndLeavesNothing) {
    const std::string kFailed = "Unable to extract embedded files from the launcher. ";
    TempDir outside;
    std::filesystem::create_directory_symlink(outside.path(), work_.file("sub"));
    const struct {
        const char* name;
        std::string message;
    } cases[] = {
        {"missing/lib.jar",
         kFailed + "Error writing file = 2 There may not be enough temporary disk space."},
        {"sub/lib.jar",
         kFailed + "Unsafe file name in file index: sub/lib.jar leads through a symbolic link."},
    };
    writeFile(input.file("lib.jar"), "x");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::LauncherFileBuilder(input.path())
            .add(FILE_CLASSPATH_ARCHIVE, "lib.jar")
            .name(c.name)
            .write(launcher());
        LauncherResult result = run({"-cv:extract"});
        EXPECT_EQ(result.status, 255);
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
        EXPECT_EQ(work_.entries(), std::vector<std::string>{"sub"});
        EXPECT_TRUE(outside.isEmpty());
    }
}

TEST_F(ExtractProcessTest, EntryNamedLikeTheLauncherNeverOverwritesIt) {
    writeFile(input.file("lib.jar"), "x");
    testsupport::LauncherFileBuilder(input.path())
        .withoutVerifyArchive()
        .add(FILE_CLASSPATH_ARCHIVE, "lib.jar")
        .name("setup")
        .write(launcher());
    std::string before = readFile(launcher());
    testsupport::LauncherOptions inInput;
    inInput.workingDir = input.path();
    LauncherResult result = LauncherProcessTest::run("./setup", {"-cv:extract"}, inInput);
    EXPECT_EQ(result.status, 255);
    EXPECT_NE(result.err.find("Refusing to extract setup over the running launcher file."),
              std::string::npos)
        << result.err;
    EXPECT_EQ(readFile(launcher()), before);
}

}  // namespace
