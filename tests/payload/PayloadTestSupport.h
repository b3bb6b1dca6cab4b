#pragma once

// Helpers of the payload tests: launcher files built byte by byte, and a
// fixture with a fresh directory for them whose launcher state is that of a
// fresh process (LauncherStateGuard).

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "launcher/Launcher.h"
#include "payload/FileIndexEntry.h"
#include "payload/PayloadFormat.h"
#include "platform/Console.h"
#include "platform/PlatformImpl.h"
#include "support/LauncherStateGuard.h"
#include "support/TestSupport.h"

namespace payloadtest {

// Appends the fields of a launcher file, big-endian like the real thing.
class ByteWriter {
  public:
    ByteWriter& u8(int value) {
        bytes.push_back(static_cast<char>(value));
        return *this;
    }
    ByteWriter& be16(long value) {
        return u8(static_cast<int>(value >> 8)).u8(static_cast<int>(value));
    }
    ByteWriter& be32(long value) {
        uint32_t bits = static_cast<uint32_t>(value);
        return u8(bits >> 24).u8(bits >> 16).u8(bits >> 8).u8(bits);
    }
    ByteWriter& raw(const std::string& text) {
        bytes += text;
        return *this;
    }
    // One index entry; the expanded figures count only for a compressed one.
    ByteWriter& entry(int type, long id, long length, long offset, const std::string& name,
                      bool compressed = false, long expandedFiles = 0, long expandedSize = 0) {
        FileIndexEntry entry;
        entry.m_fileType = type;
        entry.m_fileId = id;
        entry.m_length = length;
        entry.m_offset = offset;
        entry.m_fileName = name.c_str();
        entry.m_compressed = compressed;
        entry.m_decompressedFileCount = expandedFiles;
        entry.m_decompressedSize = expandedSize;
        PayloadFormat::appendEntry(bytes, entry);
        return *this;
    }
    ByteWriter& trailer(long indexOffset, int purpose = 1) {
        PayloadFormat::appendTrailer(bytes, purpose, indexOffset);
        return *this;
    }
    long size() const { return static_cast<long>(bytes.size()); }

    std::string bytes;
};

// The program part of the launchers that buildLauncher makes; the first
// embedded file starts right after it.
const char kStub[] = "#!/bin/false\nstub program bytes\n";
const long kStubSize = sizeof kStub - 1;

// A file to embed in a launcher built by buildLauncher.
struct Embedded {
    int type;
    long id;
    std::string name;
    std::string content;
    bool compressed = false;
    long expandedFiles = 0;
    long expandedSize = 0;
};

// A well-formed launcher file: the stub (by default a small one that cannot
// run), the contents in order, the index and the trailer.
inline std::string buildLauncher(const std::vector<Embedded>& files,
                                 const std::string& stub = kStub) {
    ByteWriter out;
    out.raw(stub);
    std::vector<long> offsets;
    for (const Embedded& file : files) {
        offsets.push_back(out.size());
        out.raw(file.content);
    }
    long indexOffset = out.size();
    out.be32(static_cast<long>(files.size()));
    for (size_t i = 0; i < files.size(); i++) {
        const Embedded& f = files[i];
        out.entry(f.type, f.id, static_cast<long>(f.content.size()), offsets[i], f.name,
                  f.compressed, f.expandedFiles, f.expandedSize);
    }
    return out.trailer(indexOffset).bytes;
}

using testsupport::readFile;
using testsupport::writeFile;

// Each test gets a directory of its own, where the launcher file lies; a
// test that leaves anything in the launcher's temporary directory fails.
class PayloadFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        Launcher::m_launcherFileName = SString(path("launcher").c_str());
        PlatformImpl::setSilent(true);
    }
    void TearDown() override { state.checkTempDir(); }

    std::string path(const std::string& name) const { return temp.file(name); }
    // Writes the launcher file that Launcher::getLauncherFileName names.
    void writeLauncher(const std::string& bytes) { writeFile(path("launcher"), bytes); }

    testsupport::LauncherStateGuard state;
    testsupport::TempDir temp;
    const std::string& dir = temp.path();
};

}  // namespace payloadtest
