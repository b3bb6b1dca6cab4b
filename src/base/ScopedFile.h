#pragma once

#include <cerrno>
#include <cstdio>
#include <memory>

// A stdio stream that is closed when the owner goes out of scope, also on the
// way out of an exception: the one guard of every FILE* of the launcher and
// the packer.
struct FileCloser {
    void operator()(FILE* file) const { fclose(file); }
};
using ScopedFile = std::unique_ptr<FILE, FileCloser>;

// Closes a stream that was written to and returns 0, or the errno of the
// failed close: buffered bytes are written only now, so a full disk may show
// only here.
inline int closeWrittenFile(ScopedFile& file) {
    return fclose(file.release()) == 0 ? 0 : errno;
}
