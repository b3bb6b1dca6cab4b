#include "jvm/JVMCandidates.h"

#include <algorithm>

#include "jvm/JVMFile.h"
#include "jvm/JVMMatch.h"
#include "jvm/VerifyCache.h"
#include "launcher/Launcher.h"
#include "platform/PlatformImpl.h"

JVMCandidates::JVMCandidates(bool cancelable) : m_cancelable(cancelable) {}

void JVMCandidates::add(const JVMFile& jvmFile, const SString& home, const SString& announcement) {
    m_candidates.push_back(Candidate{&jvmFile, home, announcement, false, false});
}

void JVMCandidates::addFound(const JVMFile& jvmFile, const SString& home,
                             const SString& announcement) {
    bool late = VerifyCache::timedOut(jvmFile.executableIn(home));
    if (late) {
        Launcher::logInfo("Trying ", home, " last: its verification ran out of time before");
    }
    insert(Candidate{&jvmFile, home, announcement, true, late});
}

void JVMCandidates::insert(const Candidate& candidate) {
    auto position = m_candidates.end();
    if (!candidate.late) {
        position = std::find_if(m_candidates.begin(), m_candidates.end(),
                                [](const Candidate& other) { return other.late; });
    }
    m_candidates.insert(position, candidate);
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
