#pragma once

// A class-data archive for one JVM and one class path: the JVM writes the
// classes that a launch loaded into it, and maps them at later launches
// instead of loading and verifying them again.
//
// The archives are kept in "cds" of the user's cache directory
// (CacheDirectory.h), which must be private: <name>.jsa, the name a checksum
// of
//   the JVM: its executable and what it is, as the verification cache keys
//     it, and its own archive lib/server/classes.jsa;
//   the class path: the launcher file, and each entry's path and what it is.
// The payload's class path archives are extracted once, into
// <launcher>.classes/ beside the archives, so that their paths and times,
// which the JVM checks, stay from launch to launch.
//
// The options, by the java.version that verification wrote into JAVA_VERSION:
//   19 and later  -XX:+AutoCreateSharedArchive -XX:SharedArchiveFile=RUN
//   13 to 18      -XX:SharedArchiveFile=ARCHIVE when the archive exists,
//                 else -XX:ArchiveClassesAtExit=RUN
//   older, or not known: none
// and with them -Xlog:cds*=off -Xlog:cds*=warning:file=RUN.log, so that no
// message about the archive reaches the program's output, and the launcher
// learns whether the JVM could use or write it.
//
// RUN is a name of this launch only: a JVM that writes an archive writes it
// there (19 and later: a hard link to the archive when there is one, which
// such a JVM replaces rather than rewrites), and the launcher renames it over
// the archive after the program ended with status 0, so no launch ever maps
// a half-written archive. A JVM that only reads the archive maps it where it
// is (19 and later too, without AutoCreateSharedArchive, where no link can
// be made). An archive that the JVM reported it could not use or write, or
// that it aborted with, is removed and <name>.rejected written: that JVM and
// class path get no archive again.
//
// No options at all with CVLAUNCH_CLASS_DATA=0 in the environment, without a
// private cache directory, or when its path holds a character that the
// options cannot carry; none either when the command or JAVA_TOOL_OPTIONS,
// JDK_JAVA_OPTIONS or _JAVA_OPTIONS hold an option of class sharing
// (-Xshare:off, -XX:SharedArchiveFile=, ...), since a JDK before 19 refuses
// to start when asked to write an archive without its own, and for 13 to 18
// without the JVM's own archive lib/server/classes.jsa. The 32 archives (at most 1 GiB) and the 16
// class directories used last are kept; the others go, and so do the files of a launch that was
// killed, after a day.

#include <vector>

#include "CacheDirectory.h"
#include "SString.h"
#include "StringDeque.h"

class JVMFile;

class ClassDataArchive {
  public:
    // For a launch of `jvm` (its JVM_HOME and JAVA_VERSION).
    explicit ClassDataArchive(const JVMFile& jvm);
    // Removes what an unfinished launch left.
    ~ClassDataArchive();
    ClassDataArchive(const ClassDataArchive&) = delete;
    ClassDataArchive& operator=(const ClassDataArchive&) = delete;

    // Where the payload's class path archives go; "" for a temporary
    // directory, when there is to be no archive.
    const SString& classesDirectory() const { return m_classesDirectory; }
    // The options for a launch with `classpath` (paths, in order), each the
    // mark of one value (CommandText.h), separated by blanks; "" for none,
    // also when `command` (the rest of the launch command) or the JVM's
    // option variables of the environment set class sharing themselves.
    SString options(const StringDeque& classpath, const SString& command);
    // After the JVM ended with `exitCode`: puts a new archive in place, or
    // rejects the archive, and removes the files of this launch.
    void finish(int exitCode);

  private:
    // How the JVM makes its archive.
    enum Kind { NO_ARCHIVE, DUMP_AT_EXIT, AUTO_CREATE };
    static Kind kindOf(const SString& javaVersion);

    // The option words for an archive at m_archive, run through m_runFile.
    std::vector<SString> optionWords();
    // The checksum of the JVM and the class path, or "" when the JVM's
    // executable is not there.
    SString archiveName(const StringDeque& classpath) const;
    // True when the JVM's log of this launch says that it could not use or
    // write the archive; the first such line goes into `reason`.
    bool logReportsFailure(SString& reason) const;
    void keepRunFile();
    void reject(const SString& reason);
    // Removes what is over the bounds, oldest first, and what unfinished
    // launches left.
    void evict() const;

    SString m_directory;  // "" when there is to be no archive
    Kind m_kind;
    SString m_jvmIdentity;
    SString m_launcherIdentity;
    SString m_classesDirectory;
    SString m_archive;
    SString m_runFile;
    SString m_logFile;
    bool m_usedExisting;
};
