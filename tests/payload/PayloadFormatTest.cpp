#include "payload/PayloadFormat.h"

#include <gtest/gtest.h>

#include <string>

#include "base/ScopedFile.h"
#include "payload/FileIndexEntry.h"
#include "payload/LauncherInputFiles.h"
#include "payload/PayloadTestSupport.h"

namespace {

using payloadtest::PayloadFixture;

class PayloadFormatTest : public PayloadFixture {};

void describe(FileIndexEntry& entry, long type, long id, const char* name, long offset,
              long length) {
    entry.m_fileType = type;
    entry.m_fileId = id;
    entry.m_fileName = name;
    entry.m_offset = offset;
    entry.m_length = length;
}

// What the codec writes, the launcher's reader reads back field by field,
// and the trailer that the codec writes leads it to the index.
TEST_F(PayloadFormatTest, WhatIsWrittenReadsBackUnchanged) {
    std::string bytes = "program";
    FileIndexEntry plain;
    describe(plain, FILE_JVM, -7, "a.jvm", 3, 4);
    FileIndexEntry compressed;
    describe(compressed, FILE_APPLICATION_ARCHIVE, 0x7FFFFFFF, "lib/app.jar", 0,
             static_cast<long>(bytes.size()));
    compressed.m_compressed = true;
    compressed.m_decompressedFileCount = 12;
    compressed.m_decompressedSize = 345678;
    PayloadFormat::appendIndex(bytes, {&plain, &compressed}, 2, static_cast<long>(bytes.size()));
    writeLauncher(bytes);

    LauncherInputFiles files;
    files.load(SString(path("launcher").c_str()), false);
    ASSERT_EQ(files.m_fileIndex.count, 2);
    for (long i = 0; i < 2; i++) {
        const FileIndexEntry& written = i == 0 ? plain : compressed;
        const FileIndexEntry& read = *files.getFileAt(i);
        SCOPED_TRACE(written.m_fileName.c_str());
        EXPECT_EQ(read.m_fileType, written.m_fileType);
        EXPECT_EQ(read.m_fileId, written.m_fileId);
        EXPECT_EQ(read.m_offset, written.m_offset);
        EXPECT_EQ(read.m_length, written.m_length);
        EXPECT_STREQ(read.m_fileName.c_str(), written.m_fileName.c_str());
        EXPECT_EQ(read.m_compressed, written.m_compressed);
        EXPECT_EQ(read.m_decompressedFileCount, written.m_decompressedFileCount);
        EXPECT_EQ(read.m_decompressedSize, written.m_decompressedSize);
    }
    EXPECT_EQ(Launcher::getLauncherPurpose(path("launcher").c_str()), 2);
    ScopedFile stream(fopen(path("launcher").c_str(), "rb"));
    long indexOffset = 0;
    EXPECT_TRUE(PayloadFormat::readTrailer(stream.get(), indexOffset));
    EXPECT_EQ(indexOffset, 7);
}

}  // namespace
