#pragma once

#include "base/SString.h"
#include "base/StringDeque.h"

// FileNavigator: a depth-first walk over a directory tree, with its own stack
// of pending directories instead of recursion, so deep trees cost heap and not
// stack.
//
// The walk reads a directory completely before any of its subdirectories:
// every entry that is not a directory goes to processFile at once, and the
// subdirectories are pushed on the pending stack; the one pushed last is read
// next. Symbolic links are never followed: a link to a directory is handed to
// processFile like a file. Directories that cannot be opened are passed over
// silently. Every 1000 files the console progress advances by one mark.
class FileNavigator {
  public:
    // `cancelable`: whether the walk stops when PlatformImpl::m_canceled is set.
    explicit FileNavigator(bool cancelable);
    virtual ~FileNavigator();

    // Walks the tree below `root` (the root itself is offered to
    // skipDirectory first). Returns true when a processFile call asked to stop.
    // A root that is not a directory is only recorded as visited.
    virtual bool process(const SString& root);
    // Called for every entry that is not a directory; true stops the walk.
    virtual bool processFile(const SString& path) = 0;
    // Asked for every directory before it is read; true leaves it unread.
    // The base walk skips nothing.
    virtual bool skipDirectory(const SString& dir);

    // True when this walk is cancelable and a cancel was requested.
    bool isCanceled() const;
    // True when `path` is a directory itself (lstat: a link to one is not).
    static bool isDirectory(const char* path);

  protected:
    // Every directory taken off the pending stack during the current walk, in
    // the order taken: the root first, each directory after its parent.
    StringDeque m_sdqVisitedDirs;
    // Directories still to be read; the last one is read next.
    StringDeque m_sdqPendingDirs;
    bool m_cancelable;

  private:
    // Reads one directory: files to processFile, subdirectories onto the
    // pending stack. Returns the stop request of processFile.
    bool readDirectory(const SString& dir, long& fileCount);
};
