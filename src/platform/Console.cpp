// Platform layer: console output and input through stdio. Only src/platform/
// talks to the operating system.
#include "Console.h"

#include <cstdio>

bool g_enableOutput = true;
SString g_title;
int ui_progress = 0;
int ui_progressBlock = 0;

namespace {

// Whether progress marks stand on the current line without its line feed.
bool g_rowOpen = false;

// Byte for byte, so that a text with an embedded NUL is not cut short.
void putLine(const SString& text) {
    fwrite(text.data(), 1, text.length(), stdout);
    putchar('\n');
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
        fputs(text, stdout);
        fflush(stdout);
        g_rowOpen = true;
    }
}

void writeResultLine(const SString& text) {
    if (g_rowOpen) {
        putchar('\n');
    }
    writeLineAlways(text);
}

void writeLineAlways(const SString& text) {
    putLine(text);
    fflush(stdout);
}

SString getLine() {
    fflush(stdout);
    char word[1024] = {};  // "%1023s" leaves the last byte for the NUL
    if (scanf("%1023s", word) != 1) {
        return SString();
    }
    return SString(word);
}
