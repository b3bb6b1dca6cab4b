// Platform layer: locks on files. Only src/platform/ talks to the operating
// system.
#include "platform/FileLock.h"

#include <cerrno>
#include <ctime>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/PlatformImpl.h"

namespace {

// Holders keep such a lock for a few milliseconds: a short pause between
// attempts lets one go without keeping the waiter busy.
const long kPauseNs = 2000000;

long long nowMs() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

}  // namespace

FileLock::~FileLock() {
    release();
}

void FileLock::release() {
    if (m_file >= 0) {
        close(m_file);
        m_file = -1;
    }
}

int FileLock::acquire(const SString& path, long waitMs) {
    return take(path, waitMs, LOCK_EX);
}

int FileLock::acquireShared(const SString& path, long waitMs) {
    return take(path, waitMs, LOCK_SH);
}

int FileLock::share() {
    return flock(m_file, LOCK_SH) == 0 ? 0 : errno;
}

int FileLock::take(const SString& path, long waitMs, int operation) {
    release();
    m_file = retryOnEintr(
        [&] { return open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600); });
    if (m_file < 0) {
        return errno;
    }
    long long deadline = nowMs() + waitMs;
    while (flock(m_file, operation | LOCK_NB) != 0) {
        int error = errno;
        if (error != EWOULDBLOCK && error != EINTR) {
            return error;
        }
        if (PlatformImpl::pendingSignal() != 0) {
            return EINTR;
        }
        if (nowMs() >= deadline) {
            return EWOULDBLOCK;
        }
        struct timespec pause = {0, kPauseNs};
        nanosleep(&pause, nullptr);
    }
    return 0;
}
