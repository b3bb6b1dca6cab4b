#pragma once

// Candidate JVM homes in the order in which a search tries them, each with
// the description file that it must satisfy and where it came from
// (JVMCandidate.h), and the one loop that verifies them. Every phase of a
// search (the user's Java home, the path hints, the platform hints, the PATH
// directories, the disk walk) produces such a list; its verification ends at
// the first match.

#include <vector>

#include "base/SString.h"
#include "jvm/JVMCandidate.h"

class JVMMatch;
class VerifyClass;

class JVMCandidates {
  public:
    // With `cancelable`, verification ends before the next candidate once
    // PlatformImpl::m_canceled is set (the candidates of a disk walk).
    explicit JVMCandidates(bool cancelable = false);

    // Appends a candidate; `origin` as in JVMCandidate. The file is not owned
    // and must outlive the list. One found on disk whose Java, as it is now,
    // ran out of time at its last verification (VerifyCache::timedOut) goes
    // after every other candidate, which is logged, so that a hanging Java
    // costs a search no time while another one may do.
    void add(const JVMFile& jvmFile, const SString& home, CandidateSource source,
             const SString& origin = SString());

    // Verifies the candidates from `next` on, in order, each against its own
    // description file (JVMFile::verify, asking for java.version when
    // `askVersion` is set), after its announcement, skipping the found ones
    // that may not run, and returns the first match, which the caller owns,
    // or null. `next` is left after the candidate that matched, so that a
    // further call goes on with the rest; candidates added in between come
    // after them. Failures of a verification run propagate as
    // LauncherException.
    JVMMatch* verifyFirst(const VerifyClass& verifyClass, bool askVersion, long& next) const;
    // The same from the first candidate on.
    JVMMatch* verifyFirst(const VerifyClass& verifyClass, bool askVersion) const;

  private:
    // Puts a late candidate at the end, any other before the late ones.
    void insert(const JVMCandidate& candidate);

    std::vector<JVMCandidate> m_candidates;
    bool m_cancelable;
};
