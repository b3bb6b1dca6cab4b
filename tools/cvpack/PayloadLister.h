#pragma once

// Shows what a launcher file carries, one line per embedded file in index
// order, read with the launcher's own payload reader:
//
//   purpose 1, 3 files
//   TYPE                   ID       SIZE     OFFSET  NAME
//   instructions            0        212    1574584  setup.ins
//   jvm                     1        143    1574796  java8.jvm
//   jvm-installer           2   31457280    1574939  runtime  (expands to 1200 files,
//                                                      93450240 bytes)
//       Java runtime 17.0.15, modules java.base,java.logging
//       packed 30838272 bytes, unpacked 93450240 bytes in 1200 files
//
// (one line per entry; the one of the installer is broken here). A JVM
// installer that is a runtime installer (RuntimeImage) gets the two lines
// below it: the runtime's Java version and modules, the size of its image
// packed and unpacked.

#include <cstdio>

#include "base/SString.h"

class PayloadLister {
  public:
    // Writes the listing of the launcher file at path to out. Throws
    // LauncherException when the file cannot be read, its payload is damaged,
    // or it carries no embedded file.
    static void list(const SString& path, FILE* out);
};
