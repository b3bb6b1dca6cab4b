#pragma once

// The maker of a class-data archive (ClassDataArchive.h): the launcher
// started as "cvlaunch -cv:log LOG -cv:make-class-data ENTRY", in a session
// of its own at the lowest priority, or called by a launch that waits for it.
//
// It takes the lock of the entry (another maker at work: it does nothing),
// reads the entry's job, and with the job's JVM, class path and options
//   dumps a static archive from the entry's class list into a run file:
//     java -Xshare:dump -XX:SharedClassListFile=LIST -XX:SharedArchiveFile=RUN
//          OPTIONS -cp CLASSPATH
//   validates it: status 0, and nothing on standard output, where the JVM
//   writes its warnings:
//     java -Xshare:on -XX:+VerifySharedSpaces -XX:SharedArchiveFile=RUN
//          OPTIONS -cp CLASSPATH -version
//   and only then renames it into place and records its identity (.ok).
// Each JVM runs with a time limit, without the JVM's option variables (the
// job holds the options that shape the archive), and its output goes to the
// log. A failure writes a rejection that names its reason.

#include <vector>

#include "base/SString.h"

class CacheStore;

class ClassDataMaker {
  public:
    // What a maker needs besides the class list.
    struct Job {
        SString java;
        SString classpath;
        std::vector<SString> options;
    };
    static bool writeJob(const CacheStore& store, const SString& entry, const Job& job);

    // True when the entry's archive is the one a maker validated.
    static bool hasValidArchive(const CacheStore& store, const SString& entry);

    // Makes the archive of `entry` in the store "cds"; with `wait`, waits
    // for a maker at work instead of leaving the entry to it. Returns 0
    // when there is a valid archive afterwards, else 1.
    static int make(const SString& entry, bool wait);

  private:
    static bool readJob(const CacheStore& store, const SString& entry, Job& job);
    // Runs the JVM with `arguments` and without the JVM's option variables;
    // "" when it ended with 0 (and, when `silent`, wrote nothing on
    // standard output), else why not.
    static SString runJVM(const std::vector<SString>& arguments, bool silent);
    // Dumps, validates and puts in place; "" or why it failed.
    static SString build(const CacheStore& store, const SString& entry, const Job& job);
};
