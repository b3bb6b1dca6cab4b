#pragma once

// What probes of JVMs reported, kept for each user across runs, so that a
// launch starts one JVM and not two.
//
// An entry belongs to one Java executable as it is and to the environment it
// ran in: the executable's canonical path; the identity
// (PlatformImpl::fileIdentity) of the executable and, in the runtime that it
// belongs to (the directory above its own), of the "release" file, of
// "lib/modules" and of every JVM library (lib/server/libjvm.so and the like,
// jre/lib/<arch>/server/libjvm.so in older layouts), so that an update or a
// replaced file is a new JVM; a checksum of the environment variables that
// properties depend on (JAVA_TOOL_OPTIONS, JDK_JAVA_OPTIONS, _JAVA_OPTIONS,
// LANG, LC_ALL, LC_CTYPE, HOME, USER, TMPDIR). It holds the values that clean
// probes reported, per property name, and the verification class that
// produced them (its name, and the size and checksum of each class path
// entry).
//
// Only what cannot have changed is answered: never for an executable that is
// not an ELF program (a script may start another JVM each time) or a runtime
// without a JVM library, never user.dir, and never a verification that asks
// for no property at all, whose outcome only the probe itself tells.
//
// The cache also remembers, per executable as it is, a probe that ran out of
// time, so that a search tries such a JVM it came upon last.
//
// The file is $XDG_CACHE_HOME/cvlaunch/verified-jvms (~/.cache/... without
// XDG_CACHE_HOME), in a directory of mode 0700, with mode 0600, a tag file of
// one tag per JVM, the most recently used first:
//   JVM1:
//     /usr/lib/jvm/java-17-openjdk-amd64/bin/java
//     2049.1234.14480.1700000000.0.1700000000.0|...|...|...
//     4f0c2d1e9a8b7c6d
//     Verify|1157:9c1e0f2a5b3d4e6f
//     java.version=17.0.9
//   /:
// An entry of a probe that ran out of time has "timed out" in the place of
// the verification class, and no values. At most 256 JVMs are kept. A writer
// takes the lock file verified-jvms.lock beside it, reads the file again,
// merges its entry in and renames a new file over the old one, so parallel
// launchers keep every entry; a writer that cannot have the lock within two
// seconds stores nothing (logged). A file that cannot be read, is corrupt or
// is not the user's, a directory that is not private, and a cache directory
// that is relative (a relative HOME) are not used: the run goes on without
// the cache, with one warning in the log. CVLAUNCH_VERIFY_CACHE=0 in the
// environment switches the cache off, and with it the reuse within one run.

#include <string>

#include "base/SString.h"
#include "base/StringDeque.h"

class VerifyClass;

class VerifyCache {
  public:
    // Which probe: the executable and what it is, the environment, and the
    // verification class.
    struct Key {
        SString executable;   // canonical path; "" when it does not exist
        SString identity;     // of its files
        SString environment;  // checksum of the variables
        SString verifier;
        // False for a script or a runtime without a JVM library: such a probe
        // is neither answered nor kept.
        bool answerable = false;
        std::string text() const;
    };

    // The key of a probe of `executable` with `verifyClass`.
    static Key keyOf(const SString& executable, const VerifyClass& verifyClass);
    // The values stored for `names`, in their order, appended to `values`:
    // true only when every one is known for the key and may be answered.
    static bool lookup(const Key& key, const StringDeque& names, StringDeque& values);
    // Records what a clean probe reported: values[i] for names[i].
    static void store(const Key& key, const StringDeque& names, const StringDeque& values);
    // Records that a probe of the key's executable ran out of time.
    static void storeTimeout(const Key& key);
    // True when the last probe of `executable`, as it is now, ran out of time.
    static bool timedOut(const SString& executable);
};
