#pragma once

// The finder's command line, for the program without a payload:
//
//   cvlaunch --find [RANGE] [--jdk] [--explain]
//   cvlaunch --list [RANGE] [--jdk] [--json] [--explain]
//   cvlaunch --prune-runtimes
//
// RANGE is a JavaRange ("17", "17+", "11-21"; any version without one);
// --jdk asks for a JVM with a compiler (bin/javac). The options after the
// command come in any order, each at most once.
//
// --find prints one home on one line and ends with 0: JAVA_HOME's JVM when
// it fits, else the newest JVM found that fits (the highest java.version;
// between equal ones the first in the order of JVMLocations.h). When none
// fits it ends with 1, and standard error says what was found instead.
//
// --list prints every JVM found that fits, one a line under a header line,
// in aligned columns: VERSION VENDOR ARCH KIND HOME FOUND-IN. With --json it
// prints one JSON document instead:
//   {"jvms": [{"version": "17.0.9", "major": 17, "vendor": "...",
//              "arch": "amd64", "kind": "JDK", "home": "/usr/lib/jvm/...",
//              "found_by": "/usr/lib/jvm"}, ...]}
// where a home that is not valid UTF-8 is written with U+FFFD for each
// invalid byte and comes with "home_bytes", its exact bytes in hexadecimal
// (JsonText.h). It ends with 0, also when nothing fits.
//
// --explain writes to standard error every candidate looked at, where it was
// found and why it was taken or not (JVMFinder.h, and "does not fit",
// "not a JDK", ...); standard output stays the answer.
//
// --prune-runtimes removes the runtimes of the user's runtime store that no
// running program holds, prints each removed home on a line and ends with 0.
//
// A usage error ends with 2, its message and the usage on standard error.

#include "base/SString.h"
#include "base/StringDeque.h"

class FinderCommand {
  public:
    // True when the first argument is one of the three commands.
    static bool isFinderCommand(const StringDeque& args);
    // Performs the command and returns the exit status; `usage` follows the
    // message of a usage error. Throws LauncherException when the
    // verification archive is missing or a result line cannot be written.
    static int run(const StringDeque& args, const char* usage);
};
