#pragma once

// The places where Java installations are kept on Linux today, in the order
// in which the finder (cvlaunch --find, --list) and the description-file key
// USUAL_LOCATIONS look at them, each with the environment variable that
// moves it:
//
//   name             variable                where it looks when it is unset
//   JAVA_HOME        JAVA_HOME               (the home itself)
//   /usr/lib/jvm                             /usr/lib/jvm/*
//   /usr/lib64/jvm                           /usr/lib64/jvm/*
//   /usr/java                                /usr/java/*
//   /usr/local/java                          /usr/local/java/*
//   /opt/java                                /opt/java/*
//   /opt                                     /opt/jdk*
//   SDKMAN           SDKMAN_CANDIDATES_DIR   ~/.sdkman/candidates + /java/*
//   IntelliJ                                 ~/.jdks/*
//   Gradle           GRADLE_USER_HOME        ~/.gradle + /jdks/*
//   asdf             ASDF_DATA_DIR           ~/.asdf + /installs/java/*
//   mise             MISE_DATA_DIR           ~/.local/share/mise + /installs/java/*
//   jabba            JABBA_HOME              ~/.jabba + /jdk/*
//   JBang            JBANG_CACHE_DIR         ~/.jbang/cache + /jdks/*
//   Coursier         COURSIER_ARCHIVE_CACHE  ~/.cache/coursier/arc +
//                                            /https/github.com/*/*/releases/download/*/*
//                                            and /https/cdn.azul.com/zulu/bin/*
//   Coursier         COURSIER_JVM_CACHE      ~/.cache/coursier/jvm + /*
//   Homebrew         HOMEBREW_PREFIX         /home/linuxbrew/.linuxbrew + /opt/openjdk*/libexec
//   runtime store    XDG_DATA_HOME           ~/.local/share + /cvlaunch/runtimes/*
//   PATH             PATH                    each directory that holds "java"
//
// A variable that is set and not empty replaces the base in front of the
// "+"; "~" is $HOME (no such location without HOME). A directory that a
// pattern matches is a home when it holds bin/java; otherwise its home may
// lie one level down, as tools unpack archives: <dir>/Contents/Home (the
// macOS layout) or <dir>/<name> (Gradle, Coursier). A PATH directory stands
// for the home two levels above the file its "java" resolves to
// (/usr/bin/java -> /usr/lib/jvm/java-17-openjdk-amd64/bin/java gives
// /usr/lib/jvm/java-17-openjdk-amd64). JAVA_HOME is taken as it is, with or
// without a Java. Within one location the homes come newest version first
// (their names in descending natural order). Nothing else is searched: no
// directory is walked.

#include <vector>

#include "base/SString.h"
#include "base/StringDeque.h"

class JVMLocations {
  public:
    // A home and the name of the location where it was found.
    struct Home {
        SString home;
        SString location;
    };

    // The name of the first location, the caller's JAVA_HOME.
    static const char* const kJavaHome;
    // The name of the location of the user's runtime store.
    static const char* const kRuntimeStore;

    // Every home of the locations, in the order of the table; without
    // `withPath` the PATH directories are left out.
    static std::vector<Home> homes(bool withPath);

    // The directories in the order in which to try them: the newest version
    // first, that is their names in descending natural order (jdk-21,
    // jdk-17.0.10, jdk-17.0.9), and the whole paths where names are equal.
    static std::vector<SString> newestFirst(const StringDeque& directories);
    // `text` as a glob pattern that matches just itself.
    static SString globLiteral(const SString& text);
};
