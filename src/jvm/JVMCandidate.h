#pragma once

// One home that a JVM search tries for one description file, with where the
// search came upon it.

#include "base/SString.h"

class JVMFile;

// Where a candidate home comes from.
enum class CandidateSource {
    UserJavaHome,    // the option "-cv:javahome"
    CallerJavaHome,  // the caller's JAVA_HOME, named by a PLATFORM_HINT
    PathHint,        // a PATH_HINT of the description file
    PlatformHint,    // any other variable that a PLATFORM_HINT names
    UsualLocation,   // a usual location (JVMLocations.h) but JAVA_HOME
    Path,            // a directory of PATH
    DiskWalk,        // the walk over the file system
};

struct JVMCandidate {
    const JVMFile* jvmFile;  // not owned
    SString home;
    CandidateSource source;
    // What led to the home: the variable of a platform hint, the pattern
    // that a path hint's home matched ("" for a plain hint), the name of the
    // usual location, the PATH directory; "" for the others.
    SString origin;
    bool late;  // its Java ran out of time before: tried after the others

    // True for a home that the search came upon rather than one named to it
    // (a usual location, PATH, the walk): it runs only when no other user could have planted
    // its Java (JVMFile::mayRun).
    bool foundOnDisk() const;
    // The log line that announces the home right before it is verified, ""
    // for none: "Checking path hint <home>[ (matching <pattern>)]", "Checking
    // JVM at <home> which was resolved from platform hint <variable>" and
    // "... from the platform JVM path <directory>", "Checking JVM at <home>
    // found in <location>".
    SString announcement() const;
};
