// Platform layer: copying bytes from file to file with plain reads and
// writes. Only src/platform/ talks to the operating system.
#include <memory>

#include <unistd.h>

#include "PlatformImpl.h"

namespace {

// Writes all `size` bytes, in as many calls as the system needs. Returns 0, or
// the errno of the write that failed.
int writeAll(int fd, const char* bytes, size_t size) {
    while (size > 0) {
        ssize_t written = retryOnEintr([&] { return write(fd, bytes, size); });
        if (written < 0) {
            return errno;
        }
        bytes += written;
        size -= static_cast<size_t>(written);
    }
    return 0;
}

}  // namespace

CopyResult copyBytes(FILE* source, long offset, FILE* target, long length, const CopySteps& steps) {
    CopyResult result;
    if (fflush(target) != 0) {
        result.writeError = errno;
        return result;
    }
    std::unique_ptr<char[]> buffer(new char[steps.size]);
    while (result.copied < length && !(steps.cancelable && PlatformImpl::m_canceled)) {
        size_t step = steps.size;
        if (length - result.copied < static_cast<long>(step)) {
            step = static_cast<size_t>(length - result.copied);
        }
        ssize_t got = retryOnEintr(
            [&] { return pread(fileno(source), buffer.get(), step, offset + result.copied); });
        if (got <= 0) {
            result.readError = got < 0 ? errno : 0;
            break;
        }
        result.writeError = writeAll(fileno(target), buffer.get(), static_cast<size_t>(got));
        if (result.writeError != 0) {
            break;
        }
        result.copied += got;
        if (steps.progressMarks) {
            PlatformImpl::advanceUIProgress(1);
        }
    }
    return result;
}
