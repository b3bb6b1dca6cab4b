#pragma once

// The layout of the payload of a launcher file, read and written in one
// place, so that the launcher, the packer and the tests agree on it.
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
//   | end - 4  | 4    | identification | kLauncherId, the bytes CA 82 CA 82        |
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
// An entry is read by FileIndexEntry::load and the index by
// LauncherInputFiles::loadFileIndex, with the field readers below.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class FileIndexEntry;

// The identification value in the last 4 bytes of a launcher file that
// carries a payload.
const uint32_t kLauncherId = 0xCA82CA82u;

// The largest name length, and the largest offset or length of the index.
const long kMaxNameLength = 0x7FFF;
const long kMaxLauncherSize = INT32_MAX;

// The smallest index entry: type, id, length, offset, name length and flag.
const long kMinEntrySize = 1 + 4 + 4 + 4 + 2 + 1;

class PayloadFormat {
  public:
    // Reads the index offset from the trailer of stream. Returns false for a
    // file that does not end with kLauncherId, which carries no payload.
    // Throws LauncherException "Invalid launcher format." (shorter than 8
    // bytes), "Unable to read file index offset.", "Unable to read launcher
    // identification value.".
    static bool readTrailer(FILE* stream, long& indexOffset);

    // Appends the file index (the count, then the entries) and the trailer
    // that points to it at indexOffset: the end of a launcher file whose
    // first indexOffset bytes are the program and the embedded files.
    static void appendIndex(std::string& out, const std::vector<const FileIndexEntry*>& entries,
                            long purpose, long indexOffset);
    // Appends one entry, the counterpart of FileIndexEntry::load.
    static void appendEntry(std::string& out, const FileIndexEntry& entry);
    static void appendTrailer(std::string& out, long purpose, long indexOffset);

    static void appendLong(std::string& out, long value);
    static void appendShort(std::string& out, long value);
};
