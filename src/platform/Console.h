#pragma once

// The console primitives under the status display, and the display state they
// share with PlatformImpl's display members (PlatformImplConsole.cpp). All of
// it is process-wide and used from the main thread only.

#include "SString.h"

// Output switch: writeLine and write print only while it is true. showUI and
// hideUI change it; silent mode is not consulted here.
extern bool g_enableOutput;
// Title of what is being launched; fills the "%s" of the status lines.
extern SString g_title;
// Progress counter, in progress marks.
extern int ui_progress;
// Number of rows of 70 marks already ended with a line break; never
// decreases, so counting up again after a reset breaks no line until the
// counter passes the highest row boundary reached before.
extern int ui_progressBlock;

// Writes the text and a line feed to standard output while output is on.
// Does not flush. A null text counts as empty.
void writeLine(const SString& text);
void writeLine(const char* text);

// Writes the text as it is and flushes standard output, while output is on.
void write(const char* text);

// Writes the text and a line feed to standard output whatever the output
// switch says, and flushes: for messages that must reach the user.
void writeLineAlways(const SString& text);

// Writes one result line for the program that started the launcher, whatever
// the output switch; a row of progress marks still open on the current line
// is ended first, so that the result stands on a line of its own.
void writeResultLine(const SString& text);

// The next word of standard input: skips white space, then reads up to the
// next white space, at most 1023 bytes. Standard output is flushed first so
// that a question written before is visible. At the end of input the result
// is empty.
SString getLine();
