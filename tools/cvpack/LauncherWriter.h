#pragma once

// Writes a launcher file: the stub program, the embedded files one after the
// other, then the file index and the trailer as PayloadFormat lays them out.

#include <vector>

#include "base/SString.h"
#include "cvpack/PackerOptions.h"

class LauncherWriter {
  public:
    // Checks what the launcher file would be made of, before anything is
    // written: every file must be readable, the tag files (types 0 to 2) must
    // parse, the stub must not carry a payload already, and every entry name
    // must fit the index. Throws LauncherException with a message naming the
    // offending file. Warnings (an unused second instruction program or launch
    // script, a file id given twice, no instruction program, an entry name
    // with a "/" or with a macro or shell character) are printed on
    // standard error.
    static void check(const SString& stub, const std::vector<PayloadFile>& files);

    // Refuses an output that exists and is not a regular file (a device, a
    // directory, a fifo), or that is one of the inputs under any name (the
    // same device and inode). Throws LauncherException.
    static void checkOutput(const SString& output, const std::vector<SString>& inputs);

    // Writes the launcher file to output: first into a new file beside it,
    // which then replaces output, so that a failure leaves no half-written
    // launcher. The result is executable.
    // Default ids (the position in the index) and names (the base name of the
    // path) are filled in. Throws LauncherException.
    static void write(const SString& stub, const std::vector<PayloadFile>& files, long purpose,
                      const SString& output);

    // The name under which a file is embedded.
    static SString entryName(const PayloadFile& file);
    // The id under which the file at position in the index is embedded.
    static long entryId(const PayloadFile& file, long position);
};
