#pragma once

// A jar, read with libzip: its manifest, the class files it holds, and a
// copy of it with another manifest.

#include <zip.h>

#include <functional>
#include <string>

#include "base/SString.h"

class JarFile {
  public:
    // The most bytes of a manifest that are read: real manifests, the
    // longest Class-Path lists included, stay far below it, and a manifest
    // that inflates to gigabytes must not hold up packing.
    static const size_t MAX_MANIFEST_SIZE = 1 << 20;

    // Opens the jar at path. Throws LauncherException, naming the jar, when
    // it cannot be read as a zip archive.
    explicit JarFile(const SString& path);
    ~JarFile();
    JarFile(const JarFile&) = delete;
    JarFile& operator=(const JarFile&) = delete;

    bool hasManifest() const;
    // The manifest's bytes; empty when the jar has none. Throws
    // LauncherException, naming the jar, when it cannot be read or is larger
    // than MAX_MANIFEST_SIZE (whatever size the archive declares for it).
    std::string manifest() const;
    // Whether the jar holds the class file `path` ("a/B.class") for some
    // Java version: at its root or under META-INF/versions/N/.
    bool holdsClass(const std::string& path) const;
    // Whether the jar is signed: it carries a signature file
    // (META-INF/NAME.SF), which covers the manifest.
    bool isSigned() const;
    // Writes a copy of the jar to `copy` with the manifest `text`, the
    // other entries as they are. Throws LauncherException.
    void copyWithManifest(const SString& copy, const std::string& text) const;

  private:
    zip_int64_t manifestIndex() const;
    // Whether `test` holds for the name of one of the entries.
    bool anyEntry(const std::function<bool(const std::string&)>& test) const;

    SString m_path;
    zip_t* m_archive;
};
