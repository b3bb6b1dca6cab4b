#include "ClassDataArchive.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <ctime>

#include "CommandText.h"
#include "JVMFile.h"
#include "JavaVersion.h"
#include "Launcher.h"
#include "PlatformImpl.h"
#include "ReplacementFile.h"
#include "ScopedFile.h"
#include "TagFile.h"
#include "TextUtils.h"
#include "VerifyCache.h"
#include "VerifyClass.h"

namespace {

const char* const kSwitch = "CVLAUNCH_CLASS_DATA";
const char* const kSubdirectory = "cds";
const char* const kArchiveSuffix = ".jsa";
const char* const kClassesSuffix = ".classes";
const char* const kRejectedSuffix = ".rejected";
// Run files hold this, and are left only by a launcher that was killed.
const char* const kRunMark = ".run.";
const size_t kMaxArchives = 32;
const long long kMaxArchiveBytes = 1LL << 30;
const size_t kMaxClassDirectories = 16;
const size_t kMaxRejected = 64;
const long long kNoByteLimit = LLONG_MAX;
const long long kRunFileAgeNs = 24LL * 3600 * 1000000000;
// The status of a JVM that aborted: a fatal error, such as a damaged archive.
const int kAbortStatus = 128 + 6;
// Options with which the command or the environment sets class sharing
// itself: the launcher's would clash with them.
const char* const kSharingOptions[] = {"-Xshare:off",
                                       "-Xshare:dump",
                                       "UseSharedSpaces",
                                       "SharedArchiveFile",
                                       "ArchiveClassesAtExit",
                                       "AutoCreateSharedArchive",
                                       "AOTCache",
                                       "AOTMode"};
const char* const kOptionVariables[] = {"JAVA_TOOL_OPTIONS", "JDK_JAVA_OPTIONS", "_JAVA_OPTIONS"};
// The options cannot carry these: ":" and "," separate their parts.
const char* const kUnsafePathCharacters = ":,=\" \t\n\r";

SString hashOf(const SString& text) {
    return hashText(hashBytes(kHashStart, text.c_str(), text.length()));
}

bool startsWith(const SString& text, const SString& prefix) {
    return text.length() >= prefix.length() && text.compare(0, prefix.length(), prefix) == 0;
}

bool endsWith(const SString& text, const char* suffix) {
    return stringEndsWith(text, suffix) != SString::npos;
}

// The directory for the archives, or "" (the reason logged) when there is to
// be none.
SString archiveDirectory() {
    if (PlatformImpl::getEnvironmentVariable(kSwitch).compare("0") == 0) {
        Launcher::logInfo("No class-data archive: ", kSwitch, "=0");
        return SString();
    }
    SString directory = CacheDirectory::path(kSubdirectory);
    if (directory.empty()) {
        Launcher::logInfo("No class-data archive: there is no cache directory");
        return directory;
    }
    if (directory.find_first_of(kUnsafePathCharacters) != SString::npos) {
        Launcher::logInfo("No class-data archive: the JVM cannot take the path ", directory);
        return SString();
    }
    SString failure = PlatformImpl::privateDirectory(directory);
    if (!failure.empty()) {
        Launcher::logMessage(joinText("No class-data archive in ", directory, ": ", failure),
                             LOG_WARNING);
        return SString();
    }
    return directory;
}

// The first option of class sharing in `command` or in the JVM's option
// variables, or "".
SString sharingOption(const SString& command) {
    std::vector<SString> texts = {command};
    for (const char* variable : kOptionVariables) {
        texts.push_back(PlatformImpl::getEnvironmentVariable(variable));
    }
    for (const SString& text : texts) {
        for (const char* option : kSharingOptions) {
            if (text.find(option) != SString::npos) {
                return SString(option);
            }
        }
    }
    return SString();
}

// The JVM: its executable as the verification cache keys it, and the
// archive of its own classes, on which an application's archive builds.
SString jvmIdentity(const JVMFile& jvm) {
    SString home = jvm.getTagFile().getTagValue("JVM_HOME", 0);
    VerifyCache::Key key = VerifyCache::keyOf(jvm.executableIn(home), VerifyClass());
    if (key.executable.empty()) {
        return SString();
    }
    return joinText(key.executable, '\n', key.identity, '\n',
                    PlatformImpl::fileIdentity(pathInDirectory(home, "lib/server/classes.jsa")));
}

// Keeps the newest `count` items with `suffix` whose sizes add up to at most
// `bytes`, and removes the others.
void keepNewest(std::vector<CacheDirectory::Item> items, const SString& directory,
                const char* suffix, size_t count, long long bytes) {
    items.erase(std::remove_if(items.begin(), items.end(),
                               [suffix](const CacheDirectory::Item& item) {
                                   return !endsWith(item.name, suffix) ||
                                          item.name.find(kRunMark) != SString::npos;
                               }),
                items.end());
    std::sort(items.begin(), items.end(),
              [](const CacheDirectory::Item& a, const CacheDirectory::Item& b) {
                  return a.modified > b.modified;
              });
    size_t kept = 0;
    long long total = 0;
    for (const CacheDirectory::Item& item : items) {
        total += item.size;
        if (kept < count && total <= bytes) {
            ++kept;
            continue;
        }
        PlatformImpl::deleteFile(pathInDirectory(directory, item.name));
    }
}

}  // namespace

ClassDataArchive::ClassDataArchive(const JVMFile& jvm)
    : m_kind(kindOf(jvm.getTagFile().getTagValue("JAVA_VERSION", 0))), m_usedExisting(false) {
    if (m_kind == NO_ARCHIVE) {
        SString version = jvm.getTagFile().getTagValue("JAVA_VERSION", 0);
        Launcher::logInfo("No class-data archive: ",
                          version.empty() ? SString("the version of the JVM is not known")
                                          : joinText("the JVM is of java.version ", version));
        return;
    }
    m_jvmIdentity = jvmIdentity(jvm);
    if (m_jvmIdentity.empty()) {
        return;
    }
    SString home = jvm.getTagFile().getTagValue("JVM_HOME", 0);
    if (m_kind == DUMP_AT_EXIT &&
        !PlatformImpl::fileExists(pathInDirectory(home, "lib/server/classes.jsa"))) {
        // Such a JVM refuses to start when asked to write an archive on top
        // of none.
        Launcher::logInfo("No class-data archive: the JVM at ", home, " has no archive of its own");
        return;
    }
    m_directory = archiveDirectory();
    if (m_directory.empty()) {
        return;
    }
    SString launcher = Launcher::getOriginalLauncherFileName();
    m_launcherIdentity = joinText(launcher, '=', PlatformImpl::fileIdentity(launcher));
    m_classesDirectory =
        pathInDirectory(m_directory, joinText(hashOf(m_launcherIdentity), kClassesSuffix));
    // Copies in a new temporary directory each time would make every
    // launch's class path, and archive, a new one.
    SString failure = PlatformImpl::privateDirectory(m_classesDirectory);
    if (!failure.empty()) {
        Launcher::logMessage(
            joinText("No class-data archive: ", m_classesDirectory, " cannot be used: ", failure),
            LOG_WARNING);
        m_directory = m_classesDirectory = SString();
        return;
    }
    CacheDirectory::touch(m_classesDirectory);
}

ClassDataArchive::~ClassDataArchive() {
    if (!m_runFile.empty()) {
        CacheDirectory::removeFile(m_runFile);
        CacheDirectory::removeFile(m_logFile);
    }
}

ClassDataArchive::Kind ClassDataArchive::kindOf(const SString& javaVersion) {
    JavaVersion version;
    JavaVersion autoCreate;
    JavaVersion dumpAtExit;
    JavaVersion::parse("19", autoCreate);
    JavaVersion::parse("13", dumpAtExit);
    if (!JavaVersion::parse(javaVersion, version)) {
        return NO_ARCHIVE;
    }
    if (version.compare(autoCreate) >= 0) {
        return AUTO_CREATE;
    }
    return version.compare(dumpAtExit) >= 0 ? DUMP_AT_EXIT : NO_ARCHIVE;
}

SString ClassDataArchive::archiveName(const StringDeque& classpath) const {
    SString text = joinText(m_jvmIdentity, '\n', m_launcherIdentity);
    for (long i = 0; i < classpath.count; ++i) {
        const SString& entry = classpath.at(i);
        text += '\n';
        // A copy of the payload is what the launcher file is.
        if (!m_classesDirectory.empty() && startsWith(entry, joinText(m_classesDirectory, '/'))) {
            text += entry;
        } else {
            text += joinText(entry, '=', PlatformImpl::fileIdentity(entry));
        }
    }
    return hashOf(text);
}

SString ClassDataArchive::options(const StringDeque& classpath, const SString& command) {
    if (m_directory.empty() || !m_runFile.empty()) {
        return SString();
    }
    SString setting = sharingOption(command);
    if (!setting.empty()) {
        Launcher::logInfo("No class-data archive: the command or the environment sets ", setting);
        return SString();
    }
    SString name = archiveName(classpath);
    if (PlatformImpl::fileExists(pathInDirectory(m_directory, joinText(name, kRejectedSuffix)))) {
        Launcher::logInfo("No class-data archive: the JVM rejected the one for ", name, " before");
        return SString();
    }
    m_archive = pathInDirectory(m_directory, joinText(name, kArchiveSuffix));
    SString run = joinText(m_archive, kRunMark, CacheDirectory::processTag());
    m_runFile = joinText(run, kArchiveSuffix);
    m_logFile = joinText(run, ".log");
    // A file of a launcher that had this process number and was killed.
    CacheDirectory::removeFile(m_runFile);
    CacheDirectory::removeFile(m_logFile);
    m_usedExisting = CacheDirectory::fileSize(m_archive) > 0;
    if (m_usedExisting) {
        CacheDirectory::touch(m_archive);
    }
    Launcher::logInfo(
        m_usedExisting ? "Using the class-data archive " : "Making the class-data archive ",
        m_archive);
    SString text;
    for (const SString& word : optionWords()) {
        if (!text.empty()) {
            text += ' ';
        }
        text += CommandText::value(word);
    }
    return text;
}

std::vector<SString> ClassDataArchive::optionWords() {
    std::vector<SString> words;
    // A JVM that only reads an archive may map it where it is: a new one
    // replaces it by a rename, which leaves the mapped file as it was.
    bool linked =
        m_kind == AUTO_CREATE && m_usedExisting && CacheDirectory::link(m_archive, m_runFile) == 0;
    if (m_kind == AUTO_CREATE && (linked || !m_usedExisting)) {
        words.push_back("-XX:+AutoCreateSharedArchive");
        words.push_back(joinText("-XX:SharedArchiveFile=", m_runFile));
    } else if (m_usedExisting) {
        words.push_back(joinText("-XX:SharedArchiveFile=", m_archive));
    } else {
        words.push_back(joinText("-XX:ArchiveClassesAtExit=", m_runFile));
    }
    words.push_back("-Xlog:cds*=off");
    words.push_back(joinText("-Xlog:cds*=warning:file=", m_logFile));
    return words;
}

void ClassDataArchive::finish(int exitCode) {
    if (m_runFile.empty()) {
        return;
    }
    SString reason;
    if (m_usedExisting && exitCode == kAbortStatus) {
        reason = joinText("the JVM aborted with status ", convertToString(exitCode));
    }
    if (logReportsFailure(reason) || !reason.empty()) {
        reject(reason);
    } else if (exitCode == 0) {
        keepRunFile();
    }
    CacheDirectory::removeFile(m_runFile);
    CacheDirectory::removeFile(m_logFile);
    m_runFile = SString();
    evict();
}

bool ClassDataArchive::logReportsFailure(SString& reason) const {
    ScopedFile log(fopen(m_logFile.c_str(), "r"));
    while (log && !feof(log.get()) && !ferror(log.get())) {
        SString line;
        readLineFromStream(log.get(), line);
        if (line.find("[error") != SString::npos ||
            line.find("Unable to use shared archive") != SString::npos) {
            reason = line;
            return true;
        }
    }
    return false;
}

void ClassDataArchive::keepRunFile() {
    if (CacheDirectory::fileSize(m_runFile) <= 0 ||
        PlatformImpl::fileIdentity(m_runFile).compare(PlatformImpl::fileIdentity(m_archive)) == 0) {
        return;
    }
    int error = CacheDirectory::rename(m_runFile, m_archive);
    if (error != 0) {
        Launcher::logMessage(
            systemErrorMessage(
                joinText("Unable to keep the class-data archive ", m_archive, ": ").c_str(), error),
            LOG_WARNING);
        return;
    }
    Launcher::logInfo("Kept the class-data archive ", m_archive);
}

void ClassDataArchive::reject(const SString& reason) {
    CacheDirectory::removeFile(m_archive);
    SString marker =
        joinText(m_archive.substr(0, m_archive.length() - strlen(kArchiveSuffix)), kRejectedSuffix);
    ReplacementFile file;
    if (file.open(parentDirectory(marker), lastPathComponent(marker), 0600) == 0) {
        fprintf(file.stream(), "%s\n", reason.c_str());
        file.commit(false);
    }
    Launcher::logMessage(joinText("The JVM could not use the class-data archive ", m_archive,
                                  "; it gets none again: ", reason),
                         LOG_WARNING);
}

void ClassDataArchive::evict() const {
    std::vector<CacheDirectory::Item> items = CacheDirectory::list(m_directory);
    keepNewest(items, m_directory, kArchiveSuffix, kMaxArchives, kMaxArchiveBytes);
    keepNewest(items, m_directory, kClassesSuffix, kMaxClassDirectories, kNoByteLimit);
    keepNewest(items, m_directory, kRejectedSuffix, kMaxRejected, kNoByteLimit);
    long long now = static_cast<long long>(time(nullptr)) * 1000000000LL;
    for (const CacheDirectory::Item& item : items) {
        if (item.name.find(kRunMark) != SString::npos && now - item.modified > kRunFileAgeNs) {
            CacheDirectory::removeFile(pathInDirectory(m_directory, item.name));
        }
    }
}
