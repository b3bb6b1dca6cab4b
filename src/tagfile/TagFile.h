#pragma once

// Tag files: the text format of every configuration file of the launcher.
//
// A tag file is read line by line. A line ends at a line feed or at the end of
// the data; carriage returns are dropped wherever they are, and the line is
// trimmed of spaces, tabs, line feeds and carriage returns. Empty lines are
// skipped. There are no comments and no continuation lines.
//
//   tag-line := name ":" value          the colon is not the last character
//             | name ":" NL block       the colon is the last character
//   block    := { value NL } "/:"       one value per line, up to the completer
//   value    := '"' { char | '""' } '"' [ ignored ]   quoted: keeps blanks, "" is a quote
//             | text                    the rest of the line, quotes unchanged
//
// The name is the text before the first colon, trimmed; it may be empty. In a
// block, colons mean nothing ("A: b" is a value), empty values (an empty line
// or "") are skipped, and a value reading "/:", quoted or not, ends the block;
// on a tag line, "" stores one empty value.
// A tag line always removes every earlier tag of that name first; the new tag
// is appended when its first value is stored, so a block without values leaves
// the tag absent and a repeated tag keeps only its last occurrence.
//
// Example:
//     JVM_EXE: bin/java
//     ITEMS:
//       -verbose
//       "  two words  "
//     /:
//     NOTE:  plain text
// gives JVM_EXE = [bin/java], ITEMS = [-verbose, "  two words  "], NOTE = [plain text].
//
// A tag file is invalid if
//   - a line outside a block has no colon: "Missing colon at the end of the
//     tag name.", with the number of that line;
//   - the data ends inside a block: "Missing /: tag completer.", with the
//     number of the line that opened the block;
//   - a quoted value lacks its closing quote: "Expected double quote to end
//     argument near " and the position after the opening quote in the trimmed
//     line.
// The first two are logged as errors and thrown as LauncherException
// "Syntax error in <file> at line <n> ==> <message>"; the third is thrown as it
// is, without logging. Loading stops at the error; tags read before it stay.

#include <cstdio>
#include <string>
#include <unordered_map>

#include "base/PtrDeque.h"
#include "base/SString.h"
#include "base/StringDeque.h"
#include "tagfile/TagFileEntry.h"

class TagFile {
  public:
    // An empty tag file, not loaded.
    TagFile();
    // Loads the whole file at path. Throws LauncherException "Unable to load
    // input file: " + path when it cannot be opened, and the errors of load.
    explicit TagFile(const SString& path);
    virtual ~TagFile();
    TagFile(const TagFile&) = delete;
    TagFile& operator=(const TagFile&) = delete;

    // Reads tags from file starting at byte offset; a negative length reads to
    // the end of the stream, otherwise the `length` bytes from offset alone
    // (a last line without a line feed ends there, and a block that is not
    // completed there is missing its completer).
    // Existing tags stay; tags read replace tags of the same name. fileName is
    // used in messages only. Throws LauncherException "Unable to read tag
    // file." when the seek fails, and the syntax errors described above.
    void load(FILE* file, const SString& fileName, long offset, long length);
    // Whether a load has run to its end.
    bool isLoaded() const;

    // Names are compared byte for byte, case-sensitively.

    // A copy of the value at index, or "" when there is no such tag or value.
    SString getTagValue(const char* name, unsigned int index = 0) const;
    // The number of values; 0 when the tag is absent.
    unsigned int getTagValueCount(const char* name) const;
    // The tag's values, owned by this tag file; null when the tag is absent.
    StringDeque* getValue(const char* name);
    const StringDeque* getValue(const char* name) const;
    // Afterwards the tag has exactly this one value. A present tag keeps its
    // place; an absent one is appended.
    void setTagValue(const char* name, const SString& value);
    // Adds the value after the tag's last value; an absent tag is appended.
    void appendTagValue(const char* name, const SString& value);
    // Removes the tag and its values; nothing happens when it is absent.
    void removeValue(const char* name);
    // Whether the decimal integer at the start of value 0 (read as by "%hd",
    // after optional whitespace; text after it is ignored) is not 0. An absent
    // or empty value, or one that does not begin with a number, gives
    // defaultValue.
    bool getBoolTagValue(const char* name, bool defaultValue) const;
    // Sets the tag to "1" or "0".
    void setBoolTagValue(const char* name, bool value);
    // Sets "JVM_HOME", "JVM_FILE" and the boolean "JVM_TEMP", in that order.
    void setDynamicJVMTags(const SString& jvmHome, const SString& jvmFile, bool temp);
    // Writes all tags to a new file at path, in a form that load reads back:
    // a one-value tag as "NAME:  value", several values as a block. A value is
    // quoted (with inner quotes doubled) when it is empty, starts or ends with
    // whitespace, or holds a double quote. A file that cannot be opened is
    // silently not written; a failing write throws LauncherException "Unable
    // to write tag file " + path + ": " + the system's error text.
    void write(const SString& path) const;
    // Writes all tags to `file` as write(path) does and flushes it. Returns
    // 0, or the errno of the failed write.
    int write(FILE* file) const;
    // Throws the failure to write a tag file: LauncherException "Unable to
    // write tag file " + path + ": " + the system's text of `error`.
    [[noreturn]] static void throwWriteError(const SString& path, int error);

    // Logs "Syntax error in " + fileName + " at line " + line + " ==> " +
    // message as an error and throws it as a LauncherException.
    [[noreturn]] void logSyntaxError(const SString& message, const SString& fileName, long line);
    // Appends the next line of file to line, read as by readLineFromStream
    // but in linear time however long the line, and counts it in lineNumber.
    // Throws LauncherException "Unable to read tag file: " + the system's
    // error text when the stream reports a read error.
    void readLine(FILE* file, SString& line);

    TagFileEntryPtrDeque entries;  // in order of creation
    bool loaded;
    long lineNumber;  // lines read by the current load
    SString fileName;

  private:
    // The public functions take C strings; names read from a file may hold
    // any byte, so the work is done on SString names.
    TagFileEntry* findEntry(const SString& name) const;
    TagFileEntry* createEntry(const SString& name);
    void removeEntry(const SString& name);
    void appendValue(const SString& name, const SString& value);
    void readTagLine(FILE* file, const SString& line);
    // Reads tag lines to the end of `file`.
    void readLines(FILE* file);
    void readBlock(FILE* file, const SString& name);

    // entries by name, so that lookups stay cheap in large files
    std::unordered_map<std::string, TagFileEntry*> index;
};

using TagFilePtrDeque = PtrDeque<TagFile>;
using TagFilePtrDE = PtrDE<TagFile>;
