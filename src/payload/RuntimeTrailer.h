#pragma once

// The end of a runtime installer: the file that cvpack --runtime embeds as
// the launcher's JVM installer. Such a file is the installer program (a
// plain executable), a Java runtime image (a tar archive compressed with
// zstd) and this fixed 32-byte trailer:
//
//   | position | size | field        | meaning                                  |
//   |----------|------|--------------|------------------------------------------|
//   | end - 32 | 16   | magic        | the text "cvlaunch-runtime"              |
//   | end - 16 | 8    | image offset | where the image starts in the file       |
//   | end - 8  | 8    | checksum     | hashBytes of the image's bytes           |
//
// Integers are little-endian, unsigned. The image runs from its offset to
// the trailer. The checksum names the runtime in the user's runtime store, so
// launchers that carry the same image share one installed runtime; the
// installer checks it before it unpacks anything.

#include <cstddef>
#include <cstdint>

#include "base/SString.h"

struct RuntimeTrailer {
    static const size_t kSize = 32;

    uint64_t imageOffset = 0;
    uint64_t checksum = 0;

    // Reads the last kSize bytes of a file of `fileSize` bytes: false when
    // they are no trailer, or name an image outside the file.
    bool parse(const unsigned char* bytes, uint64_t fileSize);
    void format(unsigned char* bytes) const;
    // The image's name in the runtime store: the checksum as 16 lowercase
    // hexadecimal digits.
    SString key() const;
};
