#pragma once

// A lock on a file (flock), exclusive or shared, from a successful acquire
// until release or the object's end; a process that dies lets go of it.
// Meant for caches, which go on without the lock rather than wait long for
// it, and for the runtimes that launches share.

#include "base/SString.h"

class FileLock {
  public:
    FileLock() = default;
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Opens `path`, creating it (mode 0600) when missing but never through a
    // symbolic link, and locks it, waiting at most `waitMs` milliseconds for
    // another holder to let go. Returns 0, or the errno of the failure:
    // EWOULDBLOCK when the wait ran out, EINTR when a signal came.
    int acquire(const SString& path, long waitMs);
    // The same, for a lock that others may hold with it (LOCK_SH).
    int acquireShared(const SString& path, long waitMs);
    // Turns the exclusive lock held into a shared one: 0, or the errno.
    int share();
    void release();

  private:
    int take(const SString& path, long waitMs, int operation);

    int m_file = -1;
};
