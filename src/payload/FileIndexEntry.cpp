#include "payload/FileIndexEntry.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <vector>

#include "base/ScopedFile.h"
#include "base/SystemError.h"
#include "base/TextUtils.h"
#include "launcher/Launcher.h"
#include "launcher/LauncherException.h"
#include "payload/RuntimeTrailer.h"
#include "platform/PlatformImpl.h"
#include "platform/ReplacementFile.h"
#include "tagfile/TagFile.h"

namespace {

// The name is read the way a line is: it stops after a line feed, so a name
// holding one leaves the stream out of step and a later field fails.
SString readName(FILE* stream, short length) {
    if (length <= 0) {
        return SString();
    }
    std::vector<char> buffer(static_cast<size_t>(length) + 1, '\0');
    if (fgets(buffer.data(), length + 1, stream) == nullptr) {
        return SString();
    }
    return SString(buffer.data());
}

// A name that is absolute or climbs out with ".." would put the file outside
// the directory it is extracted into.
bool staysInside(const SString& name) {
    if (!name.empty() && name[0] == '/') {
        return false;
    }
    unsigned int start = 0;
    while (start <= name.length()) {
        unsigned int end = name.find('/', start);
        if (end == SString::npos) {
            end = name.length();
        }
        if (name.compare(start, end - start, "..") == 0) {
            return false;
        }
        start = end + 1;
    }
    return true;
}

// Refuses an entry whose bytes do not lie within the launcher file: its
// length sizes the buffer of a tag file and its offset drives a seek, so a
// forged index could otherwise make the launcher claim gigabytes before it
// reads a byte.
void checkBounds(const FileIndexEntry& entry, long fileSize) {
    SString where = joinText(entry.m_fileName, " at offset ", convertToString(entry.m_offset));
    SString size = joinText(" (", convertToString(fileSize), " bytes).");
    if (entry.m_offset < 0 || entry.m_offset > fileSize) {
        throw LauncherException(joinText("Invalid offset to file bytes in file index: ", where,
                                         " lies outside the launcher file", size));
    }
    if (entry.m_length < 0 || entry.m_length > fileSize - entry.m_offset) {
        throw LauncherException(
            joinText("Invalid file length in file index: ", convertToString(entry.m_length),
                     " bytes of ", where, " do not fit in the launcher file", size));
    }
}

// The refusal of a name that would put the file elsewhere; `why` follows it.
LauncherException unsafeName(const FileIndexEntry& entry, const char* why = "") {
    return LauncherException(joinText("Unsafe file name in file index: ", entry.m_fileName, why));
}

// The extraction's target in directory, once it is safe to write: its name
// stays inside the directory, the file system has room and it is not the
// running launcher file.
SString checkedTarget(const FileIndexEntry& entry, const SString& directory) {
    if (!staysInside(entry.m_fileName)) {
        throw unsafeName(entry);
    }
    long bytes = entry.m_length;
    long files = 1;
    if (entry.m_compressed) {
        bytes += entry.m_decompressedSize;
        files += entry.m_decompressedFileCount;
    }
    if (!PlatformImpl::checkFreeSpace(directory, bytes, files)) {
        throw fileWriteError(0);
    }
    SString target = pathInDirectory(directory, entry.m_fileName);
    // Renaming over the launcher would replace it on disk when an entry is
    // named like it and extracted beside it.
    if (PlatformImpl::isSameFile(target, Launcher::getLauncherFileName())) {
        throw LauncherException(
            joinText("Refusing to extract ", entry.m_fileName, " over the running launcher file."));
    }
    return target;
}

// Copies the entry's bytes out of the launcher file into the new file that
// is to replace the target, one chunk and one progress mark at a time. Throws
// when either file cannot be opened; a failed read or write is in the result.
CopyResult copyOut(const FileIndexEntry& entry, const SString& directory, ReplacementFile& output) {
    // The launcher file was readable when the index was loaded; if it no
    // longer is, the error number says why.
    ScopedFile source(fopen(Launcher::getLauncherFileName().c_str(), "rb"));
    if (source == nullptr) {
        int error = errno;
        throw fileWriteError(error);
    }
    int error = output.open(directory, entry.m_fileName);
    if (error == ELOOP) {
        // A linked directory could lead anywhere, as ".." does.
        throw unsafeName(entry, " leads through a symbolic link.");
    }
    if (error != 0) {
        throw fileWriteError(error);
    }
    CopySteps steps;
    steps.size = kExtractChunkSize;
    steps.progressMarks = true;
    steps.cancelable = true;
    return copyBytes(source.get(), entry.m_offset, output.stream(), entry.m_length, steps);
}

LauncherException endsWithin(const FileIndexEntry& entry) {
    return LauncherException(
        joinText("The launcher file ends within the data of ", entry.m_fileName, '.'));
}

// Puts the new file in the target's place once it is complete, executable
// for an installer or a launcher. One with only part of its bytes is of no
// use to anyone: it never takes the target's place, and the reason is thrown.
void finish(const FileIndexEntry& entry, const CopyResult& copy, ReplacementFile& output) {
    if (copy.error() != 0) {
        throw fileWriteError(copy.error());
    }
    if (PlatformImpl::m_canceled) {
        throw LauncherException(PlatformImpl::getMessageText(MSG_CANCELED));
    }
    if (copy.copied < entry.m_length) {
        throw endsWithin(entry);
    }
    bool executable =
        entry.m_fileType == FILE_JVM_INSTALLER || entry.m_fileType == FILE_EMBEDDED_LAUNCHER;
    int error = output.commit(executable);
    if (error != 0) {
        throw fileWriteError(error);
    }
}

}  // namespace

FileIndexEntry::~FileIndexEntry() {
    delete m_tagFile;
}

void FileIndexEntry::load(FILE* stream, long fileSize) {
    int type = fgetc(stream);
    if (type == EOF || type > kFileTypeLast) {
        throw LauncherException("Invalid file type in file index.");
    }
    m_fileType = type;
    m_fileId = loadLongValue(stream, "Unable to load file id.");
    m_length = loadLongValue(stream, "Unable to load file length.");
    m_offset = loadLongValue(stream, "Unable to load offset to file bytes.");
    short nameLength = loadShortValue(stream, "Unable to load the string value.");
    if (nameLength < 0) {
        throw LauncherException("Unable to load the string value.");
    }
    m_fileName = readName(stream, nameLength);
    m_compressed = fgetc(stream) == 1;
    if (m_compressed) {
        m_decompressedFileCount = loadLongValue(stream, "Unable to load decompressed file count.");
        m_decompressedSize = loadLongValue(stream, "Unable to load decompressed size.");
    }
    checkBounds(*this, fileSize);
}

void FileIndexEntry::loadTagFile(FILE* stream) {
    if (m_fileType != FILE_INSTRUCTIONS && m_fileType != FILE_JVM &&
        m_fileType != FILE_LAUNCH_SCRIPT) {
        return;
    }
    delete m_tagFile;
    m_tagFile = new TagFile();
    m_tagFile->load(stream, m_fileName, m_offset, m_length);
}

SString FileIndexEntry::extract(const SString& directory) const {
    SString target = checkedTarget(*this, directory);
    ReplacementFile output;
    finish(*this, copyOut(*this, directory, output), output);
    return target;
}

SString FileIndexEntry::extractOnce(const SString& directory, const SString& madeAs) const {
    SString target = pathInDirectory(directory, m_fileName);
    if (staysInside(m_fileName) && !madeAs.empty() &&
        PlatformImpl::fileIdentity(target).compare(madeAs) == 0) {
        return target;
    }
    return extract(directory);
}

LauncherException fileWriteError(int error) {
    SString message = PlatformImpl::getMessageText(MSG_FILE_WRITE_ERROR);
    if (error != 0) {
        message += convertToString(error);
    }
    message += PlatformImpl::getMessageText(MSG_TEMP_SPACE_HINT);
    return LauncherException(message);
}

SString FileIndexEntry::runtimeKey() const {
    SString launcherFile = Launcher::getLauncherFileName();
    ScopedFile source(fopen(launcherFile.c_str(), "rb"));
    if (source == nullptr) {
        throwSystemError(joinText("Unable to read ", launcherFile, ": "), errno);
    }
    unsigned char end[RuntimeTrailer::kSize];
    long trailerAt = m_offset + m_length - static_cast<long>(sizeof end);
    RuntimeTrailer trailer;
    if (m_length >= static_cast<long>(sizeof end) &&
        fseek(source.get(), trailerAt, SEEK_SET) == 0 &&
        fread(end, 1, sizeof end, source.get()) == sizeof end &&
        trailer.parse(end, static_cast<uint64_t>(m_length))) {
        return trailer.key();
    }
    uint64_t hash = kHashStart;
    char buffer[65536];
    long left = m_length;
    if (fseek(source.get(), m_offset, SEEK_SET) == 0) {
        while (left > 0) {
            size_t chunk = fread(buffer, 1, std::min<size_t>(sizeof buffer, left), source.get());
            if (chunk == 0) {
                break;
            }
            hash = hashBytes(hash, buffer, chunk);
            left -= static_cast<long>(chunk);
        }
    }
    if (left > 0) {
        throw endsWithin(*this);
    }
    return hashText(hash);
}
