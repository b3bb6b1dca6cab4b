#pragma once

// The Java versions that an application accepts, as a packager writes them
// (cvpack --java) and a JVM description file carries them (JAVA_RANGE):
//
//   range := ""          any version
//          | N           that major version
//          | N "+"       it or a newer one
//          | N "-" M     from N to M, N <= M
//
// N and M are major versions from 1 to 999, in decimal digits only.
// Examples: "17", "17+", "11-21". Invalid: "17.0", "21-11", "+17", "17-",
// "0", "1000", "17 " (parse refuses them).

#include <vector>

#include "base/SString.h"

class JavaRange {
  public:
    // Reads `text`; false, with `range` unchanged, when it is invalid.
    static bool parse(const SString& text, JavaRange& range);

    // The JVM_PROPERTIES entries that accept exactly this range, as
    // conditions on java.specification.version, which Java 8 and older
    // report as "1.8" and so on: "17+" gives java.specification.version>=17,
    // "8-11" gives >=1.8 and <=11, and any version =... (the empty prefix).
    std::vector<SString> properties() const;
    // True when the major version `major` lies in the range.
    bool accepts(long major) const;
    // The range for a person, from the message catalogue: "Java 17",
    // "Java 26 or newer", "Java 11-21", "Java of any version".
    SString describe() const;

  private:
    enum class Kind { Any, Exactly, AtLeast, Between };
    Kind m_kind = Kind::Any;
    long m_low = 0;
    long m_high = 0;
};
