#include "jvm/JVMCandidates.h"

#include <algorithm>

#include "jvm/JVMFile.h"
#include "jvm/JVMMatch.h"
#include "jvm/VerifyCache.h"
#include "launcher/Launcher.h"
#include "platform/PlatformImpl.h"

JVMCandidates::JVMCandidates(bool cancelable) : m_cancelable(cancelable) {}

void JVMCandidates::add(const JVMFile& jvmFile, const SString& home, CandidateSource source,
                        const SString& origin) {
    JVMCandidate candidate{&jvmFile, home, source, origin, false};
    candidate.late = candidate.foundOnDisk() && VerifyCache::timedOut(jvmFile.executableIn(home));
    if (candidate.late) {
        Launcher::logInfo("Trying ", home, " last: its verification ran out of time before");
    }
    insert(candidate);
}

void JVMCandidates::insert(const JVMCandidate& candidate) {
    auto position = m_candidates.end();
    if (!candidate.late) {
        position = std::find_if(m_candidates.begin(), m_candidates.end(),
                                [](const JVMCandidate& other) { return other.late; });
    }
    m_candidates.insert(position, candidate);
}

JVMMatch* JVMCandidates::verifyFirst(const VerifyClass& verifyClass, bool askVersion,
                                     long& next) const {
    JVMMatch* match = nullptr;
    while (match == nullptr && next < static_cast<long>(m_candidates.size()) &&
           !(m_cancelable && PlatformImpl::m_canceled)) {
        const JVMCandidate& candidate = m_candidates[next++];
        SString announcement = candidate.announcement();
        if (!announcement.empty()) {
            Launcher::logMessage(announcement, LOG_INFO);
        }
        if (!candidate.foundOnDisk() || candidate.jvmFile->mayRun(candidate.home)) {
            match = candidate.jvmFile->verify(candidate.home, verifyClass, askVersion);
        }
    }
    return match;
}

JVMMatch* JVMCandidates::verifyFirst(const VerifyClass& verifyClass, bool askVersion) const {
    long next = 0;
    return verifyFirst(verifyClass, askVersion, next);
}
