#include "JVMCandidates.h"

#include "JVMFile.h"
#include "JVMMatch.h"
#include "Launcher.h"
#include "PlatformImpl.h"

JVMCandidates::JVMCandidates(bool cancelable) : m_cancelable(cancelable) {}

void JVMCandidates::add(const JVMFile& jvmFile, const SString& home, const SString& announcement) {
    m_candidates.push_back(Candidate{&jvmFile, home, announcement, false});
}

void JVMCandidates::addFound(const JVMFile& jvmFile, const SString& home,
                             const SString& announcement) {
    m_candidates.push_back(Candidate{&jvmFile, home, announcement, true});
}

JVMMatch* JVMCandidates::verifyFirst(const VerifyClass& verifyClass, long& next) const {
    JVMMatch* match = nullptr;
    while (match == nullptr && next < static_cast<long>(m_candidates.size()) &&
           !(m_cancelable && PlatformImpl::m_canceled)) {
        const Candidate& candidate = m_candidates[next++];
        if (!candidate.announcement.empty()) {
            Launcher::logMessage(candidate.announcement, LOG_INFO);
        }
        if (!candidate.found || candidate.jvmFile->mayRun(candidate.home)) {
            match = candidate.jvmFile->verify(candidate.home, verifyClass);
        }
    }
    return match;
}

JVMMatch* JVMCandidates::verifyFirst(const VerifyClass& verifyClass) const {
    long next = 0;
    return verifyFirst(verifyClass, next);
}
