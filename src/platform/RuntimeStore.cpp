// Platform layer: the user's store of installed Java runtimes.
#include "platform/RuntimeStore.h"

#include <cerrno>
#include <cstdio>

#include "base/SystemError.h"
#include "base/TextUtils.h"
#include "platform/PlatformImpl.h"

namespace {

const long long kSecond = 1000000000LL;
const long long kDay = 24 * 3600 * kSecond;
// Runtimes unused for this long go.
const long long kUnusedAge = 30 * 24 * 3600LL;
// How long a launch waits for another to install the runtime it needs.
const long kInstallWaitMs = 10 * 60 * 1000;
// A launch that finds the runtime gone between its locks tries again.
const int kAttempts = 3;
// The file whose time says when the store was last pruned.
const char kPrunedStamp[] = "pruned";

// A runtime's directory: named by its key alone, with no dot.
bool isRuntimeName(const CacheStore::Item& item) {
    return item.directory && item.name.find('.') == SString::npos;
}

}  // namespace

RuntimeStore::RuntimeStore(bool create) : m_store("runtimes", CacheStore::kDataBase, create) {
    m_failure = m_store.failure();
}

bool RuntimeStore::isInstalled(const SString& home) {
    return PlatformImpl::isDirectory(home);
}

SString RuntimeStore::open(const SString& key, const Installer& install) {
    if (!m_store.usable()) {
        return SString();
    }
    SString home = m_store.path(key);
    SString lockPath = m_store.lockPath(key);
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        int error = m_lock.acquireShared(lockPath, kInstallWaitMs);
        if (error != 0) {
            m_failure = systemErrorMessage(joinText("Unable to lock ", lockPath, ": "), error);
            return SString();
        }
        if (!isInstalled(home) && m_lock.acquire(lockPath, 0) != 0) {
            // Another launch installs it: its shared lock tells when it is done.
            continue;
        }
        if (!isInstalled(home)) {
            try {
                installLocked(key, install);
            } catch (...) {
                // The launch may go on with another JVM: the others must not
                // wait for this one.
                m_lock.release();
                throw;
            }
        }
        if (!isInstalled(home) || m_lock.share() != 0) {
            break;
        }
        m_store.touch(key);
        pruneDaily();
        return home;
    }
    if (m_failure.empty()) {
        m_failure = joinText("The runtime ", home, " could not be installed and locked.");
    }
    m_lock.release();
    return SString();
}

void RuntimeStore::installLocked(const SString& key, const Installer& install) {
    // Under the exclusive lock, any run directory of this runtime is one
    // that a killed install left.
    for (const CacheStore::Item& item : m_store.list()) {
        SString of;
        if (CacheStore::isRunName(item.name, of) && of.compare(key) == 0) {
            m_store.remove(item.name);
        }
    }
    int error = 0;
    SString directory = m_store.createRunDirectory(key, error);
    if (directory.empty()) {
        m_failure = systemErrorMessage(
            joinText("Unable to create a directory in ", m_store.directory(), ": "), error);
        return;
    }
    try {
        install(directory, m_store.path(key));
    } catch (...) {
        PlatformImpl::deleteFile(directory);
        throw;
    }
    error = m_store.commit(directory, key);
    if (error != 0) {
        PlatformImpl::deleteFile(directory);
        m_failure = systemErrorMessage(
            joinText("Unable to move the runtime into ", m_store.path(key), ": "), error);
    }
}

void RuntimeStore::pruneDaily() const {
    for (const CacheStore::Item& item : m_store.list()) {
        if (item.name.compare(kPrunedStamp) == 0 && CacheStore::now() - item.modified < kDay) {
            return;
        }
    }
    SString stamp = m_store.createRunFile(kPrunedStamp);
    if (stamp.empty() || m_store.commit(stamp, kPrunedStamp) != 0) {
        return;
    }
    prune(kUnusedAge);
}

std::vector<SString> RuntimeStore::prune(long long maxAgeSeconds) const {
    std::vector<SString> removed;
    long long now = CacheStore::now();
    for (const CacheStore::Item& item : m_store.list()) {
        SString of;
        if (CacheStore::isRunName(item.name, of)) {
            // An install holds the runtime's lock while its run directory
            // exists; the directories of killed ones go after a day.
            if (now - item.modified > kDay && !m_store.isLocked(of)) {
                m_store.remove(item.name);
            }
            continue;
        }
        FileLock lock;
        if (!isRuntimeName(item) || now - item.modified < maxAgeSeconds * kSecond ||
            m_store.lock(item.name, false, lock) == false) {
            continue;
        }
        // Renamed away first, so that no launch ever finds half a runtime.
        SString doomed = m_store.runName(item.name);
        if (rename(m_store.path(item.name).c_str(), doomed.c_str()) == 0) {
            PlatformImpl::deleteFile(doomed);
            m_store.removeFile(joinText(item.name, ".lock"));
            removed.push_back(m_store.path(item.name));
        }
    }
    return removed;
}
