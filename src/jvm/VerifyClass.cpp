#include "jvm/VerifyClass.h"

#include <cstdio>

#include "base/ScopedFile.h"
#include "base/TextUtils.h"

VerifyClass::VerifyClass(const SString& classpath, const SString& className)
    : m_classpath(classpath), m_className(className) {}

VerifyClass::VerifyClass(Extractor extract, const SString& archiveIdentity,
                         const SString& className)
    : m_className(className), m_extract(extract), m_archiveIdentity(archiveIdentity) {}

const SString& VerifyClass::classpath() const {
    if (m_extract) {
        m_classpath = m_extract();
        m_extract = nullptr;
    }
    return m_classpath;
}

SString VerifyClass::identity() const {
    if (m_extract) {
        return joinText(m_className, '|', m_archiveIdentity);
    }
    SString identity = m_className;
    unsigned int start = 0;
    while (start <= m_classpath.length()) {
        unsigned int colon = m_classpath.find(':', start);
        unsigned int end = colon == SString::npos ? m_classpath.length() : colon;
        identity += joinText('|', contentIdentity(m_classpath.substr(start, end - start)));
        start = end + 1;
    }
    return identity;
}

SString VerifyClass::contentIdentity(const SString& path, long offset, long length) {
    ScopedFile file(fopen(path.c_str(), "rb"));
    if (!file || fseek(file.get(), offset, SEEK_SET) != 0) {
        return path;
    }
    uint64_t hash = kHashStart;
    long size = 0;
    char buffer[8192];
    while (length < 0 || size < length) {
        size_t wanted = sizeof buffer;
        if (length >= 0 && static_cast<size_t>(length - size) < wanted) {
            wanted = static_cast<size_t>(length - size);
        }
        size_t count = fread(buffer, 1, wanted, file.get());
        if (count == 0) {
            break;
        }
        hash = hashBytes(hash, buffer, count);
        size += static_cast<long>(count);
    }
    return joinText(convertToString(size), ':', hashText(hash));
}
