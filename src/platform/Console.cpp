// Platform layer: console output and input through stdio. Only src/platform/
// talks to the operating system.
#include "platform/Console.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

bool g_enableOutput = true;
bool g_displayFailed = false;
SString g_title;
int ui_progress = 0;
int ui_progressBlock = 0;

namespace {

// Whether progress marks stand on the current line without its line feed.
bool g_rowOpen = false;

void putDisplay(const char* bytes, size_t size) {
    if (g_displayFailed) {
        return;
    }
    if (fwrite(bytes, 1, size, stderr) != size || fflush(stderr) != 0) {
        g_displayFailed = true;
    }
}

// Byte for byte, so that a text with an embedded NUL is not cut short; in a
// single write, so that the line is not split by other output.
void putLine(const SString& text) {
    SString line(text);
    line.append("\n", 1);
    putDisplay(line.data(), line.length());
    g_rowOpen = false;
}

}  // namespace

void writeLine(const SString& text) {
    if (g_enableOutput) {
        putLine(text);
    }
}

void writeLine(const char* text) {
    writeLine(SString(text));
}

void write(const char* text) {
    if (g_enableOutput && text != nullptr && *text != '\0') {
        putDisplay(text, strlen(text));
        g_rowOpen = true;
    }
}

void writeLineAlways(const SString& text) {
    putLine(text);
}

void endProgressRow() {
    if (g_rowOpen) {
        putLine(SString());
    }
}

int writeResultLine(const SString& text) {
    endProgressRow();
    errno = 0;
    size_t length = text.length();
    bool written = fwrite(text.data(), 1, length, stdout) == length && putchar('\n') != EOF;
    if (fflush(stdout) != 0 || !written) {
        return errno != 0 ? errno : EIO;
    }
    return 0;
}

SString getLine() {
    char word[1024] = {};  // "%1023s" leaves the last byte for the NUL
    if (scanf("%1023s", word) != 1) {
        return SString();
    }
    return SString(word);
}
