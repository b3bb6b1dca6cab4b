#include "tagfile/TagFile.h"

#include <cerrno>
#include <cstdio>
#include <vector>

#include "base/ScopedFile.h"
#include "base/SystemError.h"
#include "base/TextUtils.h"
#include "launcher/Launcher.h"
#include "launcher/LauncherException.h"

namespace {

const char* const kTagCompleter = "/:";

std::string keyOf(const SString& name) {
    return std::string(name.c_str(), name.length());
}

// Deques grow by a fixed step, which would make filling a large one
// quadratic; doubling their room ahead of an append keeps loading linear.
void makeRoomForOne(GenericDeque& deque) {
    if (deque.count == deque.capacity) {
        deque.resize(2L * deque.capacity + deque.growBy);
    }
}

// A value as written in a tag line or a block line, from position start: a
// quoted string when it begins with a double quote, else the rest of the line.
SString parseValue(const SString& line, unsigned int start) {
    if (line[start] != '"') {
        return line.substr(start);
    }
    unsigned int position = start + 1;
    return parseStringArgument(line, position, true);
}

bool needsQuotes(const SString& value) {
    return value.empty() || isWhitespace(value[0]) || isWhitespace(value[value.length() - 1]) ||
           value.find('"') != SString::npos;
}

// The value as load reads it back: quoted, with inner quotes doubled, when
// plain text would lose blanks or quotes.
SString formatValue(const SString& value) {
    return needsQuotes(value) ? quoteArgument(value) : value;
}

bool writeText(FILE* file, const SString& text) {
    return fwrite(text.data(), 1, text.length(), file) == text.length();
}

bool writeEntry(FILE* file, const TagFileEntry& entry) {
    long count = entry.values->count;
    bool block = count > 1;
    bool ok = writeText(file, entry.name) && writeText(file, block ? ":\n" : ":");
    for (long i = 0; ok && i < count; ++i) {
        ok = writeText(file, "  ") && writeText(file, formatValue(entry.values->at(i))) &&
             writeText(file, "\n");
    }
    if (ok && block) {
        ok = writeText(file, "/:\n");
    }
    return ok;
}

}  // namespace

TagFile::TagFile() : loaded(false), lineNumber(0) {}

TagFile::TagFile(const SString& path) : loaded(false), lineNumber(0) {
    ScopedFile file(fopen(path.c_str(), "r"));
    if (!file) {
        throw LauncherException(joinText("Unable to load input file: ", path));
    }
    load(file.get(), path, 0, -1);
}

TagFile::~TagFile() {}

void TagFile::load(FILE* file, const SString& fileName, long offset, long length) {
    this->fileName = fileName;
    lineNumber = 0;
    if (fseek(file, offset, SEEK_SET) != 0) {
        throw LauncherException("Unable to read tag file.");
    }
    if (length < 0) {
        readLines(file);
        return;
    }
    // An embedded file is read from its own bytes only: a last line without a
    // line feed, or a block without its completer, must not run on into the
    // entry after it.
    std::vector<char> bytes(static_cast<size_t>(length) + 1);
    size_t count = fread(bytes.data(), 1, static_cast<size_t>(length), file);
    ScopedFile range(count > 0 ? fmemopen(bytes.data(), count, "r") : nullptr);
    if (count > 0 && !range) {
        throw LauncherException("Unable to read tag file.");
    }
    if (range) {
        readLines(range.get());
    } else {
        loaded = true;
    }
}

void TagFile::readLines(FILE* file) {
    while (!feof(file)) {
        SString line;
        readLine(file, line);
        if (!line.empty()) {
            readTagLine(file, line);
        }
    }
    loaded = true;
}

bool TagFile::isLoaded() const {
    return loaded;
}

SString TagFile::getTagValue(const char* name, unsigned int index) const {
    const StringDeque* values = getValue(name);
    return values != nullptr ? values->at(static_cast<long>(index)) : SString();
}

unsigned int TagFile::getTagValueCount(const char* name) const {
    const StringDeque* values = getValue(name);
    return values != nullptr ? static_cast<unsigned int>(values->count) : 0;
}

StringDeque* TagFile::getValue(const char* name) {
    TagFileEntry* entry = findEntry(name);
    return entry != nullptr ? entry->values : nullptr;
}

const StringDeque* TagFile::getValue(const char* name) const {
    TagFileEntry* entry = findEntry(name);
    return entry != nullptr ? entry->values : nullptr;
}

void TagFile::setTagValue(const char* name, const SString& value) {
    TagFileEntry* entry = findEntry(name);
    if (entry == nullptr) {
        entry = createEntry(name);
    }
    entry->values->clear();
    entry->values->push_back(value);
}

void TagFile::appendTagValue(const char* name, const SString& value) {
    appendValue(name, value);
}

void TagFile::appendValue(const SString& name, const SString& value) {
    TagFileEntry* entry = findEntry(name);
    if (entry == nullptr) {
        entry = createEntry(name);
    }
    makeRoomForOne(*entry->values);
    entry->values->push_back(value);
}

void TagFile::removeValue(const char* name) {
    removeEntry(name);
}

bool TagFile::getBoolTagValue(const char* name, bool defaultValue) const {
    short number;
    if (sscanf(getTagValue(name, 0).c_str(), "%hd", &number) != 1) {
        return defaultValue;
    }
    return number != 0;
}

void TagFile::setBoolTagValue(const char* name, bool value) {
    setTagValue(name, value ? "1" : "0");
}

void TagFile::setDynamicJVMTags(const SString& jvmHome, const SString& jvmFile, bool temp) {
    setTagValue("JVM_HOME", jvmHome);
    setTagValue("JVM_FILE", jvmFile);
    setBoolTagValue("JVM_TEMP", temp);
}

int TagFile::write(FILE* file) const {
    errno = 0;
    bool ok = true;
    for (long i = 0; ok && i < entries.count; ++i) {
        const TagFileEntry* entry = entries.at(i);
        if (entry->values->count > 0) {
            ok = writeEntry(file, *entry);
        }
    }
    // A short write (a full disk) must not pass for success: the truncated
    // file would read as a valid one.
    ok = ok && fflush(file) == 0;
    return ok ? 0 : (errno != 0 ? errno : EIO);
}

void TagFile::write(const SString& path) const {
    FILE* file = fopen(path.c_str(), "w");
    if (file == nullptr) {
        return;
    }
    int error = write(file);
    if (fclose(file) != 0 && error == 0) {
        error = errno;
    }
    if (error != 0) {
        throwWriteError(path, error);
    }
}

void TagFile::throwWriteError(const SString& path, int error) {
    throwSystemError(joinText("Unable to write tag file ", path, ": "), error);
}

void TagFile::logSyntaxError(const SString& message, const SString& fileName, long line) {
    SString text = joinText("Syntax error in ", fileName, " at line ", convertToString(line),
                            " ==> ", message);
    Launcher::logMessage(text, LOG_ERROR);
    throw LauncherException(text);
}

void TagFile::readLine(FILE* file, SString& line) {
    errno = 0;
    readLineFromStream(file, line);
    int error = errno;
    ++lineNumber;
    if (ferror(file)) {
        throwSystemError("Unable to read tag file: ", error);
    }
}

TagFileEntry* TagFile::findEntry(const SString& name) const {
    auto found = index.find(keyOf(name));
    return found != index.end() ? found->second : nullptr;
}

TagFileEntry* TagFile::createEntry(const SString& name) {
    TagFileEntry* entry = new TagFileEntry(name);
    makeRoomForOne(entries);
    entries.push_back(entry);
    index[keyOf(name)] = entry;
    return entry;
}

void TagFile::removeEntry(const SString& name) {
    auto found = index.find(keyOf(name));
    if (found == index.end()) {
        return;
    }
    // Searched from the back: a repeated tag is usually a recent one.
    for (long i = entries.count - 1; i >= 0; --i) {
        if (entries.at(i) == found->second) {
            entries.erase(i);
            break;
        }
    }
    index.erase(found);
}

void TagFile::readTagLine(FILE* file, const SString& line) {
    unsigned int colon = line.find(':');
    if (colon == SString::npos) {
        logSyntaxError("Missing colon at the end of the tag name.", fileName, lineNumber);
    }
    SString name(line, 0, colon);
    trim(name, whitespaceChars);
    removeEntry(name);
    if (colon + 1 == line.length()) {
        readBlock(file, name);
        return;
    }
    // The line is trimmed, so a character other than whitespace follows.
    SString value = parseValue(line, line.find_first_not_of(whitespaceChars, colon + 1));
    appendValue(name, value);
}

void TagFile::readBlock(FILE* file, const SString& name) {
    long tagLine = lineNumber;
    for (;;) {
        if (feof(file)) {
            logSyntaxError("Missing /: tag completer.", fileName, tagLine);
        }
        SString line;
        readLine(file, line);
        if (line.empty()) {
            continue;
        }
        SString value = parseValue(line, 0);
        if (value.compare(kTagCompleter) == 0) {
            return;
        }
        if (!value.empty()) {
            appendValue(name, value);
        }
    }
}
