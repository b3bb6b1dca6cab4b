#include "jvm/VerifyCache.h"

#include <cerrno>
#include <cstdio>
#include <map>
#include <vector>

#include "base/ScopedFile.h"
#include "base/SystemError.h"
#include "base/TextUtils.h"
#include "jvm/VerifyClass.h"
#include "launcher/Launcher.h"
#include "launcher/LauncherException.h"
#include "platform/CacheStore.h"
#include "platform/FileLock.h"
#include "platform/PlatformImpl.h"
#include "platform/ReplacementFile.h"
#include "tagfile/TagFile.h"

namespace {

const char* const kSwitch = "CVLAUNCH_VERIFY_CACHE";
const char* const kFileName = "verified-jvms";
const char* const kLockSuffix = ".lock";
const long kMaxEntries = 256;
// Writers hold the lock for the few milliseconds of a read and a write; one
// that keeps it longer was stopped, and a launch does not wait for it.
const long kLockWaitSeconds = 2;
// The values of an entry before its properties: path, identity, environment,
// verifier.
const unsigned int kKeyValues = 4;
// The verifier of an entry that records a probe which ran out of time.
const char* const kTimedOut = "timed out";
// The directory a probe ran in, which the next launch may not share.
const char* const kUserDir = "user.dir";
// The variables that the values of system properties depend on.
const char* const kEnvironment[] = {"JAVA_TOOL_OPTIONS",
                                    "JDK_JAVA_OPTIONS",
                                    "_JAVA_OPTIONS",
                                    "LANG",
                                    "LC_ALL",
                                    "LC_CTYPE",
                                    "HOME",
                                    "USER",
                                    "TMPDIR"};
// The JVM libraries of a runtime, relative to it: lib/server/libjvm.so, and
// lib/amd64/server/libjvm.so or jre/lib/amd64/server/libjvm.so in older
// layouts.
const char* const kLibraryPatterns[] = {"lib/*/libjvm.so", "lib/*/*/libjvm.so",
                                        "jre/lib/*/libjvm.so", "jre/lib/*/*/libjvm.so"};

using Properties = std::map<std::string, std::string>;

struct Entry {
    VerifyCache::Key key;
    Properties properties;
};

// What this run learnt or read, by key: a home asked about again is answered
// without a probe, and without reading the file again.
std::map<std::string, Properties>& learnt() {
    static std::map<std::string, Properties> properties;
    return properties;
}

bool enabled() {
    return PlatformImpl::getEnvironmentVariable(kSwitch).compare("0") != 0;
}

// Says once per run why the cache is not used or not written; the run goes
// on without it.
void ignoreCache(const SString& path, const char* state, const SString& reason) {
    static bool said = false;
    if (!said) {
        said = true;
        Launcher::logMessage(joinText("The verification cache ", path, state, reason), LOG_WARNING);
    }
}

void ignoreCache(const SString& path, const SString& reason) {
    ignoreCache(path, " is not used: ", reason);
}

// The cache file when the cache can be used, else "" (the reason logged).
SString cacheFile() {
    CacheStore store("");
    if (!store.usable()) {
        ignoreCache(kFileName, store.failure());
        return SString();
    }
    return store.path(kFileName);
}

std::string textOf(const SString& text) {
    return std::string(text.c_str(), text.length());
}

// The entries of the cache file, most recently used first; none when it is
// missing, and none (with the reason logged) when it is not to be trusted.
std::vector<Entry> readEntries(const SString& path) {
    std::vector<Entry> entries;
    if (!PlatformImpl::fileExists(path)) {
        return entries;
    }
    if (!PlatformImpl::isOwnFile(path)) {
        ignoreCache(path, "it is not a file of the user's.");
        return entries;
    }
    TagFile tags;
    try {
        ScopedFile file(fopen(path.c_str(), "r"));
        if (!file) {
            ignoreCache(path, systemErrorMessage("it cannot be read: ", errno));
            return entries;
        }
        tags.load(file.get(), path, 0, -1);
    } catch (const LauncherException& e) {
        ignoreCache(path, e.message);
        return entries;
    }
    for (long i = 1;; ++i) {
        SString name = joinText("JVM", convertToString(i));
        unsigned int count = tags.getTagValueCount(name.c_str());
        if (count < kKeyValues) {
            break;
        }
        Entry entry;
        entry.key.executable = tags.getTagValue(name.c_str(), 0);
        entry.key.identity = tags.getTagValue(name.c_str(), 1);
        entry.key.environment = tags.getTagValue(name.c_str(), 2);
        entry.key.verifier = tags.getTagValue(name.c_str(), 3);
        for (unsigned int v = kKeyValues; v < count; ++v) {
            SString property = tags.getTagValue(name.c_str(), v);
            unsigned int equals = property.find('=');
            if (equals != SString::npos) {
                entry.properties[textOf(property.substr(0, equals))] =
                    textOf(property.substr(equals + 1));
            }
        }
        entries.push_back(entry);
    }
    return entries;
}

void writeEntries(const SString& path, const std::vector<Entry>& entries) {
    TagFile tags;
    for (size_t i = 0; i < entries.size(); ++i) {
        SString name = joinText("JVM", convertToString(static_cast<long>(i) + 1));
        const Entry& entry = entries[i];
        for (const SString& value : {entry.key.executable, entry.key.identity,
                                     entry.key.environment, entry.key.verifier}) {
            tags.appendTagValue(name.c_str(), value);
        }
        for (const auto& property : entry.properties) {
            tags.appendTagValue(name.c_str(),
                                joinText(property.first.c_str(), '=', property.second.c_str()));
        }
    }
    ReplacementFile file;
    int error = file.open(parentDirectory(path), lastPathComponent(path), 0600);
    if (error == 0) {
        error = tags.write(file.stream());
    }
    if (error == 0) {
        error = file.commit(false);
    }
    if (error != 0) {
        ignoreCache(path, systemErrorMessage("it cannot be written: ", error));
    }
}

bool sameKey(const VerifyCache::Key& a, const VerifyCache::Key& b) {
    return a.text() == b.text();
}

// Moves the entry of `key` to the front of `entries` (a new one when there is
// none) and returns it; entries of the same executable as it was before go.
Entry& bringToFront(std::vector<Entry>& entries, const VerifyCache::Key& key) {
    Entry entry{key, Properties()};
    for (auto it = entries.begin(); it != entries.end();) {
        if (sameKey(it->key, key)) {
            entry = *it;
        }
        if (it->key.executable.compare(key.executable) == 0) {
            it = entries.erase(it);
        } else {
            ++it;
        }
    }
    entries.insert(entries.begin(), entry);
    if (static_cast<long>(entries.size()) > kMaxEntries) {
        entries.resize(kMaxEntries);
    }
    return entries.front();
}

SString lockFailure(int error) {
    if (error == EWOULDBLOCK) {
        return joinText("another process held its lock for ", convertToString(kLockWaitSeconds),
                        " seconds.");
    }
    return systemErrorMessage("its lock cannot be had: ", error);
}

// Puts the entry of `key`, with `properties` added to what it holds, first
// in the file. Under the lock the file is read again, so that what other
// writers stored meanwhile is kept.
void remember(const SString& path, const VerifyCache::Key& key, const Properties& properties) {
    FileLock lock;
    int error = lock.acquire(joinText(path, kLockSuffix), kLockWaitSeconds * 1000);
    if (error != 0) {
        ignoreCache(path, " is not written: ", lockFailure(error));
        return;
    }
    std::vector<Entry> entries = readEntries(path);
    Entry& entry = bringToFront(entries, key);
    for (const auto& property : properties) {
        entry.properties[property.first] = property.second;
    }
    writeEntries(path, entries);
}

const Entry* findEntry(const std::vector<Entry>& entries, const VerifyCache::Key& key) {
    for (const Entry& entry : entries) {
        if (sameKey(entry.key, key)) {
            return &entry;
        }
    }
    return nullptr;
}

bool allKnown(const Properties& properties, const StringDeque& names) {
    for (long i = 0; i < names.count; ++i) {
        if (properties.count(textOf(names.at(i))) == 0) {
            return false;
        }
    }
    return true;
}

// Whether a probe of `key` asking for `names` may be answered and kept.
bool usable(const VerifyCache::Key& key, const StringDeque& names) {
    return key.answerable && names.count > 0 && !names.contains(kUserDir) && enabled();
}

// The identities of the JVM libraries of the runtime at `root`; "" when it
// has none.
SString libraryIdentities(const SString& root) {
    SString identities;
    for (const char* pattern : kLibraryPatterns) {
        StringDeque libraries;
        PlatformImpl::matchFiles(pathInDirectory(root, pattern), libraries);
        for (long i = 0; i < libraries.count; ++i) {
            identities +=
                joinText(libraries.at(i), '=', PlatformImpl::fileIdentity(libraries.at(i)), ';');
        }
    }
    return identities;
}

SString environmentChecksum() {
    uint64_t hash = kHashStart;
    for (const char* name : kEnvironment) {
        SString setting = joinText(name, '=', PlatformImpl::getEnvironmentVariable(name));
        hash = hashBytes(hash, setting.c_str(), setting.length() + 1);
    }
    return hashText(hash);
}

// The entry that records a timed-out probe of the key's executable, in any
// environment ("-": a value of the file is never empty, since a reader
// would not see it).
VerifyCache::Key timeoutKey(const VerifyCache::Key& key) {
    VerifyCache::Key timeout;
    timeout.executable = key.executable;
    timeout.identity = key.identity;
    timeout.environment = "-";
    timeout.verifier = kTimedOut;
    return timeout;
}

}  // namespace

std::string VerifyCache::Key::text() const {
    return textOf(joinText(executable, '\n', identity, '\n', environment, '\n', verifier));
}

VerifyCache::Key VerifyCache::keyOf(const SString& executable, const VerifyClass& verifyClass) {
    Key key;
    key.executable = PlatformImpl::resolvePath(executable);
    if (key.executable.empty()) {
        return key;
    }
    // The JVM finds its runtime from where its executable really lies.
    SString root = parentDirectory(parentDirectory(key.executable));
    SString libraries = libraryIdentities(root);
    key.identity =
        joinText(PlatformImpl::fileIdentity(key.executable), '|',
                 PlatformImpl::fileIdentity(pathInDirectory(root, "release")), '|',
                 PlatformImpl::fileIdentity(pathInDirectory(root, "lib/modules")), '|', libraries);
    key.environment = environmentChecksum();
    key.verifier = verifyClass.identity();
    key.answerable = !libraries.empty() && PlatformImpl::isElfFile(key.executable);
    return key;
}

bool VerifyCache::lookup(const Key& key, const StringDeque& names, StringDeque& values) {
    if (!usable(key, names)) {
        return false;
    }
    Properties& known = learnt()[key.text()];
    if (!allKnown(known, names)) {
        SString path = cacheFile();
        if (path.empty()) {
            return false;
        }
        std::vector<Entry> entries = readEntries(path);
        const Entry* entry = findEntry(entries, key);
        if (entry == nullptr || !allKnown(entry->properties, names)) {
            return false;
        }
        known = entry->properties;
        if (entry != &entries.front()) {
            remember(path, key, known);
        }
    }
    for (long i = 0; i < names.count; ++i) {
        values.push_back(known[textOf(names.at(i))].c_str());
    }
    return true;
}

void VerifyCache::store(const Key& key, const StringDeque& names, const StringDeque& values) {
    if (!usable(key, names)) {
        return;
    }
    Properties& known = learnt()[key.text()];
    for (long i = 0; i < names.count && i < values.count; ++i) {
        if (names.at(i).compare(kUserDir) != 0) {
            known[textOf(names.at(i))] = textOf(values.at(i));
        }
    }
    SString path = cacheFile();
    if (!path.empty()) {
        remember(path, key, known);
    }
}

void VerifyCache::storeTimeout(const Key& key) {
    if (key.executable.empty() || !enabled()) {
        return;
    }
    SString path = cacheFile();
    if (!path.empty()) {
        remember(path, timeoutKey(key), Properties());
    }
}

bool VerifyCache::timedOut(const SString& executable) {
    Key key = keyOf(executable, VerifyClass());
    if (key.executable.empty() || !enabled()) {
        return false;
    }
    SString path = cacheFile();
    return !path.empty() && findEntry(readEntries(path), timeoutKey(key)) != nullptr;
}
