// The candidates of a description file: the homes that its path hints, its
// platform hints and the PATH directories stand for, and whether a home that
// a search came upon may be run.
#include <optional>

#include "base/StringDeque.h"
#include "base/TextUtils.h"
#include "jvm/JVMFile.h"
#include "jvm/JVMLocations.h"
#include "jvm/JVMMatch.h"
#include "jvm/TriedHomes.h"
#include "launcher/Launcher.h"
#include "platform/PlatformImpl.h"
#include "tagfile/TagFile.h"

namespace {

// Set to 1, it lets the search run every Java it comes upon, whoever could
// have put it there.
const char* const kTrustAllVariable = "CVLAUNCH_TRUST_ALL_CANDIDATES";

// The characters that make a path hint a pattern.
const char* const kGlobCharacters = "*?[";

// The variable of a platform hint that holds the caller's own Java.
const char* const kJavaHomeVariable = "JAVA_HOME";

// The names of a relative path: bin/java has 2.
int componentCount(const SString& path) {
    int count = 0;
    for (unsigned int i = 0; i < path.length(); ++i) {
        bool starts = path[i] != '/' && (i == 0 || path[i - 1] == '/');
        count += starts ? 1 : 0;
    }
    return count;
}

// A home without its trailing "/" (unless it is the root), so that the two
// spellings of one directory compare equal.
SString homeKey(const SString& home) {
    SString key(home);
    if (key.length() > 1 && stringEndsWith(key, "/") != SString::npos) {
        key.erase(key.length() - 1);
    }
    return key;
}

}  // namespace

bool JVMFile::mayRun(const SString& home) const {
    std::optional<ProbeOutcome> planted = plantedOutcome(home);
    if (planted) {
        planted->log();
    }
    return !planted;
}

std::optional<ProbeOutcome> JVMFile::plantedOutcome(const SString& home) const {
    if (PlatformImpl::getEnvironmentVariable(kTrustAllVariable).compare("1") == 0) {
        return std::nullopt;
    }
    SString risk =
        PlatformImpl::plantedFileRisk(executableIn(home), componentCount(executableName()));
    if (risk.empty()) {
        return std::nullopt;
    }
    return ProbeOutcome::planted(home, risk);
}

bool JVMFile::startHintSearch(const char* hints) const {
    if (!hasRequiredProperties()) {
        return false;
    }
    Launcher::logInfo("Searching for ", tagValue("DESC"), hints);
    return true;
}

JVMMatch* JVMFile::verifyWithPathHints(const VerifyClass& verifyClass, bool askVersion) const {
    return startHintSearch(" using path hints")
               ? pathHintHomes().verifyFirst(verifyClass, askVersion)
               : nullptr;
}

JVMMatch* JVMFile::verifyWithPlatformHints(const VerifyClass& verifyClass, bool askVersion) const {
    if (!startHintSearch(" using platform hints")) {
        return nullptr;
    }
    // A verification run may set environment variables (SET_ENV_FOR_WIZARD),
    // so a hint's variable is read only when the homes before it have failed.
    JVMCandidates candidates;
    long next = 0;
    JVMMatch* match = nullptr;
    unsigned int count = m_tagFile->getTagValueCount(kPlatformHintTagName);
    for (unsigned int i = 0; match == nullptr && i < count; ++i) {
        addPlatformHintHomes(m_tagFile->getTagValue(kPlatformHintTagName, i), candidates);
        match = candidates.verifyFirst(verifyClass, askVersion, next);
    }
    return match;
}

JVMMatch* JVMFile::verifyWithPlatformJVMPaths(TriedHomes& tried, const VerifyClass& verifyClass,
                                              bool askVersion) const {
    return startHintSearch(" using platform specific JVM Path hints")
               ? platformJVMPathHomes(tried).verifyFirst(verifyClass, askVersion)
               : nullptr;
}

JVMMatch* JVMFile::verifyWithUsualLocations(TriedHomes& tried, const VerifyClass& verifyClass,
                                            bool askVersion) const {
    if (!m_tagFile->getBoolTagValue(kUsualLocationsTagName, false) ||
        !startHintSearch(" in the usual locations")) {
        return nullptr;
    }
    JVMCandidates candidates;
    for (const JVMLocations::Home& found : JVMLocations::homes(false)) {
        // Links such as default-java lead to a home that another name gives.
        SString real = PlatformImpl::resolvePath(found.home);
        if (!tried.firstTry(*this, homeKey(real.empty() ? found.home : real))) {
            continue;
        }
        bool javaHome = found.location.compare(JVMLocations::kJavaHome) == 0;
        candidates.add(*this, found.home,
                       javaHome ? CandidateSource::CallerJavaHome : CandidateSource::UsualLocation,
                       found.location);
    }
    return candidates.verifyFirst(verifyClass, askVersion);
}

JVMCandidates JVMFile::pathHintHomes() const {
    StringDeque roots;
    PlatformImpl::getJVMSearchPartitions(roots);
    JVMCandidates candidates;
    unsigned int count = m_tagFile->getTagValueCount(kPathHintTagName);
    for (unsigned int i = 0; i < count; ++i) {
        SString hint = m_tagFile->getTagValue(kPathHintTagName, i);
        bool pattern = hint.find_first_of(kGlobCharacters) != SString::npos;
        StringDeque paths;
        hintPaths(hint, roots, pattern, paths);
        for (long p = 0; p < paths.count; ++p) {
            addPathHintHomes(paths.at(p), pattern, candidates);
        }
    }
    return candidates;
}

void JVMFile::hintPaths(const SString& hint, const StringDeque& roots, bool pattern,
                        StringDeque& paths) const {
    if (hint.find("~/") == 0) {
        SString home = PlatformImpl::getEnvironmentVariable("HOME");
        if (home.empty()) {
            Launcher::logInfo("Skipping path hint ", hint, ": HOME is not set");
            return;
        }
        paths.push_back(
            pathInDirectory(pattern ? JVMLocations::globLiteral(home) : home, hint.substr(2)));
        return;
    }
    SString relative(hint, hint.find('/') == 0 ? 1 : 0);
    for (long r = 0; r < roots.count; ++r) {
        const SString& root = roots.at(r);
        paths.push_back(
            pathInDirectory(pattern ? JVMLocations::globLiteral(root) : root, relative));
    }
}

void JVMFile::addPathHintHomes(const SString& path, bool pattern, JVMCandidates& candidates) const {
    if (!pattern) {
        candidates.add(*this, path, CandidateSource::PathHint);
        return;
    }
    StringDeque matches;
    PlatformImpl::matchDirectories(path, matches);
    if (matches.count == 0) {
        Launcher::logInfo("Path hint ", path, " matches no directory");
    }
    for (const SString& home : JVMLocations::newestFirst(matches)) {
        candidates.add(*this, home, CandidateSource::PathHint, path);
    }
}

void JVMFile::addPlatformHintHomes(const SString& hint, JVMCandidates& candidates) const {
    StringDeque directories;
    PlatformImpl::getPlatformHint(directories, hint);
    CandidateSource source = hint.compare(kJavaHomeVariable) == 0 ? CandidateSource::CallerJavaHome
                                                                  : CandidateSource::PlatformHint;
    for (long d = 0; d < directories.count; ++d) {
        const SString& directory = directories.at(d);
        if (!directory.empty()) {
            candidates.add(*this, directory, source, hint);
        }
    }
}

JVMCandidates JVMFile::platformJVMPathHomes(TriedHomes& tried) const {
    StringDeque directories;
    PlatformImpl::getPlatformJVMPaths(directories);
    JVMCandidates candidates;
    for (long d = 0; d < directories.count; ++d) {
        const SString& directory = directories.at(d);
        if (directory.empty()) {
            continue;
        }
        // Several PATH entries (/bin, /usr/bin and the JDK's own bin, say)
        // often lead to one JDK.
        SString home = homeFromPathDirectory(directory);
        if (tried.firstTry(*this, homeKey(home))) {
            candidates.add(*this, home, CandidateSource::Path, directory);
        }
    }
    return candidates;
}

SString JVMFile::homeFromPathDirectory(const SString& directory) const {
    SString jvmExe = tagValue(kJvmExeTagName);
    unsigned int lastSeparator = jvmExe.rfind('/');
    SString linkedHome =
        homeFromExecutable(pathInDirectory(directory, lastPathComponent(jvmExe)), jvmExe);
    if (!linkedHome.empty()) {
        return linkedHome;
    }
    if (lastSeparator == SString::npos) {
        return directory;
    }
    // A PATH entry such as /opt/jdk/bin stands for the home /opt/jdk/ when
    // JVM_EXE is bin/java.
    // The cut must fall on a whole component: /usr/sbin/ is no home /usr/s.
    SString home = pathInDirectory(directory, "");
    unsigned int cut = stringEndsWith(home, jvmExe.substr(0, lastSeparator + 1).c_str());
    if (cut != SString::npos && (cut == 0 || home[cut - 1] == '/')) {
        home.erase(cut);
    }
    return home;
}

SString JVMFile::homeFromExecutable(const SString& exePath, const SString& jvmExe) {
    if (jvmExe.empty()) {
        return SString();
    }
    SString target = PlatformImpl::resolvePath(exePath);
    if (target.empty()) {
        return SString();
    }
    unsigned int cut = stringEndsWith(target, joinText('/', jvmExe).c_str());
    if (target.compare(exePath) == 0 || cut == SString::npos) {
        return SString();
    }
    return cut == 0 ? SString("/") : target.substr(0, cut);
}
