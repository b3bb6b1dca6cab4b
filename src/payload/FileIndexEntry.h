#pragma once

// One entry of the file index of a launcher file; the layout of the file is
// described in PayloadFormat.h, which also writes entries.

#include <cstdio>

#include "base/PtrDeque.h"
#include "base/SString.h"
#include "launcher/LauncherException.h"

class TagFile;

// The values of the file type byte. Types 0 to 2 are tag files, parsed when
// the payload is loaded; the others are only ever extracted.
enum FileType {
    FILE_INSTRUCTIONS = 0,         // the instruction program
    FILE_JVM = 1,                  // a JVM description file
    FILE_LAUNCH_SCRIPT = 2,        // the launch script
    FILE_CLASSPATH_ARCHIVE = 3,    // an archive put on the launched class path
    FILE_JVM_INSTALLER = 4,        // a program that installs a bundled JVM
    FILE_VERIFY_ARCHIVE = 5,       // the archive of the JVM verification class
    FILE_APPLICATION_ARCHIVE = 6,  // the application archive
    FILE_EMBEDDED_LAUNCHER = 7,    // another launcher, started in place of this one
};

const long kFileTypeLast = FILE_EMBEDDED_LAUNCHER;

// The size of the copy buffer of an extraction, and so of one progress mark.
const unsigned int kExtractChunkSize = 0xEFFF;

class FileIndexEntry {
  public:
    FileIndexEntry() = default;
    ~FileIndexEntry();
    FileIndexEntry(const FileIndexEntry&) = delete;
    FileIndexEntry& operator=(const FileIndexEntry&) = delete;

    // Reads one entry at the current position of stream, a launcher file of
    // fileSize bytes. Throws LauncherException naming the field that could
    // not be read: "Invalid file type in file index." (end of stream or a
    // type above 7), "Unable to load file id.", "Unable to load file
    // length.", "Unable to load offset to file bytes.", "Unable to load the
    // string value." (also for a name length of 0x8000 or more), "Unable to
    // load decompressed file count.", "Unable to load decompressed size.". A
    // missing compressed flag means not compressed. An entry whose bytes do
    // not lie within the file is refused before anything is sized or sought
    // by them: "Invalid offset to file bytes in file index: ..." for an
    // offset outside the file, "Invalid file length in file index: ..." for
    // a length that is negative or runs past its end, each naming the entry,
    // the figure and the file's size.
    void load(FILE* stream, long fileSize);

    // For the tag file types (0 to 2), parses the embedded bytes of stream (a
    // stream over the launcher file) into a new m_tagFile; other types are left
    // alone. Syntax errors of the tag file propagate unchanged.
    void loadTagFile(FILE* stream);

    // Copies the embedded bytes out of the running launcher file into
    // `directory` + "/" + m_fileName and returns that path. The directory must
    // exist; an empty one means the current directory. Checks the free space
    // first, advances the console progress by one mark per chunk of
    // kExtractChunkSize bytes and honours PlatformImpl::m_canceled before
    // every chunk. The bytes go to a new file that replaces the target only
    // once it is complete (ReplacementFile): a link under the target's name
    // is replaced, never followed, and a failed extraction leaves the target
    // as it was and no temporary file. Installers and embedded launchers
    // (types 4 and 7) are made executable. Throws LauncherException with the
    // catalogue's write-error text and the temporary-space hint (with the
    // error number between them when the new file or the launcher file could
    // not be opened, a read, a write or the rename failed), with the cancel
    // text, with "The launcher file ends within the data of NAME." when the
    // launcher file ends early, with "Unsafe file name in file index: NAME"
    // for a name that leaves the directory (and " leads through a symbolic
    // link." after it for one whose directories do), or for a name of the
    // running launcher file.
    SString extract(const SString& directory) const;
    // Like extract, but the file under the target's name is taken as the
    // entry's copy while its identity (PlatformImpl::fileIdentity) is
    // `madeAs`, the one it had when it was extracted: for a directory that
    // only this payload's copies go to, whose files then keep their paths
    // and times.
    SString extractOnce(const SString& directory, const SString& madeAs) const;
    // The name of the runtime that this JVM installer installs, for the
    // user's runtime store: the checksum that a runtime installer's trailer
    // records (RuntimeTrailer), or, for any other installer, a checksum of
    // all its bytes. Throws LauncherException when the launcher file cannot
    // be read.
    SString runtimeKey() const;

    long m_fileType = 0;
    TagFile* m_tagFile = nullptr;  // owned; null until loadTagFile ran for a tag file type
    long m_fileId = -1;
    long m_length = 0;
    long m_offset = 0;
    SString m_fileName;
    bool m_compressed = false;
    long m_decompressedFileCount = 0;  // 0 unless compressed
    long m_decompressedSize = 0;       // 0 unless compressed
};

// The failure of writing a file out of the payload: the catalogue's
// write-error text, the system error number (left out when it is 0, for a
// lack of space found before writing) and the hint on temporary space.
LauncherException fileWriteError(int error);

using FileIndexEntryPtrDeque = PtrDeque<FileIndexEntry>;
using FileIndexEntryPtrDE = PtrDE<FileIndexEntry>;
