#include "jvm/JavaVersion.h"

#include <algorithm>
#include <cstdlib>

#include "base/TextUtils.h"

namespace {

// Where the part of a version that does not count for its order begins.
bool isSuffixStart(char c) {
    return c == '+' || c == '-' || c == '_';
}

int compareFields(const SString& first, const SString& second) {
    return compareDigitRuns(first.c_str(), first.length(), second.c_str(), second.length());
}

}  // namespace

bool JavaVersion::parse(const SString& text, JavaVersion& version, bool legacyPrefix) {
    std::vector<SString> fields;
    unsigned int position = 0;
    for (;;) {
        unsigned int end = digitRunEnd(text, position);
        if (end == position) {
            return false;
        }
        fields.push_back(text.substr(position, end - position));
        if (end == text.length() || isSuffixStart(text[end])) {
            break;
        }
        if (text[end] != '.') {
            return false;
        }
        position = end + 1;
    }
    // Up to Java 8 the versions were written "1.8"; Java 9 was "9".
    if (legacyPrefix && fields.size() > 1 && compareFields(fields[0], "1") == 0 &&
        compareFields(fields[1], "9") < 0) {
        fields.erase(fields.begin());
    }
    version.m_fields.swap(fields);
    return true;
}

bool JavaVersion::isVersionProperty(const SString& name) {
    return stringEndsWith(name, "version") != SString::npos;
}

long JavaVersion::major() const {
    return m_fields.empty() ? 0 : atol(m_fields[0].c_str());
}

int JavaVersion::compare(const JavaVersion& other) const {
    const SString missing;
    size_t count = std::max(m_fields.size(), other.m_fields.size());
    for (size_t i = 0; i < count; ++i) {
        const SString& mine = i < m_fields.size() ? m_fields[i] : missing;
        const SString& theirs = i < other.m_fields.size() ? other.m_fields[i] : missing;
        int order = compareFields(mine, theirs);
        if (order != 0) {
            return order;
        }
    }
    return 0;
}
