#pragma once

// The console primitives under the status display, and the display state they
// share with PlatformImpl's display members (PlatformImplConsole.cpp). All of
// it is process-wide and used from the main thread only.

#include "base/SString.h"

// Output switch: writeLine and write print only while it is true. showUI and
// hideUI change it; silent mode is not consulted here.
extern bool g_enableOutput;
// Set by the first display write that fails (a caller that stopped reading, a
// full disk): the display then stays quiet for the rest of the run, whatever
// the output switch says, and the run goes on.
extern bool g_displayFailed;
// Title of what is being launched; fills the "%s" of the status lines.
extern SString g_title;
// Progress counter, in progress marks.
extern int ui_progress;
// Number of rows of 70 marks already ended with a line break; never
// decreases, so counting up again after a reset breaks no line until the
// counter passes the highest row boundary reached before.
extern int ui_progressBlock;

// The display is written to standard error, so that standard output carries
// only the Java program's output and the result lines. Every display write
// is flushed at once.

// Writes the text and a line feed to the display while output is on. A null
// text counts as empty.
void writeLine(const SString& text);
void writeLine(const char* text);

// Writes the text as it is to the display while output is on.
void write(const char* text);

// Writes the text and a line feed to the display whatever the output switch
// says: for messages that must reach the user.
void writeLineAlways(const SString& text);

// Ends a row of progress marks that is still open on the current line.
void endProgressRow();

// Writes one result line for the program that started the launcher to
// standard output, whatever the output switch, and flushes it. A row of
// progress marks still open is ended first, so that on a terminal that shows
// both streams the result stands on a line of its own. Returns 0, or the
// errno of the write that failed.
int writeResultLine(const SString& text);

// The next word of standard input: skips white space, then reads up to the
// next white space, at most 1023 bytes. At the end of input the result is
// empty.
SString getLine();
