#pragma once

// A class-data archive for one JVM, class path and set of archive-shaping
// options (ArchiveOptions.h): the classes that the program loads, stored as
// the JVM maps them, so that later launches neither load nor verify them
// again.
//
// A launch never writes an archive and never fails, waits or changes its
// output because of one:
// - It maps an archive only when a maker (ClassDataMaker.h) validated it for
//   the same JVM, class path and shaping options, and while the archive's
//   identity is the one recorded then; otherwise it runs without one.
// - When there is no archive yet, it records which classes the program
//   loads (-XX:DumpLoadedClassList, into a file that the launcher created).
//   Once the program ended by itself, with any status, and there is a class
//   list but no archive, it starts a maker in the background and ends at
//   once with the program's status; CVLAUNCH_CLASS_DATA=wait makes it wait
//   for the maker instead, =0 switches archives off.
// - Each launch with options gets -Xlog:cds*=off (and -Xlog:aot*=off for
//   JDK 24 and later), so that no message about archives reaches the
//   program's output.
//
// Archives are kept in the store "cds" (CacheStore.h), as the entry
// "<launcher>-<key>": <key> a checksum of the JVM (its executable, release,
// lib/modules, libjvm.so and its own archive lib/server/classes.jsa),
// the class path (each entry's path and identity), the shaping options and
// the launcher file. The payload's class path archives are extracted once
// into "<launcher>.classes", and reused while their identities are those
// recorded at extraction. The files of an entry:
//   .classlist  the classes that a launch loaded
//   .job        what the maker needs: the JVM, class path and options
//   .jsa        the archive, .ok its identity once validated
//   .lock       held by the maker at work
//   .rejected   why the maker failed; no new maker for a week
//   .log        what the last maker did
//
// No archive for JDKs before 17, without a usable store, when the command
// or the environment sets class sharing itself; no maker (and so no
// archive) for a temporary JVM (JVM_TEMP), a class path that holds a
// directory, or options that patch, limit or upgrade modules.

#include <memory>
#include <vector>

#include "base/SString.h"
#include "platform/CacheStore.h"

class ArchiveOptions;
class JVMFile;

class ClassDataArchive {
  public:
    // For a launch of `jvm` (its JVM_HOME, JAVA_VERSION and JVM_TEMP).
    explicit ClassDataArchive(const JVMFile& jvm);
    // Removes what an unfinished launch left.
    ~ClassDataArchive();
    ClassDataArchive(const ClassDataArchive&) = delete;
    ClassDataArchive& operator=(const ClassDataArchive&) = delete;

    // Where the payload's class path archives go; "" for a temporary
    // directory, when there is to be no archive.
    const SString& classesDirectory() const { return m_classesDirectory; }
    // Called when the payload's class path archives could not go to
    // classesDirectory(): copies elsewhere change from launch to launch.
    void classesNotKept() { m_noMaker = "its class path archives cannot be kept"; }
    // The options for a launch of `command` (the program and its arguments,
    // without these options) in `workingDirectory`, each the mark of one
    // value (CommandText.h), separated by blanks; "" for none.
    SString options(const std::vector<SString>& command, const SString& workingDirectory);
    // After the JVM ended with `exitCode`: keeps the class list and starts
    // the maker when the program ended by itself.
    void finish(int exitCode);

  private:
    // The options when there is an entry: the archive's, or those that
    // record the classes.
    std::vector<SString> entryOptions(const ArchiveOptions& options);
    // The checksum of the JVM, the class path and the options.
    SString entryKey(const ArchiveOptions& options) const;
    void startMaker() const;

    std::unique_ptr<CacheStore> m_store;  // null when there is to be no archive
    int m_feature;                        // the JVM's feature release; 0 for no archive
    bool m_wait;
    bool m_temporaryJVM;
    SString m_java;
    SString m_jvmIdentity;
    SString m_group;  // the launcher's checksum
    SString m_classesDirectory;
    SString m_noMaker;    // why no maker can serve this launch, or ""
    SString m_entry;      // "" while there is none
    SString m_classList;  // the run file that the JVM writes, or ""
};
