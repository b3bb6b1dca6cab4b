#pragma once

#include "base/PtrDeque.h"
#include "base/SString.h"

// How a JVM_PROPERTIES entry compares the value that a JVM reports with its
// own: Matches is the entry "name=value" (equal, or with a value ending in
// "..." beginning with what comes before it); the others are the version
// ranges "name>=V", "name>V", "name<=V" and "name<V" (JavaVersion.h).
enum class PropertyOperator { Matches, AtLeast, Above, AtMost, Below };

// What StringPair::parse made of an entry.
enum class PropertyEntryStatus {
    Valid,
    NoOperator,      // none of "=", "<" and ">": no entry at all
    InvalidVersion,  // a range whose value is not a version: no JVM matches it
};

// A system property that a JVM must report, and the value it must have: one
// entry of JVM_PROPERTIES.
class StringPair {
  public:
    StringPair() = default;
    StringPair(const SString& name, const SString& value,
               PropertyOperator op = PropertyOperator::Matches);

    // Takes an entry apart at its first "=", "<" or ">": "a=17..." gives the
    // name "a", Matches and the value "17..."; "a>=17" the name "a", AtLeast
    // and "17"; likewise "a>17", "a<=17" and "a<17". Name and value are
    // trimmed. Whatever the status, `pair` holds the parts found.
    static PropertyEntryStatus parse(const SString& entry, StringPair& pair);

    // True when `reported`, the value of the property that a JVM printed,
    // satisfies this entry. For a range both sides are read as JavaVersion,
    // with the "1." rule for the version properties; a reported value that
    // is no version does not match.
    bool matches(const SString& reported) const;
    // Why `reported` does not satisfy this entry, which matches() has
    // refused: "java.specification.version 25 is below 26", "... is not
    // above 26", "java.vendor X is not Y", "... does not begin with Y",
    // "... is no version".
    SString mismatch(const SString& reported) const;

    SString m_name;
    SString m_value;
    PropertyOperator m_operator = PropertyOperator::Matches;
};

using StringPairPtrDeque = PtrDeque<StringPair>;
using StringPairPtrDE = PtrDE<StringPair>;
