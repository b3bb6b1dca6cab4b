#pragma once

// What probes of JVMs reported, kept for each user across runs, so that a
// launch starts one JVM and not two.
//
// An entry belongs to one Java executable as it is: its canonical path, and
// the identity (PlatformImpl::fileIdentity) of the executable, of the home's
// "release" file and of its "lib/modules", so that an update or a replaced
// file is a new JVM. It holds the values that clean probes reported, per
// property name, and the verification class that produced them (its name,
// and the size and checksum of each class path entry).
//
// The file is $XDG_CACHE_HOME/cvlaunch/verified-jvms (~/.cache/... without
// XDG_CACHE_HOME), in a directory of mode 0700, with mode 0600, a tag file of
// one tag per JVM, the most recently used first:
//   JVM1:
//     /usr/lib/jvm/java-17-openjdk-amd64/bin/java
//     2049.1234.14480.1700000000.0.1700000000.0|...|...
//     Verify|1157:9c1e0f2a5b3d4e6f
//     java.version=17.0.9
//   /:
// At most 256 JVMs are kept. A writer writes a new file and renames it over
// the old one, so two launchers at once lose at most an entry. A file that
// cannot be read, is corrupt or is not the user's, and a directory that is
// not private, are not used: the run goes on without the cache, with one
// warning in the log. CVLAUNCH_VERIFY_CACHE=0 in the environment switches
// the cache off, and with it the reuse within one run.

#include <string>

#include "SString.h"
#include "StringDeque.h"

class VerifyClass;

class VerifyCache {
  public:
    // Which probe: the executable and what it is, and the verification class.
    struct Key {
        SString executable;  // canonical path; "" when it does not exist
        SString identity;
        SString verifier;
        std::string text() const;
    };

    // The key of a probe of `executable` in `home` with `verifyClass`.
    static Key keyOf(const SString& executable, const SString& home,
                     const VerifyClass& verifyClass);
    // The values stored for `names`, in their order, appended to `values`:
    // true only when every one is known for the key.
    static bool lookup(const Key& key, const StringDeque& names, StringDeque& values);
    // Records what a clean probe reported: values[i] for names[i].
    static void store(const Key& key, const StringDeque& names, const StringDeque& values);
};
