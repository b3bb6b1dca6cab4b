// copyBytes: the one copy loop of extraction, the archive copy and the packer.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "base/ScopedFile.h"
#include "platform/PlatformImpl.h"
#include "support/TestSupport.h"

namespace {

using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

TEST(CopyBytesTest, CopiesFromTheOffsetAndLetsLaterWritesFollow) {
    TempDir dir;
    writeFile(dir.file("source"), "0123456789");
    struct Row {
        long offset;
        long length;
        size_t step;
        const char* copied;
    } rows[] = {{0, kCopyToEnd, 3, "0123456789"},
                {2, 5, 2, "23456"},
                {8, 100, 4, "89"},
                {10, 5, 4, ""},
                {4, 0, 4, ""}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.copied);
        ScopedFile source(fopen(dir.file("source").c_str(), "rb"));
        ScopedFile target(fopen(dir.file("target").c_str(), "wb"));
        fputs("<", target.get());
        CopySteps steps;
        steps.size = row.step;
        CopyResult result = copyBytes(source.get(), row.offset, target.get(), row.length, steps);
        fputs(">", target.get());
        ASSERT_EQ(closeWrittenFile(target), 0);
        EXPECT_EQ(result.copied, static_cast<long>(std::string(row.copied).size()));
        EXPECT_EQ(result.error(), 0);
        EXPECT_EQ(readFile(dir.file("target")), std::string("<") + row.copied + ">");
    }
}

// The kernel copies only between regular files: into a pipe the bytes go
// through the buffer.
TEST(CopyBytesTest, PipeTargetIsWrittenThroughTheBuffer) {
    TempDir dir;
    writeFile(dir.file("source"), "0123456789");
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    ScopedFile reader(fdopen(ends[0], "rb"));
    ScopedFile writer(fdopen(ends[1], "wb"));
    ScopedFile source(fopen(dir.file("source").c_str(), "rb"));
    CopySteps steps;
    steps.size = 4;
    CopyResult result = copyBytes(source.get(), 2, writer.get(), 7, steps);
    writer.reset();
    char bytes[16] = {};
    EXPECT_EQ(fread(bytes, 1, sizeof bytes, reader.get()), 7u);
    EXPECT_STREQ(bytes, "2345678");
    EXPECT_EQ(result.copied, 7);
    EXPECT_EQ(result.error(), 0);
}

TEST(CopyBytesTest, FailedReadOrWriteIsReportedApart) {
    TempDir dir;
    writeFile(dir.file("source"), "bytes");
    ScopedFile directory(fopen(dir.path().c_str(), "rb"));
    ScopedFile source(fopen(dir.file("source").c_str(), "rb"));
    ScopedFile target(fopen(dir.file("target").c_str(), "wb"));
    ScopedFile full(fopen("/dev/full", "wb"));
    ASSERT_TRUE(directory && source && target && full);

    CopyResult unread = copyBytes(directory.get(), 0, target.get(), kCopyToEnd, CopySteps());
    EXPECT_EQ(unread.readError, EISDIR);
    EXPECT_EQ(unread.writeError, 0);
    CopyResult unwritten = copyBytes(source.get(), 0, full.get(), kCopyToEnd, CopySteps());
    EXPECT_EQ(unwritten.readError, 0);
    EXPECT_EQ(unwritten.writeError, ENOSPC);
    EXPECT_EQ(unwritten.copied, 0);
}

}  // namespace
