#pragma once

// The JVM description files of the launcher and the search for a JVM that
// satisfies one of them.
//
// search tries, in this order, until a candidate verifies:
//   1. the Java home given with "-cv:javahome" (Launcher::m_userJavaHome),
//      against every description file in order;
//   2. each description file's own hints (platform hints, path hints, the
//      usual locations when USUAL_LOCATIONS asks for them, PATH
//      directories), file by file in order; this phase ends after the first
//      file whose "SEARCH_ALL" is true, and later files' hints are not tried;
//   3. when that last file had "SEARCH_ALL" true, a walk over the whole file
//      system for the first "JVM_EXE" of every description file.
// searchAll does the walk alone and verifies every candidate it found.
// Every phase produces its candidate homes as a JVMCandidates list, which
// verifies them in order up to the first match.
//
// During the walk, candidates are collected per description file (duplicate
// homes dropped) and verified after it, except that in stop-at-first mode the
// first description file's candidates are verified at once and the first one
// that verifies ends the walk; one whose Java ran out of time at its last
// verification is collected instead, and comes after the others
// (JVMCandidates::add). A found executable that is a symbolic link into
// a real JVM home gives that home as the candidate, so /usr/bin/java leads to
// the JDK it points at rather than to /usr.
//
// The homes that the walk, the usual locations and the PATH directories turn
// up are run only when no other user could have planted their Java
// (JVMFile::mayRun); the user's home, JAVA_HOME and the hints of the
// description files are run as given.

#include "base/SString.h"
#include "base/StringDeque.h"
#include "jvm/JVMCandidates.h"
#include "jvm/JVMFile.h"
#include "jvm/JVMMatch.h"
#include "jvm/TriedHomes.h"
#include "jvm/UnverifiedJVMMatch.h"
#include "jvm/VerifyClass.h"
#include "platform/FileFindListener.h"

class JVMFiles : public FileFindListener {
  public:
    // No description files and no verification class.
    JVMFiles();
    ~JVMFiles() override;
    JVMFiles(const JVMFiles&) = delete;
    JVMFiles& operator=(const JVMFiles&) = delete;

    // Appends a description file; it belongs to this object from then on.
    // The order of addition is the order of preference.
    void addJVMFile(JVMFile* jvmFile);
    long getJVMFileCount() const;
    // The description file at index. Throws LauncherException with the
    // catalogue text "Invalid JVM file id." for an index out of range.
    const JVMFile* getJVMFile(long index) const;

    // Sets the class with which every verification runs; writeVerifyJar then
    // changes nothing.
    void setVerifyClass(const VerifyClass& verifyClass);
    // When no verification class is set, uses the "Verify" class of the
    // payload's verification archive (file type 5), extracted into a new
    // temporary directory when the first probe needs it, or else of the
    // archive installed with the launcher (Launcher::getVerifyClass). Without
    // either no class is set, and every verification fails.
    void writeVerifyJar();
    // The class of the verifications: writeVerifyJar's, or the one set.
    const VerifyClass& getVerifyClass() const { return m_verifyClass; }

    // Finds the first suitable JVM (see the top of this file) and appends at
    // most one match, which then belongs to `matches`. Finding nothing is no
    // error: `matches` is left unchanged. Throws LauncherException when the
    // verification archive cannot be extracted or a verification run cannot
    // be started. With `askVersion` every probe also asks for java.version
    // (JVMFile::verify).
    void search(JVMMatchPtrDeque& matches, bool askVersion);
    // The file-system walk alone, without the user home and the hints.
    // Appends every verified (description file, home) pair; with
    // stopAtFirstMatch, only the first.
    void searchAll(JVMMatchPtrDeque& matches, bool stopAtFirstMatch, bool askVersion);
    // Walks the file system for the description files' executables and
    // verifies the candidates, as set up by search or searchAll.
    void exhaustiveSearch(JVMMatchPtrDeque& matches);

    // Called by the walk for every path that ends in one of the executables.
    // Returns true, which stops the walk, once a match has been stored.
    bool foundFile(const SString& path) override;
    // Appends a candidate home to the description file's entry, making the
    // entry when the file has none yet.
    void addUnverifiedMatch(JVMFile* jvmFile, const SString& home);

    JVMFilePtrDeque m_jvmFileDeque;  // owned
    UnverifiedJVMMatchPtrDeque m_unverifiedMatches;
    // The match of the user home, the hints or the walk; owned until search
    // hands it to the caller's deque, null otherwise.
    JVMMatch* m_match;
    bool m_stopAtFirstMatch;
    VerifyClass m_verifyClass;
    // Whether the probes of the running search ask for java.version.
    bool m_askVersion;

  private:
    // Deletes a match left over from an interrupted search.
    void resetMatch();
    // Appends m_match, if any, to the matches and lets go of it.
    void takeMatch(JVMMatchPtrDeque& matches);
    void verifyUserJavaHome();
    // Returns whether the last description file tried had "SEARCH_ALL" true.
    bool verifyWithHints();
    // The first "JVM_EXE" of every description file, without duplicates.
    void collectExecutableNames(StringDeque& names) const;
    // The candidate home of a found path for a description file, or "" when
    // the path is not that file's executable.
    SString candidateHome(const JVMFile& jvmFile, const SString& path) const;
    // The candidates that the walk collected, file by file in the order of
    // m_unverifiedMatches; verification stops at the cancel flag.
    JVMCandidates walkCandidates() const;
    void verifyUnverifiedMatches(JVMMatchPtrDeque& matches);

    // What the running phase has taken up, so that it tries a home once per
    // file: the homes of the PATH directories during the hint phase, and
    // every candidate of the walk, whether verified at once or collected.
    TriedHomes m_triedHomes;
};
