#pragma once

// The JVMs of the usual locations (JVMLocations.h), PATH included, each one
// probed once with the verification class for its version, vendor and
// architecture. The probes go through the verified-JVM cache (VerifyCache.h),
// so that a JVM already known costs no JVM start.
//
// Every home that a location gives is a candidate, and each candidate either
// is a JVM or has a reason why not, in this order of tests:
//   "the same JVM as <home>"   its real path is that of another candidate,
//                              which stands for them all: the first, or a
//                              later one of the first's location that is no
//                              link (default-java and java-1.17.0-openjdk-amd64
//                              that lead to java-17-openjdk-amd64 are the
//                              same JVM as java-17-openjdk-amd64)
//   "no Java: <exe> does not exist"
//   "skipped as plantable, never run: <why>"
//                              another user could have planted its Java
//                              (JVMFile::plantedOutcome); JAVA_HOME, which the
//                              user names, is run as given
//   "failed verification: <why>", "timed out: <why>"
//                              what the probe came to (ProbeOutcome)

#include <optional>
#include <vector>

#include "base/SString.h"

class VerifyClass;

// What a probe of a home told.
struct FoundJVM {
    SString version;  // java.version, "17.0.9"
    long major = 0;   // of java.specification.version ("1.8" is 8)
    SString vendor;   // java.vendor
    SString arch;     // os.arch
    // "JDK" when the home holds bin/javac, "runtime" for a home of the
    // runtime store, "JRE" otherwise.
    SString kind;
    bool compiler = false;  // bin/javac exists
};

struct FinderCandidate {
    SString home;      // as the location gave it
    SString location;  // the name of the location (JVMLocations.h)
    std::optional<FoundJVM> jvm;
    SString reason;  // why it is no JVM, when jvm is empty
};

class JVMFinder {
  public:
    // Every candidate of the usual locations, in their order, probed with
    // `verifyClass`. Throws LauncherException when a signal ends the probes.
    static std::vector<FinderCandidate> find(const VerifyClass& verifyClass);
};
