#pragma once

// A store of start-up caches in the user's cache directory,
// $XDG_CACHE_HOME/cvlaunch/<name> (~/.cache/cvlaunch/<name> without an
// absolute XDG_CACHE_HOME), in a directory that no one else controls; or, for
// what must not go when the user clears caches (the installed Java
// runtimes), in the user's data directory, $XDG_DATA_HOME/cvlaunch/<name>
// (~/.local/share/cvlaunch/<name>).
//
// The path is resolved, and every directory on it from "/" down must belong
// to root or to the user and be writable by no one else unless sticky (the
// test that JVM candidates pass); the store's own directories are the user's
// with mode 0700. A store whose path fails that test, or whose base is
// relative or missing, is not used: the caller goes on exactly as without
// it. Only the resolved path is handed out, and files are created in it
// without following links.
//
// What a store keeps are entries: the files named "<group>-<key>.<kind>",
// where <group> and <key> are checksums (checksum()) and <kind> says what the
// file is ("jsa", "ok", "lock", ...), and the directories and files named
// "<group>.<kind>" that the entries of one group share. Eviction removes the
// least recently used entries, and a group with them once none of its
// entries is left. A process writes a file under a run name of its own
// (createRunFile) and renames it into place (commit), so no reader sees half
// a file; run files of a process that was killed go after a day.
//
// Every cache re-creates what it loses, so nothing here throws: failures are
// results.

#include <cstddef>
#include <vector>

#include "base/SString.h"
#include "platform/FileLock.h"

class CacheStore {
  public:
    enum Base { kCacheBase, kDataBase };

    // The store `name` ("" for the base directory itself), made when it is
    // missing unless `create` is false; failure() says why when it cannot
    // be used.
    explicit CacheStore(const char* name, Base base = kCacheBase, bool create = true);
    ~CacheStore() {}

    bool usable() const { return !m_directory.empty(); }
    // Whether the store was not there to be opened (without `create`).
    bool missing() const { return m_missing; }
    // The resolved directory; "" when the store cannot be used.
    const SString& directory() const { return m_directory; }
    // Why the store cannot be used, as a sentence.
    const SString& failure() const { return m_failure; }
    // A file or directory of the store.
    SString path(const SString& fileName) const;

    // A name for anything that `text` identifies.
    static SString checksum(const SString& text);

    // A new empty file of this process for `fileName`, created without
    // following links and with mode 0600; its path, or "" when it cannot be
    // made.
    SString createRunFile(const SString& fileName) const;
    // A new empty directory of this process for `fileName`, mode 0700; its
    // path, or "" with the errno in `error`. One that a killed process of
    // the same number left is removed first.
    SString createRunDirectory(const SString& fileName, int& error) const;
    // Puts the file or directory `runFile` in place as `fileName`: 0, or the
    // errno (ENOTEMPTY or EEXIST when a directory is there already).
    int commit(const SString& runFile, const SString& fileName) const;
    // Removes the file or the directory with everything in it.
    void remove(const SString& fileName) const;
    // The size of the regular file `fileName` (not a link); -1 without one.
    long long fileSize(const SString& fileName) const;
    int removeFile(const SString& fileName) const;
    // Marks `fileName` as used now, for the eviction.
    void touch(const SString& fileName) const;

    // Writes why the entry `entry` failed; rejection() gives it back for a
    // week, "" after that or without one.
    void reject(const SString& entry, const SString& reason) const;
    SString rejection(const SString& entry) const;

    // Takes the lock of `entry` into `lock`: at once or not at all, or with
    // `wait` once whoever holds it lets it go. False when it is not had.
    bool lock(const SString& entry, bool wait, FileLock& lock) const;
    // The path of the lock file of `entry`.
    SString lockPath(const SString& entry) const;
    // True while a process holds the lock of `entry`, shared or not.
    bool isLocked(const SString& entry) const;

    // The run name of this process for `fileName`: a path in the store.
    SString runName(const SString& fileName) const;
    // Whether the store's file `name` is a run file or directory, and of
    // which file (`fileName`).
    static bool isRunName(const SString& name, SString& fileName);

    struct Item {
        SString name;
        long long size;      // bytes; 0 for a directory
        long long modified;  // nanoseconds since the epoch
        bool directory;
    };
    // The regular files and directories of the store (not links).
    std::vector<Item> list() const;
    // The time now, as Item::modified counts it.
    static long long now();

    // Removes the least recently used entries beyond `maxEntries` or
    // `maxBytes` (a locked entry, or one of `group`, stays), the groups left
    // without entries beyond `maxGroups`, and the run files of killed
    // processes.
    void evict(const SString& group, size_t maxEntries, long long maxBytes, size_t maxGroups) const;

  private:
    // The entries (or, without `entries`, the groups) of the store, the
    // most recently used first; run files of killed processes go.
    struct Owner {
        SString name;
        std::vector<Item> items;
        long long size = 0;
        long long used = 0;
    };
    std::vector<Owner> owners(bool entries) const;
    void removeItem(const Item& item) const;

    SString m_directory;
    SString m_failure;
    bool m_missing = false;
};
