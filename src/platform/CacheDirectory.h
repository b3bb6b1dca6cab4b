#pragma once

// The launcher's per-user cache directory, $XDG_CACHE_HOME/cvlaunch
// (~/.cache/cvlaunch without an absolute XDG_CACHE_HOME), and the file
// operations of the caches kept in it. Every cache re-creates what it loses,
// so these operations report failures and never throw.

#include <vector>

#include "SString.h"

class CacheDirectory {
  public:
    // The cache directory, with `subdirectory` appended when it is not
    // empty; "" when there is neither XDG_CACHE_HOME nor HOME.
    static SString path(const char* subdirectory = "");

    // A regular file or a directory directly in a directory.
    struct Item {
        SString name;
        long long size;      // bytes; 0 for a directory
        long long modified;  // nanoseconds since the epoch
        bool directory;
    };
    // The regular files and directories in `directory` (links are neither).
    static std::vector<Item> list(const SString& directory);

    // The size of a regular file (not a link); -1 when there is none.
    static long long fileSize(const SString& path);
    // 0, or the errno of the failure.
    static int rename(const SString& from, const SString& to);
    static int link(const SString& existing, const SString& newPath);
    static int removeFile(const SString& path);
    // Gives the file or directory the current time as its modification time,
    // so that the least recently used go first.
    static void touch(const SString& path);
    // A text that no other running process puts into its file names: the
    // process number. A file named with it after a process that was killed
    // may be there still.
    static SString processTag();
};
