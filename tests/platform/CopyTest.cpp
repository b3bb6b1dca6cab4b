// copyBytes: the one copy loop of extraction, the archive copy and the packer.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "PlatformImpl.h"
#include "ScopedFile.h"
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
    } rows[] = {{0, copyToEnd, 3, "0123456789"},
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

TEST(CopyBytesTest, FailedReadOrWriteIsReportedApart) {
    TempDir dir;
    writeFile(dir.file("source"), "bytes");
    ScopedFile directory(fopen(dir.path().c_str(), "rb"));
    ScopedFile source(fopen(dir.file("source").c_str(), "rb"));
    ScopedFile target(fopen(dir.file("target").c_str(), "wb"));
    ScopedFile full(fopen("/dev/full", "wb"));
    ASSERT_TRUE(directory && source && target && full);

    CopyResult unread = copyBytes(directory.get(), 0, target.get(), copyToEnd, CopySteps());
    EXPECT_EQ(unread.readError, EISDIR);
    EXPECT_EQ(unread.writeError, 0);
    CopyResult unwritten = copyBytes(source.get(), 0, full.get(), copyToEnd, CopySteps());
    EXPECT_EQ(unwritten.readError, 0);
    EXPECT_EQ(unwritten.writeError, ENOSPC);
    EXPECT_EQ(unwritten.copied, 0);
}

}  // namespace
