#pragma once

// Shows what a launcher file carries, one line per embedded file in index
// order, read with the launcher's own payload reader:
//
//   purpose 1, 3 files
//   TYPE                   ID       SIZE     OFFSET  NAME
//   instructions            0        212    1574584  setup.ins
//   jvm                     1        143    1574796  java8.jvm
//   jvm-installer           2   52428800    1574939  jre.bin  (expands to 1200 files, 150000000
//   bytes)

#include <cstdio>

#include "base/SString.h"

class PayloadLister {
  public:
    // Writes the listing of the launcher file at path to out. Throws
    // LauncherException when the file cannot be read, its payload is damaged,
    // or it carries no embedded file.
    static void list(const SString& path, FILE* out);
};
