#ifndef FILEINDEXENTRY_H
#define FILEINDEXENTRY_H

// One entry of the file index of a launcher file.
//
// A launcher file is the launcher program followed by a payload: the embedded
// files, a file index that describes them, and a fixed 9-byte trailer. All
// integers are big-endian; "long" fields are signed 32-bit, the name length is
// a signed 16-bit number. Offsets are absolute from the start of the file.
//
//   Trailer (the last 9 bytes of the file)
//   | position | size | field          | meaning                                   |
//   |----------|------|----------------|-------------------------------------------|
//   | end - 9  | 1    | purpose        | unsigned byte, see Launcher::getLauncherPurpose |
//   | end - 8  | 4    | index offset   | absolute offset of the file index         |
//   | end - 4  | 4    | identification | LAUNCHER_ID, the bytes CA 82 CA 82        |
//
//   File index (at the index offset)
//   | size | field      | meaning                                           |
//   |------|------------|---------------------------------------------------|
//   | 4    | file count | number of entries that follow; 0 or less: none    |
//   | ...  | entries    | the entries, back to back, in index order         |
//
//   One entry
//   | size     | field           | meaning                                     |
//   |----------|-----------------|---------------------------------------------|
//   | 1        | file type       | 0 to 7, see FileType                        |
//   | 4        | file id         | the id by which instructions name the file  |
//   | 4        | length          | number of bytes of the embedded file        |
//   | 4        | offset          | absolute offset of its first byte           |
//   | 2        | name length     | 0 to 32767 bytes                            |
//   | n        | name            | no terminator, no line feed                 |
//   | 1        | compressed flag | 1: an archive that expands after extraction |
//   | 4        | expanded files  | only when the flag is 1                     |
//   | 4        | expanded size   | only when the flag is 1                     |
//
// The bytes of the embedded files may lie anywhere in the file; the index
// refers to them only by offset and length. The expanded figures only enlarge
// the free-space check of an extraction: the launcher never expands anything.

#include <cstdint>
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

const long FILE_TYPE_LAST = FILE_EMBEDDED_LAUNCHER;

// The identification value in the last 4 bytes of a launcher file that
// carries a payload.
const uint32_t LAUNCHER_ID = 0xCA82CA82u;

// The size of the copy buffer of an extraction, and so of one progress mark.
const unsigned int EXTRACT_CHUNK_SIZE = 0xEFFF;

class FileIndexEntry {
  public:
    FileIndexEntry();
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
    // EXTRACT_CHUNK_SIZE bytes and honours PlatformImpl::m_canceled before
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

    long m_fileType;
    TagFile* m_tagFile;  // owned; null until loadTagFile ran for a tag file type
    long m_fileId;
    long m_length;
    long m_offset;
    SString m_fileName;
    bool m_compressed;
    long m_decompressedFileCount;  // 0 unless compressed
    long m_decompressedSize;       // 0 unless compressed
};

// The failure of writing a file out of the payload: the catalogue's
// write-error text, the system error number (left out when it is 0, for a
// lack of space found before writing) and the hint on temporary space.
LauncherException fileWriteError(int error);

using FileIndexEntryPtrDeque = PtrDeque<FileIndexEntry>;
using FileIndexEntryPtrDE = PtrDE<FileIndexEntry>;

#endif
