#include "payload/PayloadFormat.h"

#include "base/TextUtils.h"
#include "launcher/LauncherException.h"
#include "payload/FileIndexEntry.h"

bool PayloadFormat::readTrailer(FILE* stream, long& indexOffset) {
    if (fseek(stream, -8, SEEK_END) != 0) {
        throw LauncherException("Invalid launcher format.");
    }
    indexOffset = loadLongValue(stream, "Unable to read file index offset.");
    long id = loadLongValue(stream, "Unable to read launcher identification value.");
    return static_cast<uint32_t>(id) == kLauncherId;
}

void PayloadFormat::appendIndex(std::string& out, const std::vector<const FileIndexEntry*>& entries,
                                long purpose, long indexOffset) {
    appendLong(out, static_cast<long>(entries.size()));
    for (const FileIndexEntry* entry : entries) {
        appendEntry(out, *entry);
    }
    appendTrailer(out, purpose, indexOffset);
}

void PayloadFormat::appendEntry(std::string& out, const FileIndexEntry& entry) {
    out += static_cast<char>(entry.m_fileType);
    appendLong(out, entry.m_fileId);
    appendLong(out, entry.m_length);
    appendLong(out, entry.m_offset);
    appendShort(out, static_cast<long>(entry.m_fileName.length()));
    out.append(entry.m_fileName.data(), entry.m_fileName.length());
    out += static_cast<char>(entry.m_compressed ? 1 : 0);
    if (entry.m_compressed) {
        appendLong(out, entry.m_decompressedFileCount);
        appendLong(out, entry.m_decompressedSize);
    }
}

void PayloadFormat::appendTrailer(std::string& out, long purpose, long indexOffset) {
    out += static_cast<char>(purpose);
    appendLong(out, indexOffset);
    appendLong(out, static_cast<long>(kLauncherId));
}

void PayloadFormat::appendLong(std::string& out, long value) {
    uint32_t bits = static_cast<uint32_t>(value);
    out += static_cast<char>(bits >> 24);
    out += static_cast<char>(bits >> 16);
    out += static_cast<char>(bits >> 8);
    out += static_cast<char>(bits);
}

void PayloadFormat::appendShort(std::string& out, long value) {
    out += static_cast<char>(value >> 8);
    out += static_cast<char>(value);
}
