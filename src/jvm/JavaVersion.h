#pragma once

// A Java version as JVMs report it in their version properties, for the
// range entries of JVM_PROPERTIES ("java.specification.version>=17").

#include <vector>

#include "base/SString.h"

class JavaVersion {
  public:
    // Reads `text`: numbers separated by "." ("17", "17.0.10", "1.8.0"),
    // optionally followed by a build or pre-release suffix that begins with
    // "+", "-" or "_" ("17.0.10+7", "21-ea", "1.8.0_292") and plays no part
    // in the order. With `legacyPrefix`, a leading "1." followed by a number
    // below 9 is dropped, so that "1.8" is 8. False, with `version`
    // unchanged, for any other text: an empty one, "abc", "17.", "17.x".
    static bool parse(const SString& text, JavaVersion& version, bool legacyPrefix = true);
    // True for the properties whose values follow the "1." rule of parse:
    // those whose names end in "version" (java.version,
    // java.specification.version, java.vm.version, ...).
    static bool isVersionProperty(const SString& name);

    // Negative, 0 or positive as this version comes before, equals or comes
    // after `other`: field by field, each as a number, missing fields
    // counting as 0 (17 equals 17.0.0; 17.0.10 comes after 17.0.9).
    int compare(const JavaVersion& other) const;
    // The first field: the major version (8 for "1.8" read with the "1."
    // rule, 17 for "17.0.10"); 0 for a version never read.
    long major() const;

  private:
    // The digits of each field, as written.
    std::vector<SString> m_fields;
};
