#include "base/TextUtils.h"

#include <cinttypes>
#include <cstdint>
#include <cstring>

#include "launcher/LauncherException.h"
#include "platform/PlatformImpl.h"

const char whitespaceChars[] = " \t\n\r";
const char kAnySeparators[] = "/\\";

namespace {

// The characters that the C library's isspace accepts in the C locale, listed
// so that the locale chosen at start-up cannot change what separates tokens.
const char kSpaceChars[] = " \t\n\v\f\r";

int hexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Reads the escape \uXXXX (or \UXXXX) at p[i]; all four X must be hexadecimal
// digits, so that a malformed escape swallows none of the text after it.
bool readUnicodeEscape(const char* p, unsigned int len, unsigned int i, wchar_t& code) {
    if (p[i] != '\\' || uint64_t(i) + 5 >= len || (p[i + 1] != 'u' && p[i + 1] != 'U')) {
        return false;
    }
    unsigned int value = 0;
    for (unsigned int k = i + 2; k < i + 6; ++k) {
        int digit = hexDigitValue(p[k]);
        if (digit < 0) {
            return false;
        }
        value = value * 16 + static_cast<unsigned int>(digit);
    }
    code = static_cast<wchar_t>(value);
    return true;
}

// Decodes the character at p[i] in the current locale; returns the number of
// bytes it took. A byte that does not decode stands for its own value.
unsigned int decodeCharacter(const char* p, unsigned int len, unsigned int i, mbstate_t& state,
                             wchar_t& code) {
    size_t used = mbrtowc(&code, p + i, len - i, &state);
    if (used == size_t(-1) || used == size_t(-2)) {
        state = mbstate_t();
        code = static_cast<wchar_t>(static_cast<unsigned char>(p[i]));
        return 1;
    }
    return used == 0 ? 1 : static_cast<unsigned int>(used);
}

void readExactly(FILE* stream, char* bytes, unsigned int n, const char* message) {
    if (getBytes(stream, bytes, n) < n) {
        throw LauncherException(SString(message));
    }
}

[[noreturn]] void throwUnterminatedArgument(unsigned int index) {
    // Positions are signed 32-bit numbers in messages, so npos reads -1.
    throw LauncherException(SString("Expected double quote to end argument near ") +=
                            convertToString(static_cast<int32_t>(index)));
}

SString parseQuotedArgument(const SString& text, unsigned int& index) {
    SString result;
    unsigned int len = text.length();
    for (;;) {
        unsigned int quote = text.find('"', index);
        if (quote == SString::npos) {
            throwUnterminatedArgument(index);
        }
        if (quote + 1 == len || text[quote + 1] != '"') {
            result.append(text, index, quote - index);
            index = quote + 1 < len ? quote + 1 : SString::npos;
            return result;
        }
        if (quote + 2 == len) {
            index = SString::npos;
            throwUnterminatedArgument(index);
        }
        // Two double quotes in a row stand for one.
        result.append(text, index, quote + 1 - index);
        index = quote + 2;
    }
}

SString parseUnquotedArgument(const SString& text, unsigned int& index) {
    if (index >= text.length()) {
        index = SString::npos;
        return SString();
    }
    unsigned int end = text.find_first_of(whitespaceChars, index);
    SString result = text.substr(index, end == SString::npos ? SString::npos : end - index);
    index = end;
    return result;
}

}  // namespace

void trim(SString& s, const char* set) {
    unsigned int last = s.find_last_not_of(set);
    if (last == SString::npos) {
        s.erase();
        return;
    }
    s.erase(last + 1);
    s.erase(0, s.find_first_not_of(set));
}

void appendPathSeparator(SString& path) {
    if (path.empty()) {
        return;
    }
    SString separator = PlatformImpl::getPathSeparator();
    if (stringEndsWith(path, separator.c_str()) == SString::npos) {
        path += separator;
    }
}

SString pathInDirectory(const SString& directory, const SString& name) {
    SString path(directory);
    appendPathSeparator(path);
    path += name;
    return path;
}

SString parentDirectory(const SString& path) {
    unsigned int separator = path.rfind('/');
    if (separator == SString::npos) {
        return SString();
    }
    return separator == 0 ? SString("/") : path.substr(0, separator);
}

SString lastPathComponent(const SString& path, const char* separators) {
    unsigned int separator = path.find_last_of(separators);
    return separator == SString::npos ? path : path.substr(separator + 1);
}

unsigned int stringEndsWith(const SString& text, const char* suffix) {
    size_t n = suffix != nullptr ? strlen(suffix) : 0;
    if (n > text.length()) {
        return SString::npos;
    }
    unsigned int pos = text.length() - static_cast<unsigned int>(n);
    return text.compare(pos, SString::npos, suffix) == 0 ? pos : SString::npos;
}

bool isWhitespace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

unsigned int digitRunEnd(const SString& text, unsigned int start) {
    unsigned int end = start;
    while (end < text.length() && isDigit(text[end])) {
        ++end;
    }
    return end;
}

int compareDigitRuns(const char* first, unsigned int firstLength, const char* second,
                     unsigned int secondLength) {
    // Without leading zeros the longer run is the greater number, and runs
    // of one length compare like their texts: no run is too long for it.
    for (; firstLength > 0 && *first == '0'; --firstLength) {
        ++first;
    }
    for (; secondLength > 0 && *second == '0'; --secondLength) {
        ++second;
    }
    if (firstLength != secondLength) {
        return firstLength < secondLength ? -1 : 1;
    }
    return memcmp(first, second, firstLength);
}

int naturalCompare(const SString& first, const SString& second) {
    unsigned int i = 0;
    unsigned int j = 0;
    while (i < first.length() && j < second.length()) {
        if (isDigit(first[i]) && isDigit(second[j])) {
            unsigned int firstEnd = digitRunEnd(first, i);
            unsigned int secondEnd = digitRunEnd(second, j);
            int order = compareDigitRuns(first.c_str() + i, firstEnd - i, second.c_str() + j,
                                         secondEnd - j);
            if (order != 0) {
                return order;
            }
            i = firstEnd;
            j = secondEnd;
        } else if (first[i] != second[j]) {
            return static_cast<unsigned char>(first[i]) < static_cast<unsigned char>(second[j]) ? -1
                                                                                                : 1;
        } else {
            ++i;
            ++j;
        }
    }
    if (i < first.length() || j < second.length()) {
        return i < first.length() ? 1 : -1;
    }
    return first.compare(second);
}

SString convertToString(long n) {
    char text[32];
    snprintf(text, sizeof(text), "%ld", n);
    return SString(text);
}

wchar_t* convertToUnicode(const SString& text) {
    unsigned int len = text.length();
    const char* p = text.c_str();
    wchar_t* result = new wchar_t[size_t(len) + 1]();
    wchar_t* out = result;
    mbstate_t state = mbstate_t();
    for (unsigned int i = 0; i < len; ++out) {
        if (readUnicodeEscape(p, len, i, *out)) {
            i += 6;
        } else {
            i += decodeCharacter(p, len, i, state, *out);
        }
    }
    return result;
}

void readLineFromStream(FILE* stream, SString& line) {
    // Characters are gathered in a block, and the line's buffer at least
    // doubles when it grows: a buffer that grew by 32 characters at a time
    // would make a line of many megabytes take quadratic time.
    char block[4096];
    unsigned int used = 0;
    int c;
    while ((c = getc(stream)) != EOF && c != '\n') {
        if (c == '\r') {
            continue;
        }
        block[used++] = static_cast<char>(c);
        if (used == sizeof(block)) {
            if (line.length() + used > line.capacity()) {
                line.reserve(2 * (line.length() + used));
            }
            line.append(block, used);
            used = 0;
        }
    }
    line.append(block, used);
    trim(line, whitespaceChars);
}

void readLineFromString(const SString& text, unsigned int& index, SString& line) {
    unsigned int len = text.length();
    if (index >= len) {
        return;
    }
    unsigned int end = text.find('\n', index);
    if (end == SString::npos) {
        end = len;
    }
    while (index < end) {
        unsigned int cr = text.find('\r', index);
        unsigned int pieceEnd = cr < end ? cr : end;
        line.append(text, index, pieceEnd - index);
        index = pieceEnd + 1;
    }
    index = end + 1;
    trim(line, whitespaceChars);
}

unsigned int getBytes(FILE* stream, char* buffer, unsigned int n) {
    return static_cast<unsigned int>(fread(buffer, 1, n, stream));
}

long loadLongValue(FILE* stream, const char* message) {
    char bytes[4];
    readExactly(stream, bytes, sizeof(bytes), message);
    return PlatformImpl::convertToLong(bytes);
}

short loadShortValue(FILE* stream, const char* message) {
    char bytes[2];
    readExactly(stream, bytes, sizeof(bytes), message);
    return PlatformImpl::convertToShort(bytes);
}

SString parseStringArgument(const SString& text, unsigned int& index, bool quoted) {
    return quoted ? parseQuotedArgument(text, index) : parseUnquotedArgument(text, index);
}

SString quoteArgument(const SString& text) {
    // Sized up front: SString grows by 32 characters at a time.
    unsigned int quotes = 0;
    for (unsigned int i = 0; i < text.length(); ++i) {
        quotes += text[i] == '"' ? 1 : 0;
    }
    SString quoted;
    quoted.reserve(text.length() + quotes + 2);
    quoted += '"';
    for (unsigned int i = 0; i < text.length(); ++i) {
        if (text[i] == '"') {
            quoted += '"';
        }
        quoted += text[i];
    }
    quoted += '"';
    return quoted;
}

SString getTokenFromString(const SString& text, unsigned int& index, bool& noToken) {
    unsigned int len = text.length();
    unsigned int start = index < len ? text.find_first_not_of(kSpaceChars, index) : SString::npos;
    if (start == SString::npos) {
        index = len + 1;
        noToken = true;
        return SString();
    }
    unsigned int end = text.find_first_of(kSpaceChars, start);
    if (end == SString::npos) {
        end = len;
    }
    index = end + 1;
    return text.substr(start, end - start);
}

uint64_t hashBytes(uint64_t hash, const char* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        hash = (hash ^ static_cast<unsigned char>(bytes[i])) * 1099511628211ull;
    }
    return hash;
}

SString hashText(uint64_t hash) {
    char text[17];
    snprintf(text, sizeof text, "%016" PRIx64, hash);
    return SString(text);
}

bool readWholeFile(const SString& path, SString& text) {
    text = SString();
    FILE* file = fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    char buffer[4096];
    size_t count;
    while ((count = fread(buffer, 1, sizeof buffer, file)) > 0) {
        text.append(buffer, static_cast<unsigned int>(count));
    }
    fclose(file);
    return true;
}
