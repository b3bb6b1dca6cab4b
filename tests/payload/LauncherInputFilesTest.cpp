#include "payload/LauncherInputFiles.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "PayloadTestSupport.h"
#include "instructions/Instructions.h"
#include "launcher/LauncherException.h"
#include "launchscript/LaunchScript.h"

using payloadtest::buildLauncher;
using payloadtest::ByteWriter;
using payloadtest::Embedded;
using payloadtest::readFile;
using payloadtest::writeFile;

namespace {

const char kInstructions[] = "INSTRUCTIONS:\n  SET N1 1\n/:\n";
const char kLaunchScript[] = "COMMAND: java -version\nDESC: Embedded Demo\n";
const char kJvm[] = "JVM_EXE: bin/java\n";

class LauncherInputFilesTest : public payloadtest::PayloadFixture {
  protected:
    std::string loadError(bool withTagFiles) {
        try {
            files.load(withTagFiles);
        } catch (const LauncherException& e) {
            return e.message.c_str();
        }
        return "";
    }
    // A launcher whose index lies at indexOffset and holds the given bytes.
    void writeIndex(const std::string& index, long indexOffset) {
        ByteWriter out;
        out.raw(payloadtest::kStub).raw(index).trailer(indexOffset);
        writeLauncher(out.bytes);
    }

    LauncherInputFiles files;
};

TEST_F(LauncherInputFilesTest, FileWithoutIdentificationHasEmptyPayloadAndNoLog) {
    Launcher::setLogFileName(SString(path("log").c_str()));
    writeLauncher(ByteWriter().raw("plain program").u8(1).be32(4).be32(0xCA82CA83).bytes);
    EXPECT_EQ(loadError(true), "");
    EXPECT_TRUE(files.m_loaded);
    EXPECT_EQ(files.m_fileIndex.count, 0);
    EXPECT_EQ(files.m_instructions, nullptr);
    EXPECT_FALSE(std::filesystem::exists(path("log")));
}

TEST_F(LauncherInputFilesTest, TrailerLevelFailures) {
    long stub = payloadtest::kStubSize;
    struct Row {
        const char* what;
        std::string bytes;
        const char* message;
    } rows[] = {
        {"7 bytes", "1234567", "Invalid launcher format."},
        {"offset past the end", ByteWriter().raw(payloadtest::kStub).trailer(stub + 1000).bytes,
         "Unable to read the file count."},
        {"negative offset", ByteWriter().raw(payloadtest::kStub).trailer(-1).bytes,
         "Invalid file index offset."},
        {"count cut by the end", ByteWriter().raw(payloadtest::kStub).trailer(stub + 7).bytes,
         "Unable to read the file count."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        LauncherInputFiles fresh;
        writeLauncher(row.bytes);
        try {
            fresh.load(false);
            ADD_FAILURE() << "loaded";
        } catch (const LauncherException& e) {
            EXPECT_STREQ(e.message.c_str(), row.message);
        }
        EXPECT_FALSE(fresh.m_loaded);
    }
    Launcher::m_launcherFileName = SString(path("missing").c_str());
    EXPECT_EQ(loadError(false), "Cannot open launcher file.");
}

TEST_F(LauncherInputFilesTest, BadEntryKeepsTheEntriesBeforeIt) {
    long stub = payloadtest::kStubSize;
    writeIndex(ByteWriter().be32(2).entry(3, 5, 0, 0, "a.jar").entry(8, 6, 0, 0, "b").bytes, stub);
    EXPECT_EQ(loadError(false), "Invalid file type in file index.");
    EXPECT_FALSE(files.m_loaded);
    ASSERT_EQ(files.m_fileIndex.count, 1);
    EXPECT_STREQ(files.getFileAt(0)->m_fileName.c_str(), "a.jar");
}

TEST_F(LauncherInputFilesTest, EachEntryIsLoggedAsOneEntryOfFiveLines) {
    Launcher::setLogFileName(SString(path("log").c_str()));
    Launcher::m_logFileInitialized = true;  // no separator line before the entry
    writeIndex(ByteWriter().be32(1).entry(1, 3, 20, 4, "a.jvm").bytes, payloadtest::kStubSize);
    EXPECT_EQ(loadError(false), "");
    EXPECT_EQ(readFile(path("log")),
              "file type: 1\n  file id: 3\n  length: 20\n  offset: 4\n  file name: a.jvm\n");
}

TEST_F(LauncherInputFilesTest, LookupsByPositionAndId) {
    writeIndex(ByteWriter()
                   .be32(3)
                   .entry(3, 7, 0, 0, "first")
                   .entry(3, 9, 0, 0, "second")
                   .entry(3, 7, 0, 0, "third")
                   .bytes,
               payloadtest::kStubSize);
    ASSERT_EQ(loadError(false), "");
    EXPECT_EQ(files.getFileAt(-1), nullptr);
    EXPECT_EQ(files.getFileAt(3), nullptr);
    EXPECT_STREQ(files.getFileAt(2)->m_fileName.c_str(), "third");
    EXPECT_STREQ(files.getFile(7)->m_fileName.c_str(), "first");
    EXPECT_STREQ(files.getFile(9)->m_fileName.c_str(), "second");
    EXPECT_EQ(files.getFile(8), nullptr);
}

TEST_F(LauncherInputFilesTest, LoadsOnlyOnce) {
    writeLauncher(buildLauncher({{FILE_CLASSPATH_ARCHIVE, 0, "a.jar", "x"}}));
    ASSERT_EQ(loadError(false), "");
    writeLauncher(buildLauncher({}));
    EXPECT_EQ(loadError(true), "");
    EXPECT_EQ(files.m_fileIndex.count, 1);
}

TEST_F(LauncherInputFilesTest, BuildsProgramScriptAndJvmFilesFromTagFiles) {
    writeLauncher(buildLauncher({{FILE_JVM, 0, "a.jvm", kJvm},
                                 {FILE_INSTRUCTIONS, 1, "first.ins", kInstructions},
                                 {FILE_LAUNCH_SCRIPT, 2, "run.ls", kLaunchScript},
                                 {FILE_INSTRUCTIONS, 3, "second.ins", "INSTRUCTIONS: x\n"},
                                 {FILE_JVM, 4, "b.jvm", kJvm},
                                 {FILE_APPLICATION_ARCHIVE, 5, "app.jar", "not a tag file"}}));
    ASSERT_EQ(loadError(true), "");
    ASSERT_NE(files.m_instructions, nullptr);
    EXPECT_EQ(&files.m_instructions->tagFile, files.getFileAt(1)->m_tagFile);
    ASSERT_NE(files.m_launchScript, nullptr);
    EXPECT_STREQ(files.m_launchScript->m_description.c_str(), "Embedded Demo");
    EXPECT_EQ(files.m_jvmFiles.getJVMFileCount(), 2);
    EXPECT_NE(files.getFileAt(3)->m_tagFile, nullptr);
    EXPECT_EQ(files.getFileAt(5)->m_tagFile, nullptr);
    EXPECT_TRUE(files.m_jvmFilesLoaded);
}

TEST_F(LauncherInputFilesTest, UnusedSecondProgramStillFailsOnSyntaxError) {
    writeLauncher(buildLauncher({{FILE_INSTRUCTIONS, 0, "first.ins", kInstructions},
                                 {FILE_INSTRUCTIONS, 1, "second.ins", "A: 1\njust text\n"}}));
    EXPECT_EQ(loadError(true),
              "Syntax error in second.ins at line 2 ==> Missing colon at the end of the tag name.");
    EXPECT_FALSE(files.m_loaded);
}

TEST_F(LauncherInputFilesTest, InputFileTakesPrecedence) {
    writeFile(path("disk.ins"), kInstructions);
    writeFile(path("disk.ls"), "COMMAND: java\nDESC: Disk Demo\n");
    TagFile input;
    input.setTagValue("INSTRUCTIONS", path("disk.ins").c_str());
    input.setTagValue("LAUNCHSCRIPT", path("disk.ls").c_str());
    input.setTagValue("VERIFY_CLASSPATH", "/opt/v.jar");
    input.setTagValue("VERIFY_CLASS_NAME", "Verify");
    input.setTagValue("JVM", "");
    files.load(input);
    writeLauncher(buildLauncher({{FILE_INSTRUCTIONS, 0, "e.ins", kInstructions},
                                 {FILE_LAUNCH_SCRIPT, 1, "e.ls", kLaunchScript},
                                 {FILE_JVM, 2, "a.jvm", kJvm}}));
    ASSERT_EQ(loadError(true), "");
    ASSERT_EQ(files.m_tagFiles.count, 2);
    EXPECT_EQ(&files.m_instructions->tagFile, files.m_tagFiles.at(0));
    EXPECT_STREQ(files.m_launchScript->m_description.c_str(), "Disk Demo");
    EXPECT_EQ(files.m_jvmFiles.getJVMFileCount(), 0);
    EXPECT_STREQ(files.m_jvmFiles.getVerifyClass().className().c_str(), "Verify");
}

TEST_F(LauncherInputFilesTest, InputJvmFilesAreLoadedAndPrefixedOnFailure) {
    writeFile(path("a.jvm"), kJvm);
    TagFile input;
    input.appendTagValue("JVM", path("a.jvm").c_str());
    input.appendTagValue("JVM", path("a.jvm").c_str());
    files.load(input);
    EXPECT_EQ(files.m_jvmFiles.getJVMFileCount(), 2);

    LauncherInputFiles other;
    TagFile missing;
    missing.setTagValue("JVM", path("none.jvm").c_str());
    try {
        other.load(missing);
        ADD_FAILURE() << "loaded";
    } catch (const LauncherException& e) {
        EXPECT_EQ(std::string(e.message.c_str()),
                  "Error loading JVM file.Unable to load input file: " + path("none.jvm"));
    }
}

TEST_F(LauncherInputFilesTest, HugeIndexLoadsWithOneAllocation) {
    ByteWriter index;
    index.be32(100000);
    for (long i = 0; i < 100000; i++) {
        index.entry(3, i, 0, 0, "f");
    }
    writeIndex(index.bytes, payloadtest::kStubSize);
    ASSERT_EQ(loadError(false), "");
    EXPECT_EQ(files.m_fileIndex.count, 100000);
    EXPECT_EQ(files.getFile(99999), files.getFileAt(99999));
    EXPECT_EQ(files.m_fileIndex.capacity, 100020);
}

TEST_F(LauncherInputFilesTest, ImplausibleCountIsRefusedBeforeAnythingIsReserved) {
    writeIndex(ByteWriter().be32(0x7FFFFFFF).entry(3, 1, 0, 0, "f").bytes, payloadtest::kStubSize);
    EXPECT_EQ(loadError(false),
              "Invalid file count in file index: 2147483647 entries do not fit in the launcher "
              "file (62 bytes).");
    EXPECT_EQ(files.m_fileIndex.count, 0);
    EXPECT_LE(files.m_fileIndex.capacity, 30);
}

// extractAll works in the current directory, which the state guard puts back.
class LauncherInputFilesExtractAllTest : public LauncherInputFilesTest {
  protected:
    void SetUp() override {
        LauncherInputFilesTest::SetUp();
        ASSERT_EQ(chdir(dir.c_str()), 0);
    }
};

TEST_F(LauncherInputFilesExtractAllTest, WritesEveryFileAndAnInputFile) {
    std::vector<Embedded> embedded = {{FILE_JVM, 0, "a.jvm", kJvm},
                                      {FILE_LAUNCH_SCRIPT, 1, "run.ls", kLaunchScript},
                                      {FILE_JVM, 2, "b.jvm", "JVM_EXE: jre/bin/java\n"},
                                      {FILE_INSTRUCTIONS, 3, "setup.ins", kInstructions},
                                      {FILE_APPLICATION_ARCHIVE, 4, "app.jar", "PK\x03\x04"}};
    writeLauncher(buildLauncher(embedded));
    ASSERT_EQ(loadError(false), "");
    files.extractAll();
    for (const Embedded& file : embedded) {
        EXPECT_EQ(readFile(path(file.name)), file.content) << file.name;
    }
    TagFile input(SString(path("input.tag").c_str()));
    EXPECT_STREQ(input.getTagValue("ACTION").c_str(), "RUN_INSTRUCTIONS");
    ASSERT_EQ(input.getTagValueCount("JVM"), 2u);
    EXPECT_STREQ(input.getTagValue("JVM", 0).c_str(), "a.jvm");
    EXPECT_STREQ(input.getTagValue("JVM", 1).c_str(), "b.jvm");
    EXPECT_STREQ(input.getTagValue("LAUNCHSCRIPT").c_str(), "run.ls");
    EXPECT_STREQ(input.getTagValue("INSTRUCTIONS").c_str(), "setup.ins");
}

TEST_F(LauncherInputFilesExtractAllTest, NoPayloadGivesActionOnly) {
    writeLauncher("plain program without payload");
    ASSERT_EQ(loadError(false), "");
    files.extractAll();
    TagFile input(SString(path("input.tag").c_str()));
    EXPECT_EQ(input.entries.count, 1);
    EXPECT_STREQ(input.getTagValue("ACTION").c_str(), "RUN_INSTRUCTIONS");
}

TEST_F(LauncherInputFilesExtractAllTest, FailureLeavesNoInputFile) {
    writeLauncher(buildLauncher(
        {{FILE_JVM, 0, "a.jvm", kJvm}, {FILE_CLASSPATH_ARCHIVE, 1, "no/dir.jar", "x"}}));
    ASSERT_EQ(loadError(false), "");
    EXPECT_THROW(files.extractAll(), LauncherException);
    EXPECT_EQ(readFile(path("a.jvm")), kJvm);
    EXPECT_FALSE(std::filesystem::exists(path("input.tag")));
}

TEST_F(LauncherInputFilesExtractAllTest, InputFileThatCannotBeCreatedIsAnError) {
    std::filesystem::create_directory(path("input.tag"));
    writeLauncher("plain program without payload");
    ASSERT_EQ(loadError(false), "");
    try {
        files.extractAll();
        ADD_FAILURE() << "extracted";
    } catch (const LauncherException& e) {
        EXPECT_STREQ(e.message.c_str(), "Unable to write tag file input.tag: Is a directory");
    }
}

}  // namespace
