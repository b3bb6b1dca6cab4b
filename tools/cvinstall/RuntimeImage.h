#pragma once

// A Java runtime image as a launcher carries it: a runtime installer (see
// payload/RuntimeTrailer.h) that is the installer program cvinstall, a tar
// archive of the runtime's home compressed with zstd, and the trailer.
//
// The archive holds the home's files, directories and symbolic links with
// their modes and times; the files given as `extraFiles` (the runtime's
// "jvm" description file) come first, as plain files at the top. Reading it
// back, the installer refuses anything that could write outside its
// destination: absolute names, "..", links that lead out of the destination
// (absolute or relative), hard links, and any kind of file but regular
// files, directories and symbolic links. The "jvm" file at the top is
// written last, only once everything else is in place, so a destination
// with a "jvm" file holds the whole image.
//
// This code uses the archive and compression libraries; the launcher never
// links it: it only runs the installer.

#include <cstdint>
#include <utility>
#include <vector>

#include "base/SString.h"

struct RuntimeImageInfo {
    SString javaVersion;           // JAVA_VERSION of the image's "release" file
    std::vector<SString> modules;  // MODULES of the "release" file
    long files = 0;                // entries of the archive
    long long bytes = 0;           // their size unpacked
    long long packedBytes = 0;     // the archive's size
    SString key;                   // RuntimeTrailer::key()
};

class RuntimeImage {
  public:
    // The zstd levels that write() takes: 19 packs smallest (a linked runtime
    // of four modules, 97 MB, into 22 MB, in about a minute), 1 fastest (in
    // a second or two, 5 to 8 MB larger); both unpack in well under a second.
    static const int kMinLevel = 1;
    static const int kMaxLevel = 19;

    // Writes the runtime installer `output`: the program `installer`, the
    // image of the runtime home `home`, compressed at `level`, and the
    // trailer. Throws LauncherException with a complete message.
    static RuntimeImageInfo write(const SString& installer, const SString& home,
                                  const std::vector<std::pair<SString, SString>>& extraFiles,
                                  const SString& output, int level = kMaxLevel);

    // What the runtime installer that lies at `offset` in `file`, `length`
    // bytes long, carries (a launcher's JVM installer entry, or a whole
    // installer file with offset 0). Throws LauncherException when it is no
    // runtime installer or its image cannot be read.
    static RuntimeImageInfo describe(const SString& file, uint64_t offset, uint64_t length);

    // Unpacks the image of the runtime installer `file` into the existing
    // directory `directory`. Throws LauncherException naming the entry that
    // was refused or could not be written; what was written stays.
    static void unpack(const SString& file, const SString& directory);

    // The value of `key` in the text of a runtime's "release" file (lines
    // of KEY="value"), without its quotes; "" when it has none.
    static SString releaseValue(const SString& release, const char* key);
};
