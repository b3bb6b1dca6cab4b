#include "VerifyCache.h"

#include <cstdio>
#include <map>
#include <vector>

#include "CacheStore.h"
#include "Launcher.h"
#include "LauncherException.h"
#include "PlatformImpl.h"
#include "ReplacementFile.h"
#include "ScopedFile.h"
#include "TagFile.h"
#include "TextUtils.h"
#include "VerifyClass.h"

namespace {

const char* const kSwitch = "CVLAUNCH_VERIFY_CACHE";
const char* const kFileName = "verified-jvms";
const long kMaxEntries = 256;
// The values of an entry before its properties: path, identity, verifier.
const unsigned int kKeyValues = 3;

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

// Says once per run why the cache is not used; the run goes on without it.
void ignoreCache(const SString& path, const SString& reason) {
    static bool said = false;
    if (!said) {
        said = true;
        Launcher::logMessage(joinText("The verification cache ", path, " is not used: ", reason),
                             LOG_WARNING);
    }
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
        entry.key = {tags.getTagValue(name.c_str(), 0), tags.getTagValue(name.c_str(), 1),
                     tags.getTagValue(name.c_str(), 2)};
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
        for (const SString& value :
             {entry.key.executable, entry.key.identity, entry.key.verifier}) {
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

bool allKnown(const Properties& properties, const StringDeque& names) {
    for (long i = 0; i < names.count; ++i) {
        if (properties.count(textOf(names.at(i))) == 0) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::string VerifyCache::Key::text() const {
    return textOf(joinText(executable, '\n', identity, '\n', verifier));
}

VerifyCache::Key VerifyCache::keyOf(const SString& executable, const SString& home,
                                    const VerifyClass& verifyClass) {
    Key key;
    key.executable = PlatformImpl::resolvePath(executable);
    if (key.executable.empty()) {
        return key;
    }
    key.identity = joinText(PlatformImpl::fileIdentity(key.executable), '|',
                            PlatformImpl::fileIdentity(pathInDirectory(home, "release")), '|',
                            PlatformImpl::fileIdentity(pathInDirectory(home, "lib/modules")));
    key.verifier = verifyClass.identity();
    return key;
}

bool VerifyCache::lookup(const Key& key, const StringDeque& names, StringDeque& values) {
    if (key.executable.empty() || !enabled()) {
        return false;
    }
    Properties& known = learnt()[key.text()];
    if (!allKnown(known, names)) {
        SString path = cacheFile();
        if (path.empty()) {
            return false;
        }
        std::vector<Entry> entries = readEntries(path);
        bool first = !entries.empty() && sameKey(entries.front().key, key);
        Entry& entry = bringToFront(entries, key);
        if (!allKnown(entry.properties, names)) {
            return false;
        }
        known = entry.properties;
        if (!first) {
            writeEntries(path, entries);
        }
    }
    for (long i = 0; i < names.count; ++i) {
        values.push_back(known[textOf(names.at(i))].c_str());
    }
    return true;
}

void VerifyCache::store(const Key& key, const StringDeque& names, const StringDeque& values) {
    if (key.executable.empty() || !enabled()) {
        return;
    }
    Properties& known = learnt()[key.text()];
    for (long i = 0; i < names.count && i < values.count; ++i) {
        known[textOf(names.at(i))] = textOf(values.at(i));
    }
    SString path = cacheFile();
    if (path.empty()) {
        return;
    }
    std::vector<Entry> entries = readEntries(path);
    Entry& entry = bringToFront(entries, key);
    for (const auto& property : known) {
        entry.properties[property.first] = property.second;
    }
    writeEntries(path, entries);
}
