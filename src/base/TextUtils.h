#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>

#include "base/SString.h"

// Small text and stream helpers shared by every subsystem. They keep no state.
// loadLongValue, loadShortValue and parseStringArgument throw LauncherException;
// the others do not fail.

// Space, tab, line feed and carriage return, in that order.
extern const char whitespaceChars[];

// Removes from both ends of s every character that is in set; a string made
// only of such characters becomes empty.
void trim(SString& s, const char* set);

// ---- Joining texts --------------------------------------------------------

namespace textparts {
inline unsigned int lengthOf(const SString& part) {
    return part.length();
}
inline unsigned int lengthOf(const char* part) {
    return part != nullptr ? static_cast<unsigned int>(strlen(part)) : 0;
}
inline unsigned int lengthOf(char) {
    return 1;
}
}  // namespace textparts

// The parts, SStrings, C strings (null counts as empty) or single characters,
// one after the other in one new string, sized once for all of them.
//
// Example: joinText("Unable to write tag file ", path, ": ") gives
// "Unable to write tag file /tmp/in.tag: " for the path /tmp/in.tag.
template <typename... Parts>
SString joinText(const Parts&... parts) {
    SString text;
    text.reserve((0u + ... + textparts::lengthOf(parts)));
    ((text += parts), ...);
    return text;
}

// ---- Paths ------------------------------------------------------------------
//
// Paths are joined and split at "/". Names that may have been written for a
// system that separates with "\" are split at either (kAnySeparators).

// The two separators "/" and "\".
extern const char kAnySeparators[];

// Appends the path separator ("/") unless path is empty or already ends with it.
void appendPathSeparator(SString& path);

// `name` inside `directory`: the directory, a "/" unless it is empty or
// already ends with one, then the name. "" and "x" give "x"; "/" and "x"
// give "/x".
SString pathInDirectory(const SString& directory, const SString& name);

// The directory part of `path`: the text before its last "/", or "/" when
// that "/" is the first character; "" when there is no "/". Nothing else is
// normalised: "a/b/" gives "a/b".
SString parentDirectory(const SString& path);

// The text after the last character of `path` that is one of `separators`;
// the whole path when it holds none, "" when it ends with one.
SString lastPathComponent(const SString& path, const char* separators = "/");

// The position at which suffix ends text (length(text) - length(suffix)), or
// SString::npos when text does not end with it. An empty suffix gives length(text).
unsigned int stringEndsWith(const SString& text, const char* suffix);

// True for space, tab, line feed and carriage return only.
bool isWhitespace(char c);

// True for the decimal digits 0 to 9.
bool isDigit(char c);

// The end of the run of decimal digits of text that begins at start: the
// position of the first character from start on that is no digit.
unsigned int digitRunEnd(const SString& text, unsigned int start);

// Compares two runs of decimal digits by their values, of any length:
// negative, 0 or positive. Leading zeros do not count ("010" equals "10"),
// and an empty run counts as 0.
int compareDigitRuns(const char* first, unsigned int firstLength, const char* second,
                     unsigned int secondLength);

// Compares texts in natural order: runs of digits by their values
// (compareDigitRuns), every other character by its byte value, and a text
// that the other begins with first; so "jdk-9" comes before "jdk-17" and
// "jdk-17.0.9" before "jdk-17.0.10". Texts equal so ("jdk-017", "jdk-17")
// compare byte by byte. Negative, 0 or positive.
int naturalCompare(const SString& first, const SString& second);

// The decimal text of n, as printed by "%ld".
SString convertToString(long n);

// Converts text to a new zero-terminated wide string of length(text) + 1 wide
// characters (all zero beyond the converted text); the caller frees it with
// delete[]. An escape made of a backslash, "u" or "U" and four hexadecimal
// digits gives the wide character of that code. Every other byte sequence is
// decoded in the current C locale (LC_CTYPE), so UTF-8 text keeps its letters;
// a byte that does not decode stands for its own unsigned value.
wchar_t* convertToUnicode(const SString& text);

// Appends to line the characters up to the next line feed (consumed, not
// stored) or the end of stream, dropping carriage returns, then trims line with
// whitespaceChars. A last line without line feed is read whole.
void readLineFromStream(FILE* stream, SString& line);
// The whole of the file at `path` into `text`; false, with `text` empty,
// when it cannot be opened.
bool readWholeFile(const SString& path, SString& text);

// Appends to line the characters of text from index up to the next line feed
// or the end of text, dropping carriage returns, then trims line with
// whitespaceChars. index ends one past the line feed, or at length(text) + 1
// when the end of text ended the line. Does nothing when index >= length(text).
void readLineFromString(const SString& text, unsigned int& index, SString& line);

// Reads up to n bytes into buffer; returns the number read, fewer only at the
// end of stream or on a read error.
unsigned int getBytes(FILE* stream, char* buffer, unsigned int n);

// Reads a 4-byte big-endian signed 32-bit number. Throws LauncherException
// carrying message when the stream ends first.
long loadLongValue(FILE* stream, const char* message);

// Reads a 2-byte big-endian signed 16-bit number. Throws LauncherException
// carrying message when the stream ends first.
short loadShortValue(FILE* stream, const char* message);

// Reads one argument from text at index.
//
// Quoted (index just after an opening double quote): the text up to the
// closing double quote, in which two double quotes in a row stand for one.
// index ends after the closing quote, or at SString::npos when that is the end
// of text. A missing closing quote throws LauncherException "Expected double
// quote to end argument near " and the position (as a signed 32-bit number, so
// SString::npos shows as -1; it is npos when text ends in a doubled quote).
//
// Unquoted: the text up to the first character of whitespaceChars; index ends
// at that character, or at SString::npos when there is none. From an index at
// or beyond the end, the result is empty and index becomes SString::npos.
//
// Example: from 0 in a""b"c (quoted) gives a"b and index 5.
SString parseStringArgument(const SString& text, unsigned int& index, bool quoted);

// `text` as the quoted argument that parseStringArgument reads back: in double
// quotes, with every double quote inside doubled. Example: a"b gives "a""b".
SString quoteArgument(const SString& text);

// Reads one token from text at index: skips space, tab, line feed, vertical
// tab, form feed and carriage return, then collects the characters up to the
// next such character. index ends one past the character that ended the token
// (length(text) + 1 when the end of text did). When no token is left, returns
// the empty string, sets noToken to true and leaves index past the end;
// otherwise noToken is left unchanged.
//
// Example: "  SET N1 5" gives "SET" (index 6), "N1" (9), "5" (11), then no token.
SString getTokenFromString(const SString& text, unsigned int& index, bool& noToken);

// ---- Checksums --------------------------------------------------------------

// 64-bit FNV-1a of `count` bytes, going on from `hash`: enough to tell one
// file or key from another, not to withstand an attacker. Start with
// kHashStart.
const uint64_t kHashStart = 14695981039346656037ull;
uint64_t hashBytes(uint64_t hash, const char* bytes, size_t count);
// The hash as 16 lowercase hexadecimal digits.
SString hashText(uint64_t hash);
