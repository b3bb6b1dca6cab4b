#pragma once

// The class that verification runs on a candidate, and the class path where
// it lies. The payload's verification archive is extracted only when a probe
// needs it: a run whose every verification is answered by the verified-JVM
// cache writes no verification files. Its identity, which the cache keys on,
// comes from the archive's bytes wherever they are.

#include <functional>

#include "base/SString.h"

class VerifyClass {
  public:
    // Extracts the archive and returns the path of the copy.
    using Extractor = std::function<SString()>;

    // No class: every verification fails.
    VerifyClass() = default;
    // A class on a class path that is there (entries separated by ":").
    VerifyClass(const SString& classpath, const SString& className);
    // A class in an archive that `extract` puts on disk at the first call of
    // classpath(); `archiveIdentity` is contentIdentity of its bytes.
    VerifyClass(Extractor extract, const SString& archiveIdentity, const SString& className);

    bool isSet() const { return !m_className.empty() || !m_classpath.empty() || m_extract; }
    const SString& className() const { return m_className; }
    // The class path; the archive is extracted first when it is not yet.
    // Throws what the extraction throws.
    const SString& classpath() const;
    // The class name, then the size and checksum of each class path entry
    // (an entry that is no readable file stands for itself).
    SString identity() const;

    // "<size>:<checksum>" of `length` bytes (-1: to the end) at `offset` of
    // the file at `path`, or `path` itself when it cannot be read.
    static SString contentIdentity(const SString& path, long offset = 0, long length = -1);

  private:
    mutable SString m_classpath;
    SString m_className;
    mutable Extractor m_extract;
    SString m_archiveIdentity;
};
