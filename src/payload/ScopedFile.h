#ifndef SCOPEDFILE_H
#define SCOPEDFILE_H

#include <cstdio>
#include <memory>

// A stdio stream that is closed when the owner goes out of scope, also on the
// way out of an exception. A caller that needs the result of fclose (a file
// being written) releases the stream and closes it itself.
struct FileCloser {
    void operator()(FILE* file) const { fclose(file); }
};
using ScopedFile = std::unique_ptr<FILE, FileCloser>;

#endif
