#include "jvm/StringPair.h"

#include "base/TextUtils.h"
#include "jvm/JavaVersion.h"

namespace {

// The operator at `position`, where the first "=", "<" or ">" of an entry
// is, and the length of its text.
PropertyOperator operatorAt(const SString& entry, unsigned int position, unsigned int& length) {
    bool orEqual = position + 1 < entry.length() && entry[position + 1] == '=';
    length = orEqual ? 2 : 1;
    switch (entry[position]) {
        case '<':
            return orEqual ? PropertyOperator::AtMost : PropertyOperator::Below;
        case '>':
            return orEqual ? PropertyOperator::AtLeast : PropertyOperator::Above;
        default:
            length = 1;
            return PropertyOperator::Matches;
    }
}

// An expected value ending in "..." is a prefix; any other must match whole.
bool valueMatches(const SString& line, const SString& expected) {
    unsigned int prefixLength = stringEndsWith(expected, "...");
    if (prefixLength == SString::npos) {
        return line.compare(expected) == 0;
    }
    return line.compare(0, prefixLength, expected, 0, prefixLength) == 0;
}

bool orderSatisfies(PropertyOperator op, int order) {
    switch (op) {
        case PropertyOperator::AtLeast:
            return order >= 0;
        case PropertyOperator::Above:
            return order > 0;
        case PropertyOperator::AtMost:
            return order <= 0;
        case PropertyOperator::Below:
            return order < 0;
        default:
            return order == 0;
    }
}

}  // namespace

StringPair::StringPair(const SString& name, const SString& value, PropertyOperator op)
    : m_name(name), m_value(value), m_operator(op) {}

PropertyEntryStatus StringPair::parse(const SString& entry, StringPair& pair) {
    unsigned int position = entry.find_first_of("=<>");
    if (position == SString::npos) {
        return PropertyEntryStatus::NoOperator;
    }
    unsigned int length;
    pair.m_operator = operatorAt(entry, position, length);
    pair.m_name = entry.substr(0, position);
    pair.m_value = entry.substr(position + length);
    trim(pair.m_name, whitespaceChars);
    trim(pair.m_value, whitespaceChars);
    JavaVersion bound;
    if (pair.m_operator != PropertyOperator::Matches && !JavaVersion::parse(pair.m_value, bound)) {
        return PropertyEntryStatus::InvalidVersion;
    }
    return PropertyEntryStatus::Valid;
}

bool StringPair::matches(const SString& reported) const {
    if (m_operator == PropertyOperator::Matches) {
        return valueMatches(reported, m_value);
    }
    bool legacyPrefix = JavaVersion::isVersionProperty(m_name);
    JavaVersion bound;
    JavaVersion version;
    return JavaVersion::parse(m_value, bound, legacyPrefix) &&
           JavaVersion::parse(reported, version, legacyPrefix) &&
           orderSatisfies(m_operator, version.compare(bound));
}

SString StringPair::mismatch(const SString& reported) const {
    SString subject = joinText(m_name, ' ', reported);
    if (m_operator == PropertyOperator::Matches) {
        unsigned int prefixLength = stringEndsWith(m_value, "...");
        return prefixLength == SString::npos
                   ? joinText(subject, " is not ", m_value)
                   : joinText(subject, " does not begin with ", m_value.substr(0, prefixLength));
    }
    bool legacyPrefix = JavaVersion::isVersionProperty(m_name);
    JavaVersion bound;
    JavaVersion version;
    if (!JavaVersion::parse(m_value, bound, legacyPrefix) ||
        !JavaVersion::parse(reported, version, legacyPrefix)) {
        return joinText(subject, " is no version");
    }
    int order = version.compare(bound);
    const char* relation = order < 0                               ? " is below "
                           : order > 0                             ? " is above "
                           : m_operator == PropertyOperator::Above ? " is not above "
                                                                   : " is not below ";
    return joinText(subject, relation, m_value);
}
