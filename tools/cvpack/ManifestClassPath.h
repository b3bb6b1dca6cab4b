#pragma once

// The jars of an application's class path and those that the Class-Path
// headers of their manifests name, in the order in which the JVM's
// application class loader reads them: each jar is followed by the jars
// that its Class-Path names (and those by theirs), before the next one.
//
// A Class-Path value is a list of URLs separated by blanks, each relative to
// the directory of the jar that names it unless it is absolute ("/opt/a.jar",
// "file:/opt/a.jar"); "%20" and the like stand for the byte they encode. A
// jar reached twice, under any name that comes to the same path, is read
// the first time only, so cycles end. Entries that name no local file (other
// URL schemes), directories and files that are missing or no jar are left
// out with a warning, as the JVM leaves them out of its search.

#include <string>
#include <vector>

#include "base/SString.h"

class ManifestClassPath {
  public:
    struct Jar {
        SString path;
        // Whether the embedded copy has another manifest: `manifest`, the
        // jar's own without its Class-Path, so that the JVM on the user's
        // machine reads only embedded jars. A signed jar keeps its manifest,
        // whose main section the signature covers.
        bool rewritten = false;
        std::string manifest;
    };

    // `jars` and the jars that their Class-Path headers name. Prints a line
    // on standard error for each jar that it adds and a warning for each
    // entry that it leaves out. A given jar that cannot be read as a zip
    // archive is kept as it is. Throws LauncherException for a manifest
    // that cannot be read or is too large (JarFile::manifest).
    static std::vector<Jar> follow(const std::vector<SString>& jars);
};
