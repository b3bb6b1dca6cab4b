#pragma once

// Candidate JVM homes in the order in which a search tries them, each with
// the description file that it must satisfy, and the one loop that verifies
// them. Every phase of a search (the user's Java home, the path hints, the
// platform hints, the PATH directories, the disk walk) produces such a list;
// its verification ends at the first match.

#include <vector>

#include "base/SString.h"

class JVMFile;
class JVMMatch;
class VerifyClass;

class JVMCandidates {
  public:
    // With `cancelable`, verification ends before the next candidate once
    // PlatformImpl::m_canceled is set (the candidates of a disk walk).
    explicit JVMCandidates(bool cancelable = false);

    // Appends a candidate. The file is not owned and must outlive the list.
    // A non-empty `announcement` is logged right before the home is verified.
    void add(const JVMFile& jvmFile, const SString& home, const SString& announcement = SString());
    // Appends a candidate that the search came upon (a PATH directory, the
    // disk walk) rather than one that was named to it: it is verified only
    // when no other user could have planted its Java (JVMFile::mayRun). One
    // whose Java, as it is now, ran out of time at its last verification
    // (VerifyCache::timedOut) goes after every other candidate, which is
    // logged, so that a hanging Java costs a search no time while another
    // one may do.
    void addFound(const JVMFile& jvmFile, const SString& home,
                  const SString& announcement = SString());

    // Verifies the candidates from `next` on, in order, each against its own
    // description file (JVMFile::verify), skipping the found ones that may
    // not run, and returns the first match, which the caller owns, or null.
    // `next` is left after the candidate that matched, so that a further call
    // goes on with the rest; candidates added in between come after them.
    // Failures of a verification run propagate as LauncherException.
    JVMMatch* verifyFirst(const VerifyClass& verifyClass, long& next) const;
    // The same from the first candidate on.
    JVMMatch* verifyFirst(const VerifyClass& verifyClass) const;

  private:
    struct Candidate {
        const JVMFile* jvmFile;
        SString home;
        SString announcement;
        bool found;
        bool late;  // tried after the others
    };

    // Puts a late candidate at the end, any other before the late ones.
    void insert(const Candidate& candidate);

    std::vector<Candidate> m_candidates;
    bool m_cancelable;
};
