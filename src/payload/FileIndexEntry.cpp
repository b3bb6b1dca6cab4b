#include "FileIndexEntry.h"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <vector>

#include "Launcher.h"
#include "LauncherException.h"
#include "PlatformImpl.h"
#include "ScopedFile.h"
#include "TagFile.h"
#include "TextUtils.h"

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

// Copies the bytes from position to end of source into target, one chunk
// and one progress mark at a time, until the end, the end of source, an error
// or a cancel request; position is left where copying stopped. Returns the
// error number of a failed read or write, or 0. Both streams are unbuffered:
// the chunk buffer is the only copy of the data, so each chunk is one read and
// one write, as with dd.
int copyChunks(FILE* source, FILE* target, long& position, long end) {
    std::unique_ptr<char[]> buffer(new char[EXTRACT_CHUNK_SIZE]);
    while (position < end && !feof(source) && !PlatformImpl::m_canceled) {
        size_t chunk = EXTRACT_CHUNK_SIZE;
        if (end - position < static_cast<long>(chunk)) {
            chunk = static_cast<size_t>(end - position);
        }
        size_t got = fread(buffer.get(), 1, chunk, source);
        if (got < chunk && ferror(source)) {
            return errno;
        }
        if (fwrite(buffer.get(), 1, got, target) < got || fflush(target) != 0) {
            return errno;
        }
        PlatformImpl::advanceUIProgress(1);
        position += static_cast<long>(got);
    }
    return 0;
}

}  // namespace

FileIndexEntry::FileIndexEntry()
    : m_fileType(0),
      m_tagFile(nullptr),
      m_fileId(-1),
      m_length(0),
      m_offset(0),
      m_compressed(false),
      m_decompressedFileCount(0),
      m_decompressedSize(0) {}

FileIndexEntry::~FileIndexEntry() {
    delete m_tagFile;
}

void FileIndexEntry::load(FILE* stream) {
    int type = fgetc(stream);
    if (type == EOF || type > FILE_TYPE_LAST) {
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
    if (!staysInside(m_fileName)) {
        throw LauncherException(joinText("Unsafe file name in file index: ", m_fileName));
    }
    long bytes = m_length;
    long files = 1;
    if (m_compressed) {
        bytes += m_decompressedSize;
        files += m_decompressedFileCount;
    }
    if (!PlatformImpl::checkFreeSpace(directory, bytes, files)) {
        throw fileWriteError(0);
    }
    SString target = pathInDirectory(directory, m_fileName);

    // Opening the target would truncate the launcher itself when an entry is
    // named like it and extracted beside it.
    SString launcherFile = Launcher::getLauncherFileName();
    if (PlatformImpl::isSameFile(target, launcherFile)) {
        throw LauncherException(
            joinText("Refusing to extract ", m_fileName, " over the running launcher file."));
    }
    // The launcher file was readable when the index was loaded; if it no
    // longer is, the error number says why.
    ScopedFile source(fopen(launcherFile.c_str(), "rb"));
    if (source == nullptr || fseek(source.get(), m_offset, SEEK_SET) != 0) {
        int error = errno;
        throw fileWriteError(error);
    }
    ScopedFile output(fopen(target.c_str(), "wb"));
    if (output == nullptr) {
        int error = errno;
        throw fileWriteError(error);
    }
    setvbuf(source.get(), nullptr, _IONBF, 0);
    setvbuf(output.get(), nullptr, _IONBF, 0);
    long position = m_offset;
    int error = copyChunks(source.get(), output.get(), position, m_offset + m_length);
    if (fclose(output.release()) != 0 && error == 0) {
        error = errno;
    }
    // A partial file is of no use to anyone: it goes, whatever the reason.
    if (error != 0 || PlatformImpl::m_canceled || position < m_offset + m_length) {
        PlatformImpl::deleteFile(target);
    }
    if (error != 0) {
        throw fileWriteError(error);
    }
    if (PlatformImpl::m_canceled) {
        throw LauncherException(PlatformImpl::getMessageText(MSG_CANCELED));
    }
    if (position < m_offset + m_length) {
        throw LauncherException(
            joinText("The launcher file ends within the data of ", m_fileName, '.'));
    }
    if (m_fileType == FILE_JVM_INSTALLER || m_fileType == FILE_EMBEDDED_LAUNCHER) {
        PlatformImpl::setFileExecutable(target);
    }
    return target;
}

LauncherException fileWriteError(int error) {
    SString message = PlatformImpl::getMessageText(MSG_FILE_WRITE_ERROR);
    if (error != 0) {
        message += convertToString(error);
    }
    message += PlatformImpl::getMessageText(MSG_TEMP_SPACE_HINT);
    return LauncherException(message);
}
