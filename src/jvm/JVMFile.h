#pragma once

// A JVM description file: which Java executable a JVM home must hold, where
// such homes may be found, which system properties the JVM must report, and
// the settings with which a launch script builds a Java command for it.
//
// Keys read here (the first value unless noted):
//   DESC            display name of the JVM kind
//   JVM_EXE         the Java executable relative to a home, "/" separated
//   JVM_PROPERTIES  every value: name=expected; an expected value ending in
//                   "..." only has to match up to the "..."; or a version
//                   range name>=V, name>V, name<=V or name<V (StringPair.h),
//                   several of which may name one property
//   PATH_HINT       every value: a directory relative to "/" to try as a home,
//                   or beginning with "~/" one in $HOME; with "*", "?" or
//                   "[" a glob pattern whose directories are tried newest
//                   version first (their names in descending natural order)
//   PLATFORM_HINT   every value: an environment variable holding a
//                   ":"-separated list of directories to try as homes
//   USUAL_LOCATIONS boolean (default false): also try the homes of the
//                   usual locations (JVMLocations.h), after the path hints
//   JVM_HOME        the home; verification writes the home it tries
//   JAVA_VERSION    verification writes the java.version that the JVM
//                   reported, when JVM_PROPERTIES names it or the probe is
//                   asked for it (askVersion below)
//
// "@NAME@" in a text (see MacroHandler.h for the scanning rules) stands for
// the first value of the tag NAME, empty when the tag is absent. JVM_HOME and JVM_FILE
// are put in as data (CommandText.h): a home may hold any character. "@JVM_HOME@"
// drops one trailing backslash of the home, unless the file names a JVM_FILE
// (the launcher wrote it, with a home found on disk): "JVM_HOME: /opt/jdk\"
// gives /opt/jdk.
//
// Verification runs JVM_EXE of a home on the verification class with the
// property names as arguments, through a launch script
//   <home>/<JVM_EXE> %CP%("<class path>") <class name> <name>...
// (the executable, the class path and the class name as data) and
// accepts the home when the output holds the line "1739021872" followed
// by the expected values, one per line. Each verification writes the home into
// JVM_HOME of the tag file, which is shared with every JVMMatch it returns.
// What became of a probe is a ProbeOutcome, whose log lines say it.
//
// The definitions lie in one source per role:
//   JVMFile.cpp            the description file: tags, "@" macros, the
//                          executable, the expected properties
//   JVMFileProbe.cpp       the probe: verification, the verification cache,
//                          the command, reading the output
//   JVMFileCandidates.cpp  the candidates: path hints, patterns, "~/",
//                          platform hints, PATH, the trust check

#include <optional>

#include "base/PtrDeque.h"
#include "base/SString.h"
#include "base/StringDeque.h"
#include "jvm/JVMCandidates.h"
#include "jvm/ProbeOutcome.h"
#include "jvm/StringPair.h"
#include "jvm/VerifyCache.h"
#include "launchscript/MacroHandler.h"

class JVMMatch;
class TagFile;
class TriedHomes;
class VerifyClass;

extern const char* const kJvmPropertiesTagName;   // "JVM_PROPERTIES"
extern const char* const kPathHintTagName;        // "PATH_HINT"
extern const char* const kPlatformHintTagName;    // "PLATFORM_HINT"
extern const char* const kJvmExeTagName;          // "JVM_EXE"
extern const char* const kUsualLocationsTagName;  // "USUAL_LOCATIONS"

class JVMFile : public MacroHandler {
  public:
    // Wraps `tagFile` without owning it; the tag file must outlive this object.
    explicit JVMFile(TagFile& tagFile);
    ~JVMFile() override;

    TagFile& getTagFile() const;

    // The text with its "@" macros replaced from this file.
    SString resolve(const SString& text) const;
    void processMacro(SString& text, char delimiter, unsigned int start,
                      unsigned int& end) const override;

    // Each verification returns a new JVMMatch that the caller owns, or null.
    // `verifyClass` is the class that the probes run; with `askVersion`
    // they also ask for java.version (for a launch script that needs the
    // version of its JVM) and write it into JAVA_VERSION. Failed candidates
    // are no error: their outcome is logged. Failures of the launch script
    // itself propagate as LauncherException.

    // The home named by JVM_HOME. Refuses (with a logged warning) a file
    // without JVM_PROPERTIES, as do the three hint operations below.
    JVMMatch* verify(const VerifyClass& verifyClass, bool askVersion) const;
    // One home; null without a message when the home or JVM_EXE is empty.
    // The step that every candidate of every search phase goes through.
    JVMMatch* verify(const SString& home, const VerifyClass& verifyClass, bool askVersion) const;
    // Every PATH_HINT under every search root (or in $HOME).
    JVMMatch* verifyWithPathHints(const VerifyClass& verifyClass, bool askVersion) const;
    // Every directory listed by the variables that PLATFORM_HINT names.
    JVMMatch* verifyWithPlatformHints(const VerifyClass& verifyClass, bool askVersion) const;
    // With USUAL_LOCATIONS true, every home of the usual locations
    // (JVMLocations.h) but PATH, which verifyWithPlatformJVMPaths tries; the
    // found ones run only when mayRun allows it, JAVA_HOME as given. Homes
    // are recorded in `tried` by their real paths, so that the links to one
    // home and a PATH directory that leads to it try it once.
    JVMMatch* verifyWithUsualLocations(TriedHomes& tried, const VerifyClass& verifyClass,
                                       bool askVersion) const;
    // Every PATH directory, turned into a home: through homeFromExecutable
    // when the executable there leads to a real JDK, otherwise by cutting the
    // directory part of JVM_EXE off the PATH directory; each home is run
    // only when mayRun allows it. A home that `tried` already holds for this
    // file is skipped without a message, and every home tried is recorded
    // there; a home with and without its trailing "/" counts as one.
    JVMMatch* verifyWithPlatformJVMPaths(TriedHomes& tried, const VerifyClass& verifyClass,
                                         bool askVersion) const;
    // Whether the Java of a home that a search came upon may be run: false,
    // with the Planted outcome logged, when a user other than root and the
    // launcher's own could have planted or changed it
    // (PlatformImpl::plantedFileRisk; the directories of JVM_EXE and the home
    // itself get no help from a sticky bit). The environment variable
    // CVLAUNCH_TRUST_ALL_CANDIDATES=1 lets every home run.
    bool mayRun(const SString& home) const;
    // The Planted outcome for which mayRun refuses `home`, not logged; none
    // when the home may run.
    std::optional<ProbeOutcome> plantedOutcome(const SString& home) const;
    // Runs the verification class on `home` and checks its output; sets
    // JVM_HOME to `home` whatever the outcome. The only place that probes a
    // home: every verification of every search phase ends here. The run gets
    // /dev/null as standard input; one that has not ended after 60 seconds
    // (or the milliseconds of the environment variable
    // CVLAUNCH_VERIFY_TIME_LIMIT_MS, for tests) is killed with everything it
    // started (TimedOut), recorded in the verification cache (so that a later
    // search tries such a home that it came upon last). Whatever the run
    // leaves in its process group is killed when it ends, and at most 1 MiB
    // of its output is kept. A probe that cannot be run (its Java cannot be
    // started, its command not expanded) is Failed; only a signal ends the
    // search. The outcome is logged before it is returned.
    ProbeOutcome performVerify(const SString& home, const VerifyClass& verifyClass,
                               bool askVersion) const;

    // True when `output` holds the line "1739021872" and after it, one per
    // line (lines trimmed), every expected value in order. Lines before the
    // marker and after the last value do not matter; output that ends before
    // every value was compared fails. A missing marker is logged as an error.
    static bool verifyJVMOutput(const SString& output, const StringPairPtrDeque& expected);
    // The lines of `output` after the marker line, appended to `lines`; false
    // when there is no marker, with the last line of the output in
    // `lastLine`.
    static bool markedLines(const SString& output, StringDeque& lines, SString& lastLine);
    // True when the values, one per expected property in order, match.
    static bool valuesMatch(const StringDeque& values, const StringPairPtrDeque& expected);

    // The real JVM home of an executable found by path, for a JVM file whose
    // JVM_EXE is `jvmExe`: when `exePath` leads through a symbolic link (its
    // realpath differs from it) to a file whose path ends in "/" + jvmExe,
    // that path without the suffix ("/" when nothing is left). Otherwise, and
    // when the file does not exist, "". So /usr/bin/java linked to
    // /usr/lib/jvm/jdk-17/bin/java with jvmExe "bin/java" gives
    // /usr/lib/jvm/jdk-17.
    static SString homeFromExecutable(const SString& exePath, const SString& jvmExe);

    // JVM_EXE of `home`, its macros replaced.
    SString executableIn(const SString& home) const;

  private:
    // False, with the warning logged, when JVM_PROPERTIES has no first value.
    bool hasRequiredProperties() const;
    SString tagValue(const char* name) const;
    // What `values`, one per name, come to: Matched, Incomplete or Unfit (the
    // home then recorded in UnfitJVMs); the java.version among them is
    // written into JAVA_VERSION.
    ProbeOutcome judge(const SString& home, const StringDeque& names, const StringDeque& values,
                       const StringPairPtrDeque& expected, int exitStatus) const;
    // JVM_EXE with its macros replaced.
    SString executableName() const;
    // The probe of performVerify with `key`, or its values from the
    // verification cache (VerifyCache.h) when a clean probe of the same
    // executable and class reported them; throws what the launch script
    // throws.
    ProbeOutcome runVerification(const SString& home, const VerifyCache::Key& key,
                                 const VerifyClass& verifyClass, bool askVersion) const;
    // The expected values and the names of JVM_PROPERTIES, in order. An
    // entry without operator is skipped, one with an invalid version range
    // too, but then no JVM matches: false. Both are logged as warnings.
    bool readExpectedProperties(StringPairPtrDeque& expected, StringDeque& names) const;
    void logInvalidProperty(const SString& property, PropertyEntryStatus status) const;
    // The command of a probe of `home` that asks for `names`; the class path
    // is extracted now if it is not yet.
    SString buildVerifyCommand(const SString& home, const VerifyClass& verifyClass,
                               const StringDeque& names) const;
    // The required-properties test, then the log line that a hint search
    // for this file begins; `hints` ends that line. False when refused.
    bool startHintSearch(const char* hints) const;
    // The candidate homes of the hint operations, in the order to try them,
    // each announced by its "Checking ..." log line.
    JVMCandidates pathHintHomes() const;
    // The paths that a PATH_HINT stands for: under each search root, or for
    // "~/" in $HOME (none when HOME is empty, which is logged). In a
    // `pattern` the root or home matches just itself.
    void hintPaths(const SString& hint, const StringDeque& roots, bool pattern,
                   StringDeque& paths) const;
    // The path itself, or the directories that the pattern matches, newest
    // version first; a pattern without match is logged.
    void addPathHintHomes(const SString& path, bool pattern, JVMCandidates& candidates) const;
    // Appends the directories listed by the variable `hint`.
    void addPlatformHintHomes(const SString& hint, JVMCandidates& candidates) const;
    JVMCandidates platformJVMPathHomes(TriedHomes& tried) const;
    // The home that a PATH directory stands for.
    SString homeFromPathDirectory(const SString& directory) const;

    TagFile* m_tagFile;
};

using JVMFilePtrDeque = PtrDeque<JVMFile>;
using JVMFilePtrDE = PtrDE<JVMFile>;
