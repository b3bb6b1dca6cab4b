#include "jvm/JavaRange.h"

#include <cctype>

#include "base/TextUtils.h"
#include "platform/PlatformImpl.h"

namespace {

const char kVersionProperty[] = "java.specification.version";
const long kMaxVersion = 999;

// The major version at `position`; false when there is none from 1 to
// kMaxVersion. `position` ends after its digits.
bool readVersion(const SString& text, unsigned int& position, long& version) {
    unsigned int start = position;
    version = 0;
    while (position < text.length() && isdigit(static_cast<unsigned char>(text[position])) &&
           version <= kMaxVersion) {
        version = version * 10 + (text[position++] - '0');
    }
    return position > start && version >= 1 && version <= kMaxVersion;
}

SString versionCondition(const char* comparison, long version) {
    SString text =
        version <= 8 ? joinText("1.", convertToString(version)) : convertToString(version);
    return joinText(kVersionProperty, comparison, text);
}

}  // namespace

bool JavaRange::parse(const SString& text, JavaRange& range) {
    JavaRange read;
    unsigned int position = 0;
    if (text.empty()) {
        range = read;
        return true;
    }
    if (!readVersion(text, position, read.m_low)) {
        return false;
    }
    read.m_high = read.m_low;
    SString rest = text.substr(position);
    if (rest.empty()) {
        read.m_kind = Kind::Exactly;
    } else if (rest.compare("+") == 0) {
        read.m_kind = Kind::AtLeast;
    } else if (rest[0] == '-' && readVersion(text, ++position, read.m_high) &&
               position == text.length() && read.m_low <= read.m_high) {
        read.m_kind = Kind::Between;
    } else {
        return false;
    }
    range = read;
    return true;
}

std::vector<SString> JavaRange::properties() const {
    switch (m_kind) {
        case Kind::Exactly:
            return {versionCondition("=", m_low)};
        case Kind::AtLeast:
            return {versionCondition(">=", m_low)};
        case Kind::Between:
            return {versionCondition(">=", m_low), versionCondition("<=", m_high)};
        case Kind::Any:
            break;
    }
    // The launcher verifies no JVM for a description file without
    // JVM_PROPERTIES, and an expected value of "..." is the empty prefix,
    // which every value has (an unset property's too). The property is the
    // one that the ranges test, so that the verification cache holds one
    // entry per JVM for every launcher made with a range or without.
    return {joinText(kVersionProperty, "=...")};
}

bool JavaRange::accepts(long major) const {
    switch (m_kind) {
        case Kind::Exactly:
        case Kind::Between:
            return major >= m_low && major <= m_high;
        case Kind::AtLeast:
            return major >= m_low;
        case Kind::Any:
            break;
    }
    return true;
}

SString JavaRange::describe() const {
    switch (m_kind) {
        case Kind::Exactly:
            return PlatformImpl::getMessageText(MSG_JAVA_VERSION, convertToString(m_low));
        case Kind::AtLeast:
            return PlatformImpl::getMessageText(MSG_JAVA_OR_NEWER, convertToString(m_low));
        case Kind::Between:
            return PlatformImpl::getMessageText(
                MSG_JAVA_VERSION, joinText(convertToString(m_low), '-', convertToString(m_high)));
        case Kind::Any:
            break;
    }
    return PlatformImpl::getMessageText(MSG_ANY_JAVA);
}
