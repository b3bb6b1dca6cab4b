// Platform layer: the store of start-up caches in the user's cache directory.
#include "platform/CacheStore.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <map>
#include <set>
#include <string>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/ScopedFile.h"
#include "base/TextUtils.h"
#include "platform/DeleteFullDir.h"
#include "platform/PlatformImpl.h"

namespace {

const char* const kRunMark = ".run.";
const char* const kRejectedSuffix = ".rejected";
const char* const kLockSuffix = ".lock";
const long long kSecond = 1000000000LL;
const long long kRunFileAge = 24 * 3600 * kSecond;
const long long kRejectionAge = 7 * 24 * 3600 * kSecond;
// How long a lock is waited for: a maker holds the lock of its entry for
// its own time limits at most.
const long kLockWaitMs = 25 * 60 * 1000;

long long nanoseconds(const struct timespec& time) {
    return static_cast<long long>(time.tv_sec) * kSecond + time.tv_nsec;
}

int resultOf(int status) {
    return status == 0 ? 0 : errno;
}

// The cache or data directory of the user: an absolute XDG_CACHE_HOME
// (XDG_DATA_HOME), else .cache (.local/share) in an absolute HOME; "" with
// the reason in `failure` otherwise.
SString storeBase(CacheStore::Base kind, SString& failure) {
    bool data = kind == CacheStore::kDataBase;
    const char* variable = data ? "XDG_DATA_HOME" : "XDG_CACHE_HOME";
    SString base = PlatformImpl::getEnvironmentVariable(variable);
    if (!base.empty() && base[0] == '/') {
        return pathInDirectory(base, "cvlaunch");
    }
    SString home = PlatformImpl::getEnvironmentVariable("HOME");
    if (home.empty() || home[0] != '/') {
        failure = joinText("there is neither an absolute ", variable, " nor an absolute HOME.");
        return SString();
    }
    return pathInDirectory(pathInDirectory(home, data ? ".local/share" : ".cache"), "cvlaunch");
}

// The deepest directory of `path` that exists (`path` itself or a parent).
SString existingPart(const SString& path) {
    SString current = path;
    while (!PlatformImpl::fileExists(current) && current.compare("/") != 0) {
        current = parentDirectory(current);
    }
    return current;
}

// The entry or group a store file belongs to: "<group>-<key>" for an entry,
// "<group>" for a file of the group; `isEntry` says which.
SString ownerOf(const SString& name, bool& isEntry) {
    unsigned int dot = name.find('.');
    SString stem = name.substr(0, dot);
    isEntry = stem.find('-') != SString::npos;
    return stem;
}

SString groupOf(const SString& owner) {
    return owner.substr(0, owner.find('-'));
}

}  // namespace

CacheStore::CacheStore(const char* name, Base kind, bool create) {
    SString base = storeBase(kind, m_failure);
    if (base.empty()) {
        return;
    }
    // Nothing is made where another user could change what it leads to.
    SString risk = PlatformImpl::plantedFileRisk(existingPart(base), -1);
    SString directory = *name == '\0' ? base : pathInDirectory(base, name);
    if (!create && !PlatformImpl::fileExists(directory)) {
        m_missing = true;
        m_failure = joinText(directory, " does not exist.");
        return;
    }
    if (risk.empty()) {
        m_failure = PlatformImpl::privateDirectory(directory);
    } else {
        m_failure = joinText(risk, '.');
    }
    if (!m_failure.empty()) {
        m_failure = joinText(directory, " cannot be used: ", m_failure);
        return;
    }
    SString resolved = PlatformImpl::resolvePath(directory);
    risk = resolved.empty() ? joinText(directory, " cannot be resolved")
                            : PlatformImpl::plantedFileRisk(resolved, -1);
    SString failure = risk.empty() ? PlatformImpl::privateDirectory(resolved) : SString();
    if (!risk.empty() || !failure.empty()) {
        m_failure = joinText(directory, " cannot be used: ", risk.empty() ? failure : risk);
        return;
    }
    m_directory = resolved;
}

long long CacheStore::now() {
    struct timespec time;
    clock_gettime(CLOCK_REALTIME, &time);
    return nanoseconds(time);
}

SString CacheStore::path(const SString& fileName) const {
    return pathInDirectory(m_directory, fileName);
}

SString CacheStore::checksum(const SString& text) {
    return hashText(hashBytes(kHashStart, text.c_str(), text.length()));
}

SString CacheStore::runName(const SString& fileName) const {
    return path(joinText(fileName, kRunMark, convertToString(static_cast<long>(getpid()))));
}

bool CacheStore::isRunName(const SString& name, SString& fileName) {
    unsigned int mark = name.find(kRunMark);
    fileName = name.substr(0, mark);
    return mark != SString::npos;
}

SString CacheStore::createRunFile(const SString& fileName) const {
    SString path = runName(fileName);
    // A file of a process that had this number and was killed.
    unlink(path.c_str());
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        return SString();
    }
    close(fd);
    return path;
}

SString CacheStore::createRunDirectory(const SString& fileName, int& error) const {
    SString path = runName(fileName);
    DeleteFullDir().process(path);
    error = resultOf(mkdir(path.c_str(), 0700));
    return error == 0 ? path : SString();
}

int CacheStore::commit(const SString& runFile, const SString& fileName) const {
    return resultOf(rename(runFile.c_str(), path(fileName).c_str()));
}

void CacheStore::remove(const SString& fileName) const {
    struct stat info;
    SString target = path(fileName);
    if (lstat(target.c_str(), &info) == 0) {
        removeItem({fileName, 0, 0, S_ISDIR(info.st_mode)});
    }
}

long long CacheStore::fileSize(const SString& fileName) const {
    struct stat info;
    if (lstat(path(fileName).c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return -1;
    }
    return info.st_size;
}

int CacheStore::removeFile(const SString& fileName) const {
    return resultOf(unlink(path(fileName).c_str()));
}

void CacheStore::touch(const SString& fileName) const {
    utimensat(AT_FDCWD, path(fileName).c_str(), nullptr, AT_SYMLINK_NOFOLLOW);
}

void CacheStore::reject(const SString& entry, const SString& reason) const {
    SString runFile = createRunFile(joinText(entry, kRejectedSuffix));
    ScopedFile file(runFile.empty() ? nullptr : fopen(runFile.c_str(), "w"));
    if (file) {
        fprintf(file.get(), "%s\n", reason.c_str());
        file.reset();
        commit(runFile, joinText(entry, kRejectedSuffix));
    }
    unlink(runFile.c_str());
}

SString CacheStore::rejection(const SString& entry) const {
    SString marker = path(joinText(entry, kRejectedSuffix));
    struct stat info;
    if (lstat(marker.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return SString();
    }
    if (now() - nanoseconds(info.st_mtim) > kRejectionAge) {
        unlink(marker.c_str());
        return SString();
    }
    ScopedFile file(fopen(marker.c_str(), "r"));
    SString reason;
    if (file) {
        readLineFromStream(file.get(), reason);
    }
    return reason.empty() ? SString("no reason recorded") : reason;
}

bool CacheStore::lock(const SString& entry, bool wait, FileLock& lock) const {
    return lock.acquire(lockPath(entry), wait ? kLockWaitMs : 0) == 0;
}

SString CacheStore::lockPath(const SString& entry) const {
    return path(joinText(entry, kLockSuffix));
}

bool CacheStore::isLocked(const SString& entry) const {
    int fd = open(lockPath(entry).c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    bool locked = flock(fd, LOCK_EX | LOCK_NB) != 0;
    close(fd);
    return locked;
}

std::vector<CacheStore::Item> CacheStore::list() const {
    std::vector<Item> items;
    DIR* stream = opendir(m_directory.c_str());
    if (stream == nullptr) {
        return items;
    }
    while (const struct dirent* entry = readdir(stream)) {
        struct stat info;
        if (entry->d_name[0] == '.' ||
            fstatat(dirfd(stream), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
            continue;
        }
        bool isDirectory = S_ISDIR(info.st_mode);
        if (isDirectory || S_ISREG(info.st_mode)) {
            items.push_back({SString(entry->d_name), isDirectory ? 0 : info.st_size,
                             nanoseconds(info.st_mtim), isDirectory});
        }
    }
    closedir(stream);
    return items;
}

void CacheStore::removeItem(const Item& item) const {
    if (item.directory) {
        DeleteFullDir().process(path(item.name));
    } else {
        unlink(path(item.name).c_str());
    }
}

std::vector<CacheStore::Owner> CacheStore::owners(bool entries) const {
    std::map<std::string, Owner> owners;
    long long time = now();
    for (const Item& item : list()) {
        if (item.name.find(kRunMark) != SString::npos) {
            if (entries && time - item.modified > kRunFileAge) {
                removeItem(item);
            }
            continue;
        }
        bool isEntry = false;
        SString name = ownerOf(item.name, isEntry);
        if (isEntry == entries) {
            Owner& owner = owners[std::string(name.c_str(), name.length())];
            owner.name = name;
            owner.items.push_back(item);
            owner.size += item.size;
            owner.used = std::max(owner.used, item.modified);
        }
    }
    std::vector<Owner> sorted;
    for (const auto& owner : owners) {
        sorted.push_back(owner.second);
    }
    std::sort(sorted.begin(), sorted.end(),
              [](const Owner& a, const Owner& b) { return a.used > b.used; });
    return sorted;
}

void CacheStore::evict(const SString& group, size_t maxEntries, long long maxBytes,
                       size_t maxGroups) const {
    std::set<std::string> groupsInUse = {std::string(group.c_str(), group.length())};
    size_t kept = 0;
    long long bytes = 0;
    for (const Owner& entry : owners(true)) {
        SString entryGroup = groupOf(entry.name);
        bool stays = entryGroup.compare(group) == 0 || isLocked(entry.name);
        if (stays || (kept < maxEntries && bytes + entry.size <= maxBytes)) {
            ++kept;
            bytes += entry.size;
            groupsInUse.insert(std::string(entryGroup.c_str(), entryGroup.length()));
            continue;
        }
        for (const Item& item : entry.items) {
            removeItem(item);
        }
    }
    size_t idle = 0;
    for (const Owner& owner : owners(false)) {
        if (groupsInUse.count(std::string(owner.name.c_str(), owner.name.length())) == 0 &&
            ++idle > maxGroups) {
            for (const Item& item : owner.items) {
                removeItem(item);
            }
        }
    }
}
