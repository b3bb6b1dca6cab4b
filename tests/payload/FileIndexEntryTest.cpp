#include "payload/FileIndexEntry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "PayloadTestSupport.h"
#include "launcher/LauncherException.h"
#include "tagfile/TagFile.h"

using payloadtest::buildLauncher;
using payloadtest::ByteWriter;
using payloadtest::Embedded;
using payloadtest::PayloadFixture;
using payloadtest::readFile;
using payloadtest::writeFile;

namespace {

const char kWriteError[] = "Error writing file = ";
const char kSpaceHint[] =
    " There may not be enough temporary disk space. Try using -cv:tempdir to use a temporary "
    "directory on a partition with more disk space.";

std::string writeErrorMessage(int error) {
    return std::string(kWriteError) + std::to_string(error) + kSpaceHint;
}

// The size of the launcher file that the entries of these tests lie in.
const long kFileSize = 1 << 20;

// Loads one entry from the bytes, as they would follow in a file index.
std::string loadError(const std::string& bytes, FileIndexEntry& entry) {
    // fmemopen refuses an empty buffer.
    FILE* stream = bytes.empty() ? fopen("/dev/null", "rb")
                                 : fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "rb");
    std::string message;
    try {
        entry.load(stream, kFileSize);
    } catch (const LauncherException& e) {
        message = e.message.c_str();
    }
    fclose(stream);
    return message;
}

std::string content(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; i++) {
        bytes[i] = static_cast<char>(i * 7 + i / 251);
    }
    return bytes;
}

}  // namespace

TEST(FileIndexEntryTest, ReadsEveryFieldOfACompressedEntry) {
    std::string bytes = ByteWriter().entry(6, 42, 1000, 4096, "app.jar", true, 3, 5000).bytes;
    FileIndexEntry entry;
    EXPECT_EQ(loadError(bytes, entry), "");
    EXPECT_EQ(entry.m_fileType, 6);
    EXPECT_EQ(entry.m_fileId, 42);
    EXPECT_EQ(entry.m_length, 1000);
    EXPECT_EQ(entry.m_offset, 4096);
    EXPECT_STREQ(entry.m_fileName.c_str(), "app.jar");
    EXPECT_TRUE(entry.m_compressed);
    EXPECT_EQ(entry.m_decompressedFileCount, 3);
    EXPECT_EQ(entry.m_decompressedSize, 5000);
}

TEST(FileIndexEntryTest, EachTruncatedFieldHasItsOwnMessage) {
    std::string full = ByteWriter().entry(1, 3, 120, 4096, "a.jvm", true, 2, 9).bytes;
    const size_t flag = 1 + 4 + 4 + 4 + 2 + 5;
    struct Row {
        size_t length;
        const char* message;
    } rows[] = {
        {0, "Invalid file type in file index."},
        {1, "Unable to load file id."},
        {4, "Unable to load file id."},
        {5, "Unable to load file length."},
        {9, "Unable to load offset to file bytes."},
        {13, "Unable to load the string value."},
        {14, "Unable to load the string value."},
        {flag + 1, "Unable to load decompressed file count."},
        {flag + 4, "Unable to load decompressed file count."},
        {flag + 5, "Unable to load decompressed size."},
        {flag + 8, "Unable to load decompressed size."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.length);
        FileIndexEntry entry;
        EXPECT_EQ(loadError(full.substr(0, row.length), entry), row.message);
    }
}

TEST(FileIndexEntryTest, MissingCompressedFlagMeansNotCompressed) {
    std::string bytes = ByteWriter().entry(3, 1, 10, 20, "x.jar").bytes;
    bytes.pop_back();
    FileIndexEntry entry;
    EXPECT_EQ(loadError(bytes, entry), "");
    EXPECT_FALSE(entry.m_compressed);
    EXPECT_STREQ(entry.m_fileName.c_str(), "x.jar");
}

TEST(FileIndexEntryTest, FlagOtherThanOneReadsNoExpandedFigures) {
    ByteWriter written = ByteWriter().entry(3, 1, 10, 20, "x.jar");
    written.bytes.back() = 2;
    std::string bytes = written.be32(77).bytes;
    FILE* stream = fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "rb");
    FileIndexEntry entry;
    entry.load(stream, kFileSize);
    EXPECT_FALSE(entry.m_compressed);
    EXPECT_EQ(entry.m_decompressedFileCount, 0);
    EXPECT_EQ(ftell(stream), static_cast<long>(bytes.size()) - 4);
    fclose(stream);
}

TEST(FileIndexEntryTest, TypeAboveSevenIsRefused) {
    FileIndexEntry seven;
    EXPECT_EQ(loadError(ByteWriter().entry(7, 1, 1, 1, "l").bytes, seven), "");
    FileIndexEntry eight;
    EXPECT_EQ(loadError(ByteWriter().entry(8, 1, 1, 1, "l").bytes, eight),
              "Invalid file type in file index.");
}

TEST(FileIndexEntryTest, NameLengthBoundaries) {
    FileIndexEntry empty;
    EXPECT_EQ(loadError(ByteWriter().entry(3, 1, 1, 1, "").bytes, empty), "");
    EXPECT_STREQ(empty.m_fileName.c_str(), "");

    std::string longName(200, 'n');
    FileIndexEntry full;
    EXPECT_EQ(loadError(ByteWriter().entry(3, 1, 1, 1, longName, true, 4, 5).bytes, full), "");
    EXPECT_EQ(full.m_fileName.length(), 200u);
    EXPECT_EQ(full.m_decompressedSize, 5);

    std::string negative = ByteWriter().u8(3).be32(1).be32(1).be32(1).be16(0x8000).bytes;
    negative += std::string(64, 'n');
    FileIndexEntry refused;
    EXPECT_EQ(loadError(negative, refused), "Unable to load the string value.");
}

TEST(FileIndexEntryTest, BytesMustLieWithinTheFile) {
    const char* length = "Invalid file length in file index: ";
    const char* offset = "Invalid offset to file bytes in file index: ";
    struct Row {
        long length;
        long offset;
        const char* error;
    } rows[] = {
        {0, kFileSize, ""},         {kFileSize - 10, 10, ""}, {kFileSize - 9, 10, length},
        {0, kFileSize + 1, offset}, {1, -1, offset},          {-1, 0, length},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.length) + " at " + std::to_string(row.offset));
        FileIndexEntry entry;
        std::string error =
            loadError(ByteWriter().entry(1, 1, row.length, row.offset, "a").bytes, entry);
        EXPECT_EQ(error.substr(0, strlen(row.error)), row.error);
        EXPECT_EQ(error.empty(), *row.error == '\0') << error;
    }
}

class FileIndexEntryExtractTest : public PayloadFixture {
  protected:
    // Writes a launcher holding one entry with the content and returns it.
    FileIndexEntry& single(int type, const std::string& bytes,
                           const std::string& name = "out.bin") {
        writeLauncher(buildLauncher({{type, 0, name, bytes}}));
        entry.m_fileType = type;
        entry.m_fileName = name.c_str();
        entry.m_length = static_cast<long>(bytes.size());
        entry.m_offset = payloadtest::kStubSize;
        return entry;
    }
    std::string extractError(const FileIndexEntry& e) {
        try {
            e.extract(dir.c_str());
        } catch (const LauncherException& error) {
            return error.message.c_str();
        }
        return "";
    }

    FileIndexEntry entry;
};

TEST_F(FileIndexEntryExtractTest, CopiesBytesInChunksWithOneMarkEach) {
    PlatformImpl::setSilent(false);
    PlatformImpl::hideUI(0);
    struct Row {
        size_t size;
        int marks;
    } rows[] = {{0, 0}, {1, 1}, {61439, 1}, {61440, 2}, {1048576, 18}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.size);
        std::string bytes = content(row.size);
        ui_progress = 0;
        SString target = single(FILE_APPLICATION_ARCHIVE, bytes).extract(dir.c_str());
        EXPECT_EQ(std::string(target.c_str()), path("out.bin"));
        EXPECT_EQ(ui_progress, row.marks);
        EXPECT_TRUE(readFile(path("out.bin")) == bytes);
    }
}

TEST_F(FileIndexEntryExtractTest, InstallersAndLaunchersBecomeExecutable) {
    struct Row {
        int type;
        bool executable;
    } rows[] = {{FILE_JVM_INSTALLER, true},
                {FILE_EMBEDDED_LAUNCHER, true},
                {FILE_APPLICATION_ARCHIVE, false},
                {FILE_VERIFY_ARCHIVE, false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.type);
        single(row.type, "#!/bin/sh\n").extract(dir.c_str());
        struct stat info;
        ASSERT_EQ(stat(path("out.bin").c_str(), &info), 0);
        EXPECT_EQ((info.st_mode & 0111) == 0111, row.executable);
        remove(path("out.bin").c_str());
    }
}

TEST_F(FileIndexEntryExtractTest, ExpandedFiguresEnlargeTheFreeSpaceCheck) {
    single(FILE_JVM_INSTALLER, content(1000));
    entry.m_decompressedFileCount = 0x7FFFFFFF;
    entry.m_decompressedSize = 0x7FFFFFFF;
    EXPECT_EQ(extractError(entry), "");  // not compressed: the figures do not count
    remove(path("out.bin").c_str());

    entry.m_compressed = true;
    EXPECT_EQ(extractError(entry), std::string(kWriteError) + kSpaceHint);
    EXPECT_FALSE(std::filesystem::exists(path("out.bin")));
}

TEST_F(FileIndexEntryExtractTest, MissingSubdirectoryGivesWriteErrorWithErrno) {
    single(FILE_CLASSPATH_ARCHIVE, "abc", "missing/lib.jar");
    EXPECT_EQ(extractError(entry), writeErrorMessage(ENOENT));

    std::filesystem::create_directory(path("missing"));
    EXPECT_EQ(extractError(entry), "");
    EXPECT_EQ(readFile(path("missing/lib.jar")), "abc");

    // A directory under the target's name is not replaced.
    single(FILE_CLASSPATH_ARCHIVE, "abc", "missing");
    EXPECT_EQ(extractError(entry), writeErrorMessage(EISDIR));
    EXPECT_EQ(temp.entries(), (std::vector<std::string>{"launcher", "missing"}));
}

TEST_F(FileIndexEntryExtractTest, UnreadableLauncherGivesWriteErrorWithErrno) {
    single(FILE_CLASSPATH_ARCHIVE, "abc");
    Launcher::m_launcherFileName = SString(path("gone").c_str());
    EXPECT_EQ(extractError(entry), writeErrorMessage(ENOENT));
    EXPECT_FALSE(std::filesystem::exists(path("out.bin")));
}

TEST_F(FileIndexEntryExtractTest, NegativeOffsetIsAnErrorNotACopyOfTheStart) {
    single(FILE_CLASSPATH_ARCHIVE, "abc");
    entry.m_offset = -5;
    EXPECT_EQ(extractError(entry), writeErrorMessage(EINVAL));
}

// A truncated launcher file must not pass a shortened archive off as whole,
// nor leave one in the place of the file that was there.
TEST_F(FileIndexEntryExtractTest, LauncherEndingEarlyFailsAndLeavesTheTargetAsItWas) {
    single(FILE_CLASSPATH_ARCHIVE, "abcdef");
    long fileSize = static_cast<long>(readFile(path("launcher")).size());
    entry.m_offset = fileSize - 4;
    entry.m_length = 100000;
    EXPECT_EQ(extractError(entry), "The launcher file ends within the data of out.bin.");
    writeFile(path("out.bin"), "before");
    EXPECT_EQ(extractError(entry), "The launcher file ends within the data of out.bin.");
    EXPECT_EQ(readFile(path("out.bin")), "before");
    EXPECT_EQ(temp.entries(), (std::vector<std::string>{"launcher", "out.bin"}));
}

TEST_F(FileIndexEntryExtractTest, CancelStopsBeforeTheFirstChunk) {
    single(FILE_CLASSPATH_ARCHIVE, content(100000));
    PlatformImpl::m_canceled = true;
    EXPECT_EQ(extractError(entry), "Canceled by the user.");
    EXPECT_EQ(temp.entries(), std::vector<std::string>{"launcher"});
}

TEST_F(FileIndexEntryExtractTest, NamesLeavingTheDirectoryAreRefused) {
    for (const char* name : {"/tmp/evil", "../evil", "sub/../../evil", ".."}) {
        SCOPED_TRACE(name);
        single(FILE_CLASSPATH_ARCHIVE, "x", name);
        EXPECT_EQ(extractError(entry), std::string("Unsafe file name in file index: ") + name);
    }
    EXPECT_FALSE(std::filesystem::exists(dir + "/../evil"));
    single(FILE_CLASSPATH_ARCHIVE, "x", "..hidden");
    EXPECT_EQ(extractError(entry), "");

    testsupport::TempDir outside;
    std::filesystem::create_directories(path("real/sub"));
    std::filesystem::create_directory_symlink(outside.path(), path("real/sub/link"));
    single(FILE_CLASSPATH_ARCHIVE, "x", "./real//sub/link/evil");
    EXPECT_EQ(extractError(entry),
              "Unsafe file name in file index: ./real//sub/link/evil leads "
              "through a symbolic link.");
    EXPECT_TRUE(outside.isEmpty());
}

TEST_F(FileIndexEntryExtractTest, TagFileTypesAreParsedFromTheirBytes) {
    writeLauncher(buildLauncher({{FILE_JVM, 3, "a.jvm", "JVM_EXE: bin/java\n"},
                                 {FILE_APPLICATION_ARCHIVE, 4, "app.jar", "JVM_EXE: no\n"}}));
    FILE* stream = fopen(path("launcher").c_str(), "rb");
    FileIndexEntry jvm;
    jvm.m_fileType = FILE_JVM;
    jvm.m_offset = payloadtest::kStubSize;
    jvm.m_length = 18;
    jvm.loadTagFile(stream);
    ASSERT_NE(jvm.m_tagFile, nullptr);
    EXPECT_STREQ(jvm.m_tagFile->getTagValue("JVM_EXE").c_str(), "bin/java");
    FileIndexEntry archive;
    archive.m_fileType = FILE_APPLICATION_ARCHIVE;
    archive.m_offset = payloadtest::kStubSize + 18;
    archive.m_length = 12;
    archive.loadTagFile(stream);
    EXPECT_EQ(archive.m_tagFile, nullptr);
    fclose(stream);
}
