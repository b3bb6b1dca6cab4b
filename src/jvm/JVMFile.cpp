#include "jvm/JVMFile.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "base/StringDeque.h"
#include "base/TextUtils.h"
#include "jvm/JVMMatch.h"
#include "jvm/TriedHomes.h"
#include "jvm/UnfitJVMs.h"
#include "jvm/VerifyCache.h"
#include "jvm/VerifyClass.h"
#include "launcher/Launcher.h"
#include "launcher/LauncherException.h"
#include "launchscript/CommandText.h"
#include "launchscript/LaunchScript.h"
#include "payload/LauncherInputFiles.h"
#include "platform/PlatformImpl.h"
#include "platform/SubStatusWrapper.h"
#include "tagfile/TagFile.h"

const char* jvmPropertiesTagName = "JVM_PROPERTIES";
const char* pathHintTagName = "PATH_HINT";
const char* platformHintTagName = "PLATFORM_HINT";
const char* jvmExeTagName = "JVM_EXE";

namespace {

// The first line of the verification class's output.
const char* const verificationMarker = "1739021872";

// How long one verification run may take: a broken java that waits for input
// or never ends must not stop the search. The variable, in milliseconds,
// shortens the limit for tests; read at every verification.
const long verifyTimeLimitMs = 60000;
const char* const verifyTimeLimitVariable = "CV_VERIFY_TIME_LIMIT_MS";
// The verification class prints a few short lines; a java that prints
// without end must not exhaust the launcher.
const size_t verifyOutputLimit = 1 << 20;

// The limit in force: the variable's value when it is a positive number,
// otherwise verifyTimeLimitMs.
long verifyTimeLimit() {
    SString text = PlatformImpl::getEnvironmentVariable(verifyTimeLimitVariable);
    char* end = nullptr;
    long limit = strtol(text.c_str(), &end, 10);
    return !text.empty() && *end == '\0' && limit > 0 ? limit : verifyTimeLimitMs;
}

void logVerifyTimedOut(const SString& home, long limitMs) {
    char seconds[32];
    snprintf(seconds, sizeof seconds, "%g", limitMs / 1000.0);
    Launcher::logMessage(joinText("Verification of ", home, " did not end within ", seconds,
                                  " seconds; it was stopped."),
                         LOG_WARNING);
}

const char* const javaVersionProperty = "java.version";
// True when the launch script of the payload needs the version of the JVM
// it starts (for a class-data archive).
bool versionWanted() {
    const LaunchScript* script = Launcher::m_inputFiles.m_launchScript;
    return script != nullptr && script->usesClassDataArchive();
}

// Set to 1, it lets the search run every Java it comes upon, whoever could
// have put it there.
const char* const trustAllVariable = "CVLAUNCH_TRUST_ALL_CANDIDATES";

// The names of a relative path: bin/java has 2.
int componentCount(const SString& path) {
    int count = 0;
    for (unsigned int i = 0; i < path.length(); ++i) {
        bool starts = path[i] != '/' && (i == 0 || path[i - 1] == '/');
        count += starts ? 1 : 0;
    }
    return count;
}

// `name` inside `directory`; an empty directory (a description file without
// JVM_HOME) stands for the root.
SString pathUnder(const SString& directory, const SString& name) {
    return pathInDirectory(directory.empty() ? SString("/") : directory, name);
}

// The characters that make a path hint a pattern.
const char* const globCharacters = "*?[";

// `text` as a pattern that matches just itself.
SString globLiteral(const SString& text) {
    SString literal;
    for (unsigned int i = 0; i < text.length(); ++i) {
        char c = text[i];
        if (c != '\0' && strchr("*?[\\", c) != nullptr) {
            literal += '\\';
        }
        literal += c;
    }
    return literal;
}

// The directories that a pattern matched in the order to try them: the newest
// version first, that is their names in descending natural order
// (jdk-21, jdk-17.0.10, jdk-17.0.9), and the whole paths where names are equal.
std::vector<SString> newestFirst(const StringDeque& directories) {
    std::vector<SString> sorted;
    for (long i = 0; i < directories.count; ++i) {
        sorted.push_back(directories.at(i));
    }
    std::sort(sorted.begin(), sorted.end(), [](const SString& first, const SString& second) {
        int order = naturalCompare(lastPathComponent(first), lastPathComponent(second));
        return (order != 0 ? order : naturalCompare(first, second)) > 0;
    });
    return sorted;
}

// The index of the first expected property whose value does not match, of
// those that have a value; expected.count when they all match.
long firstMismatch(const StringDeque& values, const StringPairPtrDeque& expected) {
    long i = 0;
    while (i < expected.count && i < values.count && expected.at(i)->matches(values.at(i))) {
        ++i;
    }
    return i < values.count ? i : expected.count;
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

JVMFile::JVMFile(TagFile& tagFile) : m_tagFile(&tagFile) {}

JVMFile::~JVMFile() {}

TagFile& JVMFile::getTagFile() const {
    return *m_tagFile;
}

SString JVMFile::resolve(const SString& text) const {
    return MacroHandler::resolve(text, '@');
}

void JVMFile::processMacro(SString& text, char, unsigned int start, unsigned int& end) const {
    SString name = text.substr(start + 1, end - start - 1);
    SString value = tagValue(name.c_str());
    bool home = name.compare("JVM_HOME") == 0;
    // The home that a description file gives loses one trailing backslash.
    // A file that the launcher wrote (a match file, an installed JVM's file)
    // names itself in JVM_FILE: its home was found on disk and keeps every
    // character.
    if (home && tagValue("JVM_FILE").empty() && stringEndsWith(value, "\\") != SString::npos) {
        value.erase(value.length() - 1);
    }
    // The home and the file are data, whatever characters they hold.
    if (home || name.compare("JVM_FILE") == 0) {
        value = CommandText::value(value);
    }
    text.replace(start, end - start + 1, value);
}

SString JVMFile::tagValue(const char* name) const {
    return m_tagFile->getTagValue(name, 0);
}

bool JVMFile::hasRequiredProperties() const {
    if (!tagValue(jvmPropertiesTagName).empty()) {
        return true;
    }
    Launcher::logMessage(joinText("Unable to verify ", m_tagFile->fileName, " because the ",
                                  jvmPropertiesTagName, " tag was not specified."),
                         LOG_WARNING);
    return false;
}

JVMMatch* JVMFile::verify(const VerifyClass& verifyClass) const {
    if (!hasRequiredProperties()) {
        return nullptr;
    }
    return verify(tagValue("JVM_HOME"), verifyClass);
}

JVMMatch* JVMFile::verify(const SString& home, const VerifyClass& verifyClass) const {
    SString jvmExe = tagValue(jvmExeTagName);
    if (jvmExe.empty() || home.empty()) {
        return nullptr;
    }
    SubStatusWrapper subStatus;
    SString description = tagValue("DESC");
    PlatformImpl::setUISubStatus(SUBSTATUS_VERIFYING, description);

    SString executable = pathUnder(home, jvmExe);
    Launcher::logInfo("Verifying JVM at ", executable, "\n   for JVM: ", description);
    if (!PlatformImpl::fileExists(executable)) {
        Launcher::logInfo("", executable, " does not exist");
        PlatformImpl::advanceUIProgress(2);
        return nullptr;
    }
    if (!performVerify(home, verifyClass)) {
        return nullptr;
    }
    Launcher::logInfo("Found matching JVM at ", home);
    return new JVMMatch(home, *m_tagFile);
}

bool JVMFile::mayRun(const SString& home) const {
    if (PlatformImpl::getEnvironmentVariable(trustAllVariable).compare("1") == 0) {
        return true;
    }
    SString risk =
        PlatformImpl::plantedFileRisk(executableIn(home), componentCount(executableName()));
    if (risk.empty()) {
        return true;
    }
    Launcher::logMessage(joinText("Skipping JVM at ", home, ": ", risk), LOG_WARNING);
    return false;
}

bool JVMFile::performVerify(const SString& home, const VerifyClass& verifyClass) const {
    m_tagFile->setTagValue("JVM_HOME", home);
    bool verified;
    try {
        verified = runVerification(home, verifyClass);
    } catch (const LauncherException& e) {
        // One candidate that cannot be probed ends nothing but its own try;
        // a signal ends the search.
        PlatformImpl::throwIfInterrupted();
        Launcher::logMessage(joinText("Verification of ", home, " failed: ", e.message),
                             LOG_WARNING);
        verified = false;
    }
    PlatformImpl::advanceUIProgress(6);
    return verified;
}

void JVMFile::recordVersion(const StringDeque& names, const StringDeque& values) const {
    for (long i = 0; i < names.count && i < values.count; ++i) {
        if (names.at(i).compare(javaVersionProperty) == 0) {
            m_tagFile->setTagValue("JAVA_VERSION", values.at(i));
        }
    }
}

bool JVMFile::runVerification(const SString& home, const VerifyClass& verifyClass) const {
    StringPairPtrDeque expected;
    StringDeque names;
    if (!readExpectedProperties(expected, names)) {
        return false;
    }
    // Asked for after the expected ones, so that they keep their places.
    if (versionWanted() && !names.contains(javaVersionProperty)) {
        names.push_back(javaVersionProperty);
    }
    VerifyCache::Key key = VerifyCache::keyOf(executableIn(home), verifyClass);
    StringDeque values;
    if (VerifyCache::lookup(key, names, values)) {
        Launcher::logInfo("The properties of ", key.executable,
                          " come from the verification cache");
        recordVersion(names, values);
        return fits(home, values, expected);
    }
    LaunchScript script(buildVerifyCommand(home, verifyClass, names), true, false);
    ProcessOptions options;
    options.timeLimitMs = verifyTimeLimit();
    options.nullInput = true;
    options.killGroupAtEnd = true;
    options.captureLimit = verifyOutputLimit;
    // Apart from a run that was stopped, the exit code says nothing for the
    // match: only the output decides. Only a clean run is remembered.
    int exitCode = script.execute(*this, nullptr, false, options);
    if (exitCode == processTimedOut) {
        logVerifyTimedOut(home, options.timeLimitMs);
        VerifyCache::storeTimeout(key);
        return false;
    }
    if (!markedLines(script.m_stdOut, values)) {
        return false;
    }
    if (exitCode == 0 && values.count >= names.count) {
        VerifyCache::store(key, names, values);
    }
    recordVersion(names, values);
    return fits(home, values, expected);
}

SString JVMFile::executableName() const {
    return CommandText::plain(resolve(tagValue(jvmExeTagName)));
}

SString JVMFile::executableIn(const SString& home) const {
    return pathUnder(home, executableName());
}

SString JVMFile::buildVerifyCommand(const SString& home, const VerifyClass& verifyClass,
                                    const StringDeque& names) const {
    // The home comes from the disk and the class from the caller: they may
    // hold any character, and are data.
    SString command = joinText(CommandText::value(executableIn(home)), " %CP%(",
                               quoteArgument(CommandText::value(verifyClass.classpath())), ") ",
                               CommandText::value(verifyClass.className()));
    for (long i = 0; i < names.count; ++i) {
        command += ' ';
        command += names.at(i);
    }
    return command;
}

void JVMFile::logInvalidProperty(const SString& property, PropertyEntryStatus status) const {
    bool range = status == PropertyEntryStatus::InvalidVersion;
    Launcher::logMessage(joinText("Invalid ", range ? "version range in " : "",
                                  jvmPropertiesTagName, " setting (", property, ") in JVM File ",
                                  m_tagFile->fileName, range ? "; no JVM matches it." : ""),
                         LOG_WARNING);
}

bool JVMFile::readExpectedProperties(StringPairPtrDeque& expected, StringDeque& names) const {
    bool satisfiable = true;
    unsigned int count = m_tagFile->getTagValueCount(jvmPropertiesTagName);
    for (unsigned int i = 0; i < count; ++i) {
        SString property = m_tagFile->getTagValue(jvmPropertiesTagName, i);
        std::unique_ptr<StringPair> entry(new StringPair());
        PropertyEntryStatus status = StringPair::parse(property, *entry);
        if (status != PropertyEntryStatus::Valid) {
            logInvalidProperty(property, status);
            satisfiable = satisfiable && status == PropertyEntryStatus::NoOperator;
            continue;
        }
        names.push_back(entry->m_name);
        expected.push_back(entry.release());
    }
    return satisfiable;
}

bool JVMFile::verifyJVMOutput(const SString& output, const StringPairPtrDeque& expected) {
    StringDeque values;
    return markedLines(output, values) && valuesMatch(values, expected);
}

bool JVMFile::markedLines(const SString& output, StringDeque& lines) {
    unsigned int index = 0;
    SString line;
    bool markerFound = false;
    while (!markerFound && index < output.length()) {
        line.erase();
        readLineFromString(output, index, line);
        markerFound = line.compare(verificationMarker) == 0;
    }
    if (!markerFound) {
        Launcher::logMessage(joinText("Invalid magic value: ", line, "\n"), LOG_ERROR);
        return false;
    }
    while (index < output.length()) {
        line.erase();
        readLineFromString(output, index, line);
        lines.push_back(line);
    }
    return true;
}

bool JVMFile::valuesMatch(const StringDeque& values, const StringPairPtrDeque& expected) {
    // The class prints one line per property, so output that ends early
    // comes from a run that failed.
    return values.count >= expected.count && firstMismatch(values, expected) == expected.count;
}

bool JVMFile::fits(const SString& home, const StringDeque& values,
                   const StringPairPtrDeque& expected) const {
    if (valuesMatch(values, expected)) {
        return true;
    }
    long index = firstMismatch(values, expected);
    if (index < expected.count) {
        const SString& value = values.at(index);
        Launcher::logInfo("The JVM at ", home,
                          " does not fit: ", expected.at(index)->mismatch(value));
        UnfitJVMs::add(home, value);
    }
    return false;
}

bool JVMFile::startHintSearch(const char* hints) const {
    if (!hasRequiredProperties()) {
        return false;
    }
    Launcher::logInfo("Searching for ", tagValue("DESC"), hints);
    return true;
}

JVMMatch* JVMFile::verifyWithPathHints(const VerifyClass& verifyClass) const {
    return startHintSearch(" using path hints") ? pathHintHomes().verifyFirst(verifyClass)
                                                : nullptr;
}

JVMMatch* JVMFile::verifyWithPlatformHints(const VerifyClass& verifyClass) const {
    if (!startHintSearch(" using platform hints")) {
        return nullptr;
    }
    // A verification run may set environment variables (SET_ENV_FOR_WIZARD),
    // so a hint's variable is read only when the homes before it have failed.
    JVMCandidates candidates;
    long next = 0;
    JVMMatch* match = nullptr;
    unsigned int count = m_tagFile->getTagValueCount(platformHintTagName);
    for (unsigned int i = 0; match == nullptr && i < count; ++i) {
        addPlatformHintHomes(m_tagFile->getTagValue(platformHintTagName, i), candidates);
        match = candidates.verifyFirst(verifyClass, next);
    }
    return match;
}

JVMMatch* JVMFile::verifyWithPlatformJVMPaths(TriedHomes& tried,
                                              const VerifyClass& verifyClass) const {
    return startHintSearch(" using platform specific JVM Path hints")
               ? platformJVMPathHomes(tried).verifyFirst(verifyClass)
               : nullptr;
}

JVMCandidates JVMFile::pathHintHomes() const {
    StringDeque roots;
    PlatformImpl::getJVMSearchPartitions(roots);
    JVMCandidates candidates;
    unsigned int count = m_tagFile->getTagValueCount(pathHintTagName);
    for (unsigned int i = 0; i < count; ++i) {
        SString hint = m_tagFile->getTagValue(pathHintTagName, i);
        bool pattern = hint.find_first_of(globCharacters) != SString::npos;
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
        paths.push_back(pathInDirectory(pattern ? globLiteral(home) : home, hint.substr(2)));
        return;
    }
    SString relative(hint, hint.find('/') == 0 ? 1 : 0);
    for (long r = 0; r < roots.count; ++r) {
        const SString& root = roots.at(r);
        paths.push_back(pathUnder(pattern ? globLiteral(root) : root, relative));
    }
}

void JVMFile::addPathHintHomes(const SString& path, bool pattern, JVMCandidates& candidates) const {
    if (!pattern) {
        candidates.add(*this, path, joinText("Checking path hint ", path));
        return;
    }
    StringDeque matches;
    PlatformImpl::matchDirectories(path, matches);
    if (matches.count == 0) {
        Launcher::logInfo("Path hint ", path, " matches no directory");
    }
    for (const SString& home : newestFirst(matches)) {
        candidates.add(*this, home,
                       joinText("Checking path hint ", home, " (matching ", path, ")"));
    }
}

void JVMFile::addPlatformHintHomes(const SString& hint, JVMCandidates& candidates) const {
    StringDeque directories;
    PlatformImpl::getPlatformHint(directories, hint);
    for (long d = 0; d < directories.count; ++d) {
        const SString& directory = directories.at(d);
        if (!directory.empty()) {
            candidates.add(*this, directory,
                           joinText("Checking JVM at ", directory,
                                    " which was resolved from platform hint ", hint));
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
            candidates.addFound(
                *this, home,
                joinText("Checking JVM at ", home,
                         " which was resolved from the platform JVM path ", directory));
        }
    }
    return candidates;
}

SString JVMFile::homeFromPathDirectory(const SString& directory) const {
    SString jvmExe = tagValue(jvmExeTagName);
    unsigned int lastSeparator = jvmExe.rfind('/');
    SString linkedHome =
        homeFromExecutable(pathUnder(directory, lastPathComponent(jvmExe)), jvmExe);
    if (!linkedHome.empty()) {
        return linkedHome;
    }
    if (lastSeparator == SString::npos) {
        return directory;
    }
    // A PATH entry such as /opt/jdk/bin stands for the home /opt/jdk/ when
    // JVM_EXE is bin/java.
    // The cut must fall on a whole component: /usr/sbin/ is no home /usr/s.
    SString home = pathUnder(directory, "");
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
