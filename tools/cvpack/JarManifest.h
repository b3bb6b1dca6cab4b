#ifndef JARMANIFEST_H
#define JARMANIFEST_H

// The manifest of a jar (META-INF/MANIFEST.MF), read for its Main-Class.

#include "SString.h"

class JarManifest {
  public:
    // The value of the main-section attribute `name` (compared without
    // regard to case) in the text of a manifest; empty when it has none.
    // Lines end with CR LF, LF or CR; a line that begins with one space
    // continues the one before; the main section ends at the first empty
    // line. The value is the text after the colon, without the blanks
    // around it.
    static SString attribute(const SString& manifest, const char* name);

    // The Main-Class of the jar at path, whose entries may be stored or
    // deflated. Throws LauncherException, naming the jar, when it cannot be
    // read or has no manifest or no Main-Class in it.
    static SString mainClass(const SString& jar);
};

#endif
