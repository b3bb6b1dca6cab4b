// Platform layer: copying bytes from file to file, in the kernel where it can
// and with plain reads and writes otherwise. Only src/platform/ talks to the
// operating system.
#include <memory>

#include <unistd.h>

#include "platform/PlatformImpl.h"

namespace {

#ifdef __linux__
// Copies up to `size` bytes of `source` from `offset` to the end of `target`
// without passing them through the launcher. Returns what copy_file_range
// returns.
ssize_t copyInKernel(int source, long offset, int target, size_t size) {
    off64_t from = offset;
    return retryOnEintr([&] { return copy_file_range(source, &from, target, nullptr, size, 0); });
}
#else
#error \
    "A port supplies copyInKernel: a copy in the kernel, or -1 with ENOSYS to copy through the buffer."
#endif

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

// The steps of one copy. A step goes through the kernel (copy_file_range), so
// that the bytes never pass through the launcher, for as long as that works;
// otherwise, and for good after the first failure of the kernel copy (another
// file system, an old kernel, or a real failure), through the buffer, where a
// failed read and a failed write are told apart.
class StepCopier {
  public:
    StepCopier(int source, int target, size_t bufferSize)
        : m_source(source), m_target(target), m_buffer(new char[bufferSize]), m_inKernel(true) {}

    // Copies up to `size` bytes of the source from `offset` to the end of the
    // target. Returns the number of bytes copied, 0 at the end of the source,
    // or -1 with the error in `result`.
    ssize_t copy(long offset, size_t size, CopyResult& result) {
        if (m_inKernel) {
            ssize_t copied = copyInKernel(m_source, offset, m_target, size);
            if (copied > 0) {
                return copied;
            }
            // Some file systems report 0 for files that hold bytes: the buffer
            // decides where the source ends.
            m_inKernel = copied == 0;
        }
        return throughBuffer(offset, size, result);
    }

  private:
    ssize_t throughBuffer(long offset, size_t size, CopyResult& result) {
        ssize_t got = retryOnEintr([&] { return pread(m_source, m_buffer.get(), size, offset); });
        if (got < 0) {
            result.readError = errno;
            return -1;
        }
        result.writeError = writeAll(m_target, m_buffer.get(), static_cast<size_t>(got));
        return result.writeError == 0 ? got : -1;
    }

    int m_source;
    int m_target;
    std::unique_ptr<char[]> m_buffer;
    bool m_inKernel;
};

}  // namespace

CopyResult copyBytes(FILE* source, long offset, FILE* target, long length, const CopySteps& steps) {
    CopyResult result;
    if (fflush(target) != 0) {
        result.writeError = errno;
        return result;
    }
    StepCopier copier(fileno(source), fileno(target), steps.size);
    while (result.copied < length && !(steps.cancelable && PlatformImpl::m_canceled)) {
        size_t step = steps.size;
        if (length - result.copied < static_cast<long>(step)) {
            step = static_cast<size_t>(length - result.copied);
        }
        ssize_t copied = copier.copy(offset + result.copied, step, result);
        if (copied <= 0) {
            break;
        }
        result.copied += copied;
        if (steps.progressMarks) {
            PlatformImpl::advanceUIProgress(1);
        }
    }
    return result;
}
