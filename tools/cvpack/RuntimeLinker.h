#pragma once

// The Java runtime that cvpack --runtime links from a JDK for a launcher to
// carry, in three steps:
//
//   modules  the modules that the JDK's jdeps finds in the jars
//            (--print-module-deps --ignore-missing-deps, the JDK's feature
//            release for multi-release jars), or the packager's list
//            instead ("LIST") or besides them ("+LIST")
//   link     the JDK's jlink of those modules into a new directory: without
//            debug information, manual pages and header files, with the
//            JVM's class-data archive, and without compression of its own
//            (the installer's outer compression does better on a plain
//            lib/modules), from JDK_HOME/jmods where the JDK has them; its
//            commands stay, bin/java among them
//   pack     the runtime installer (RuntimeImage) of the linked image, with
//            the image's "jvm" description file
//
// A JDK before 17, or one without bin/jlink or a JAVA_VERSION in its
// "release" file, is refused. A failing jdeps or jlink fails with its own
// output in the message.

#include <vector>

#include "base/SString.h"
#include "cvinstall/RuntimeImage.h"

class RuntimeLinker {
  public:
    // Reads the JDK's "release" file. Throws LauncherException.
    explicit RuntimeLinker(const SString& jdkHome);

    // JAVA_VERSION of the JDK, which the linked image has too ("17.0.15").
    const SString& javaVersion() const { return m_javaVersion; }
    // Its first number (17).
    long featureVersion() const { return m_feature; }

    // The modules for `jars` as jlink takes them ("java.base,java.sql"):
    // jdeps's, replaced or extended by `option` (--runtime-modules, or
    // empty), each once. Tells them on standard error. Throws
    // LauncherException when jdeps fails.
    SString modules(const std::vector<SString>& jars, const SString& option) const;
    // Links `modules` into the new directory `image`. Throws
    // LauncherException with jlink's output when it fails.
    void link(const SString& modules, const SString& image) const;
    // Writes the runtime installer `output`: the program `installer` with
    // `image` compressed at `level` (RuntimeImage), described as "Java
    // runtime <version> of <application>". Throws LauncherException.
    static RuntimeImageInfo pack(const SString& installer, const SString& image,
                                 const SString& application, const SString& output, int level);

  private:
    SString tool(const char* name) const;

    SString m_home;
    SString m_javaVersion;
    long m_feature = 0;
};
