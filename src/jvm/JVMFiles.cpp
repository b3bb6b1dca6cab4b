#include "jvm/JVMFiles.h"

#include "base/TextUtils.h"
#include "jvm/VerifyCache.h"
#include "launcher/Launcher.h"
#include "launcher/LauncherException.h"
#include "platform/PlatformImpl.h"
#include "platform/SubStatusWrapper.h"
#include "tagfile/TagFile.h"

namespace {

const char kSearchAllTagName[] = "SEARCH_ALL";
const char kDescTagName[] = "DESC";

SString firstValue(const JVMFile& jvmFile, const char* name) {
    return jvmFile.getTagFile().getTagValue(name, 0);
}

}  // namespace

JVMFiles::JVMFiles() : m_match(nullptr), m_stopAtFirstMatch(true), m_askVersion(false) {}

JVMFiles::~JVMFiles() {
    delete m_match;
}

void JVMFiles::addJVMFile(JVMFile* jvmFile) {
    m_jvmFileDeque.push_back(jvmFile, true);
}

long JVMFiles::getJVMFileCount() const {
    return m_jvmFileDeque.count;
}

const JVMFile* JVMFiles::getJVMFile(long index) const {
    if (!m_jvmFileDeque.validIndex(index)) {
        throw LauncherException(PlatformImpl::getMessageText(MSG_INVALID_JVM_FILE_ID));
    }
    return m_jvmFileDeque.at(index);
}

void JVMFiles::setVerifyClass(const VerifyClass& verifyClass) {
    m_verifyClass = verifyClass;
}

void JVMFiles::writeVerifyJar() {
    if (!m_verifyClass.isSet()) {
        m_verifyClass = Launcher::getVerifyClass();
    }
}

void JVMFiles::search(JVMMatchPtrDeque& matches, bool askVersion) {
    resetMatch();
    m_askVersion = askVersion;
    writeVerifyJar();
    verifyUserJavaHome();
    bool walkAllowed = verifyWithHints();
    if (m_match == nullptr && walkAllowed) {
        m_stopAtFirstMatch = true;
        exhaustiveSearch(matches);
    }
    takeMatch(matches);
}

void JVMFiles::searchAll(JVMMatchPtrDeque& matches, bool stopAtFirstMatch, bool askVersion) {
    resetMatch();
    m_askVersion = askVersion;
    writeVerifyJar();
    m_stopAtFirstMatch = stopAtFirstMatch;
    exhaustiveSearch(matches);
    takeMatch(matches);
}

void JVMFiles::exhaustiveSearch(JVMMatchPtrDeque& matches) {
    m_unverifiedMatches.clear();
    m_triedHomes.clear();
    StringDeque names;
    collectExecutableNames(names);
    SubStatusWrapper subStatus;
    PlatformImpl::setUISubStatus(SUBSTATUS_SCANNING_DISKS, SString());
    Launcher::logInfo("Beginning exhaustive search");
    PlatformImpl::findFiles(names, *this);
    if (m_match == nullptr) {
        verifyUnverifiedMatches(matches);
    }
}

bool JVMFiles::foundFile(const SString& path) {
    for (long i = 0; i < m_jvmFileDeque.count && m_match == nullptr; i++) {
        JVMFile* jvmFile = m_jvmFileDeque.at(i);
        SString home = candidateHome(*jvmFile, path);
        // Two links to one JVM give one candidate per file.
        if (home.empty() || !m_triedHomes.firstTry(*jvmFile, home)) {
            continue;
        }
        // A Java that ran out of time before waits for the end of the walk,
        // where it comes after the other candidates.
        if (i == 0 && m_stopAtFirstMatch && !VerifyCache::timedOut(jvmFile->executableIn(home))) {
            JVMCandidates candidate;
            candidate.add(*jvmFile, home, CandidateSource::DiskWalk);
            m_match = candidate.verifyFirst(m_verifyClass, m_askVersion);
        } else {
            addUnverifiedMatch(jvmFile, home);
        }
    }
    return m_match != nullptr;
}

void JVMFiles::addUnverifiedMatch(JVMFile* jvmFile, const SString& home) {
    if (m_unverifiedMatches.addMatch(*jvmFile, home)) {
        return;
    }
    UnverifiedJVMMatch* entry = new UnverifiedJVMMatch(*jvmFile);
    m_unverifiedMatches.push_back(entry);
    entry->addJVMHome(home);
}

void JVMFiles::resetMatch() {
    delete m_match;
    m_match = nullptr;
}

void JVMFiles::takeMatch(JVMMatchPtrDeque& matches) {
    if (m_match != nullptr) {
        matches.push_back(m_match);
        m_match = nullptr;
    }
}

void JVMFiles::verifyUserJavaHome() {
    const SString& home = Launcher::m_userJavaHome;
    if (home.empty()) {
        return;
    }
    Launcher::logInfo("Checking user specified Java home directory => ", home);
    JVMCandidates candidates;
    for (long i = 0; i < m_jvmFileDeque.count; i++) {
        candidates.add(*m_jvmFileDeque.at(i), home, CandidateSource::UserJavaHome);
    }
    m_match = candidates.verifyFirst(m_verifyClass, m_askVersion);
}

bool JVMFiles::verifyWithHints() {
    if (m_match != nullptr) {
        return false;
    }
    Launcher::logInfo("Initiating JVM search based on hints...");
    m_triedHomes.clear();
    bool searchAll = false;
    for (long i = 0; i < m_jvmFileDeque.count && m_match == nullptr && !searchAll; i++) {
        const JVMFile* jvmFile = m_jvmFileDeque.at(i);
        searchAll = jvmFile->getTagFile().getBoolTagValue(kSearchAllTagName, false);
        SubStatusWrapper subStatus;
        PlatformImpl::setUISubStatus(SUBSTATUS_SEARCHING, firstValue(*jvmFile, kDescTagName));
        m_match = jvmFile->verifyWithPlatformHints(m_verifyClass, m_askVersion);
        if (m_match == nullptr) {
            m_match = jvmFile->verifyWithPathHints(m_verifyClass, m_askVersion);
        }
        if (m_match == nullptr) {
            m_match = jvmFile->verifyWithUsualLocations(m_triedHomes, m_verifyClass, m_askVersion);
        }
        if (m_match == nullptr) {
            m_match =
                jvmFile->verifyWithPlatformJVMPaths(m_triedHomes, m_verifyClass, m_askVersion);
        }
    }
    return searchAll;
}

void JVMFiles::collectExecutableNames(StringDeque& names) const {
    for (long i = 0; i < m_jvmFileDeque.count; i++) {
        SString name = firstValue(*m_jvmFileDeque.at(i), kJvmExeTagName);
        bool known = name.empty();
        for (long j = 0; j < names.count && !known; j++) {
            known = names.at(j).compare(name) == 0;
        }
        if (!known) {
            names.push_back(name);
        }
    }
}

SString JVMFiles::candidateHome(const JVMFile& jvmFile, const SString& path) const {
    SString exe = firstValue(jvmFile, kJvmExeTagName);
    // Only a whole path component counts: "bin/java" names /opt/jdk/bin/java
    // but not /opt/jdkxbin/java, which another name may have found.
    unsigned int end = exe.empty() ? SString::npos : stringEndsWith(path, exe.c_str());
    if (end == SString::npos || end == 0 || path[end - 1] != '/') {
        return SString();
    }
    SString realHome = JVMFile::homeFromExecutable(path, exe);
    if (!realHome.empty()) {
        return realHome;
    }
    return end == 1 ? SString("/") : path.substr(0, end - 1);
}

JVMCandidates JVMFiles::walkCandidates() const {
    JVMCandidates candidates(true);
    for (long i = 0; i < m_unverifiedMatches.count; i++) {
        const UnverifiedJVMMatch* entry = m_unverifiedMatches.at(i);
        for (long j = 0; j < entry->m_sdqJVMHomes.count; j++) {
            candidates.add(*entry->m_jvmFile, entry->m_sdqJVMHomes.at(j),
                           CandidateSource::DiskWalk);
        }
    }
    return candidates;
}

void JVMFiles::verifyUnverifiedMatches(JVMMatchPtrDeque& matches) {
    Launcher::logInfo("Processing unverified matches.\n");
    JVMCandidates candidates = walkCandidates();
    long next = 0;
    while (JVMMatch* match = candidates.verifyFirst(m_verifyClass, m_askVersion, next)) {
        matches.push_back(match);
        if (m_stopAtFirstMatch) {
            return;
        }
    }
}
