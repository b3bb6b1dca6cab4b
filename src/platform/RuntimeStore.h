#pragma once

// The Java runtimes that launcher files carry, installed once per user and
// shared by every launcher that carries the same one:
// $XDG_DATA_HOME/cvlaunch/runtimes/<key>/ (~/.local/share/... without it),
// with the trust rules of every store (CacheStore).
//
// A runtime is installed into a directory of its own beside its place and
// renamed into place when complete, so a runtime's directory is always whole,
// and an install that was interrupted leaves only a run directory that the
// next install of that runtime removes. Each runtime has a lock file: an
// install holds it exclusively, so parallel first launches install once and
// the others wait for it; a launch holds it shared while its program runs,
// so nothing removes the runtime under it. Runtimes that no process holds and
// that no launch used for 30 days are removed, at most once a day, by the
// launches that use the store.

#include <functional>

#include "base/SString.h"
#include "platform/CacheStore.h"
#include "platform/FileLock.h"

class RuntimeStore {
  public:
    // Puts a runtime into the new empty directory `directory`, where it is
    // built, to be found later at `home`. Throws LauncherException.
    using Installer = std::function<void(const SString& directory, const SString& home)>;

    // The store, made when it is missing unless `create` is false.
    explicit RuntimeStore(bool create = true);
    RuntimeStore(const RuntimeStore&) = delete;
    RuntimeStore& operator=(const RuntimeStore&) = delete;

    bool usable() const { return m_store.usable(); }
    // Whether there was no store to open (without `create`).
    bool missing() const { return m_store.missing(); }
    // The store's resolved directory; "" when it cannot be used.
    const SString& directory() const { return m_store.directory(); }
    // Why the store cannot be used, or why open() gave nothing.
    const SString& failure() const { return m_failure; }

    // The home of the runtime `key`, installed with `install` when missing.
    // The runtime stays locked (shared) until this object ends. "" with
    // failure() when the store cannot give it; what `install` throws goes
    // to the caller, once its directory is gone.
    SString open(const SString& key, const Installer& install);

    // Removes the runtimes that no process holds and that were last used
    // more than `maxAgeSeconds` ago, and the run directories of killed
    // processes; returns their homes.
    std::vector<SString> prune(long long maxAgeSeconds) const;

  private:
    // Whether `home` holds a complete runtime.
    static bool isInstalled(const SString& home);
    void installLocked(const SString& key, const Installer& install);
    void pruneDaily() const;

    CacheStore m_store;
    FileLock m_lock;
    SString m_failure;
};
