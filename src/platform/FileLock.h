#pragma once

// An exclusive lock on a file (flock), from a successful acquire until the
// object ends; a process that dies lets go of it. Meant for caches, which
// go on without the lock rather than wait long for it.

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

  private:
    int m_file = -1;
};
