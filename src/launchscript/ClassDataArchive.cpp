#include "launchscript/ClassDataArchive.h"

#include "base/TextUtils.h"
#include "jvm/JVMFile.h"
#include "jvm/JavaVersion.h"
#include "launcher/Launcher.h"
#include "launchscript/ArchiveOptions.h"
#include "launchscript/ClassDataMaker.h"
#include "launchscript/CommandText.h"
#include "platform/PlatformImpl.h"
#include "tagfile/TagFile.h"

namespace {

const char* const kSwitch = "CVLAUNCH_CLASS_DATA";
// Bounds of the store: the archives used last, and the launchers' class
// directories that no archive uses any more.
const size_t kMaxEntries = 32;
const long long kMaxBytes = 256LL << 20;
const size_t kMaxIdleGroups = 16;

// True when `version` is `feature` or later.
bool atLeast(const SString& version, const char* feature) {
    JavaVersion parsed;
    JavaVersion bound;
    JavaVersion::parse(feature, bound);
    return JavaVersion::parse(version, parsed) && parsed.compare(bound) >= 0;
}

// The JVM: its executable, the files that make it what it is, and the
// archive of its own classes, on which an application's archive builds; ""
// when the executable is not there.
SString jvmIdentity(const SString& home, const SString& executable) {
    SString text = PlatformImpl::resolvePath(executable);
    if (text.empty()) {
        return text;
    }
    text += joinText('\n', PlatformImpl::fileIdentity(executable));
    for (const char* file :
         {"release", "lib/modules", "lib/server/libjvm.so", "lib/server/classes.jsa"}) {
        text += joinText('\n', PlatformImpl::fileIdentity(pathInDirectory(home, file)));
    }
    return text;
}

// The entries of a class path, as the JVM splits it.
std::vector<SString> classpathEntries(const SString& classpath) {
    std::vector<SString> entries;
    for (unsigned int start = 0; start <= classpath.length();) {
        unsigned int end = classpath.find(':', start);
        entries.push_back(classpath.substr(start, end == SString::npos ? end : end - start));
        start = end == SString::npos ? classpath.length() + 1 : end + 1;
    }
    return entries;
}

// Why no maker can serve a class path: the JVM checks no directory's
// contents against an archive.
SString classpathProblem(const SString& classpath) {
    if (classpath.empty()) {
        return "the command gives no class path";
    }
    for (const SString& entry : classpathEntries(classpath)) {
        if (entry.empty() || PlatformImpl::isDirectory(entry)) {
            return joinText("the class path holds the directory ", entry.empty() ? "." : entry);
        }
    }
    return SString();
}

}  // namespace

ClassDataArchive::ClassDataArchive(const JVMFile& jvm)
    : m_feature(0),
      m_wait(false),
      m_temporaryJVM(jvm.getTagFile().getBoolTagValue("JVM_TEMP", false)) {
    SString setting = PlatformImpl::getEnvironmentVariable(kSwitch);
    SString version = jvm.getTagFile().getTagValue("JAVA_VERSION", 0);
    if (setting.compare("0") == 0) {
        Launcher::logInfo("No class-data archive: ", kSwitch, "=0");
        return;
    }
    if (!atLeast(version, "17")) {
        Launcher::logInfo("No class-data archive: ",
                          version.empty() ? SString("the version of the JVM is not known")
                                          : joinText("the JVM is of java.version ", version));
        return;
    }
    SString home = jvm.getTagFile().getTagValue("JVM_HOME", 0);
    m_java = jvm.executableIn(home);
    m_jvmIdentity = jvmIdentity(home, m_java);
    m_store.reset(new CacheStore("cds"));
    if (m_jvmIdentity.empty() || !m_store->usable()) {
        Launcher::logInfo("No class-data archive: ", m_jvmIdentity.empty()
                                                         ? joinText(m_java, " is not there")
                                                         : m_store->failure());
        m_store.reset();
        return;
    }
    m_feature = atLeast(version, "24") ? 24 : 17;
    m_wait = setting.compare("wait") == 0;
    SString launcher = Launcher::getOriginalLauncherFileName();
    m_group = CacheStore::checksum(joinText(launcher, '=', PlatformImpl::fileIdentity(launcher)));
    m_classesDirectory = m_store->path(joinText(m_group, ".classes"));
    // Copies in a new temporary directory each time would make every
    // launch's class path, and archive, a new one.
    SString failure = PlatformImpl::privateDirectory(m_classesDirectory);
    if (!failure.empty()) {
        Launcher::logMessage(
            joinText("No class-data archive: ", m_classesDirectory, " cannot be used: ", failure),
            LOG_WARNING);
        m_classesDirectory = SString();
        m_store.reset();
        return;
    }
    m_store->touch(joinText(m_group, ".classes"));
}

ClassDataArchive::~ClassDataArchive() {
    if (!m_classList.empty()) {
        PlatformImpl::deleteFile(m_classList);
    }
}

SString ClassDataArchive::options(const std::vector<SString>& command,
                                  const SString& workingDirectory) {
    if (!m_store || !m_entry.empty()) {
        return SString();
    }
    ArchiveOptions options(command, workingDirectory);
    if (!options.ownSharing().empty()) {
        Launcher::logInfo("No class-data archive: the command or the environment sets ",
                          options.ownSharing());
        return SString();
    }
    std::vector<SString> words = {"-Xlog:cds*=off"};
    if (m_feature >= 24) {
        words.push_back("-Xlog:aot*=off");
    }
    std::vector<SString> archive = entryOptions(options);
    words.insert(words.end(), archive.begin(), archive.end());
    SString text;
    for (const SString& word : words) {
        text += text.empty() ? SString() : SString(" ");
        text += CommandText::value(word);
    }
    return text;
}

std::vector<SString> ClassDataArchive::entryOptions(const ArchiveOptions& options) {
    m_entry = joinText(m_group, '-', entryKey(options));
    if (ClassDataMaker::hasValidArchive(*m_store, m_entry)) {
        m_store->touch(joinText(m_entry, ".ok"));
        SString archive = m_store->path(joinText(m_entry, ".jsa"));
        Launcher::logInfo("Using the class-data archive ", archive);
        return {joinText("-XX:SharedArchiveFile=", archive)};
    }
    SString reason = m_temporaryJVM ? SString("the JVM is a temporary one") : m_noMaker;
    reason = reason.empty() ? options.noMaker() : reason;
    reason = reason.empty() ? classpathProblem(options.classpath()) : reason;
    reason = reason.empty() ? m_store->rejection(m_entry) : reason;
    if (!reason.empty()) {
        Launcher::logInfo("No class-data archive is made for ", m_entry, ": ", reason);
        m_entry = SString();
        return {};
    }
    ClassDataMaker::writeJob(*m_store, m_entry,
                             ClassDataMaker::Job{m_java, options.classpath(), options.shaping()});
    if (m_store->fileSize(joinText(m_entry, ".classlist")) > 0) {
        return {};
    }
    m_classList = m_store->createRunFile(joinText(m_entry, ".classlist"));
    if (m_classList.empty()) {
        Launcher::logInfo("No class list is recorded for ", m_entry, ": its file cannot be made");
        return {};
    }
    Launcher::logInfo("Recording the classes of ", m_entry, " for a class-data archive");
    return {joinText("-XX:DumpLoadedClassList=", m_classList)};
}

SString ClassDataArchive::entryKey(const ArchiveOptions& options) const {
    SString text = joinText(m_jvmIdentity, '\n', m_group);
    for (const SString& entry : classpathEntries(options.classpath())) {
        text += joinText('\n', entry, '=', PlatformImpl::fileIdentity(entry));
    }
    for (const SString& option : options.shaping()) {
        text += joinText('\n', option);
    }
    return CacheStore::checksum(text);
}

void ClassDataArchive::finish(int exitCode) {
    if (m_entry.empty()) {
        return;
    }
    // A program that a signal ended may not have loaded what it needs.
    bool endedByItself = exitCode >= 0 && exitCode <= 128 && PlatformImpl::pendingSignal() == 0 &&
                         !PlatformImpl::childWasSignalled();
    SString classList = joinText(m_entry, ".classlist");
    if (!m_classList.empty() && endedByItself &&
        m_store->fileSize(lastPathComponent(m_classList)) > 0) {
        m_store->commit(m_classList, classList);
    }
    if (endedByItself && m_store->fileSize(classList) > 0 &&
        !ClassDataMaker::hasValidArchive(*m_store, m_entry)) {
        startMaker();
    }
    m_store->evict(m_group, kMaxEntries, kMaxBytes, kMaxIdleGroups);
}

void ClassDataArchive::startMaker() const {
    if (m_wait) {
        ClassDataMaker::make(m_entry, true);
        return;
    }
    SString log = m_store->path(joinText(m_entry, ".log"));
    StringDeque arguments;
    for (const char* argument : {Launcher::getLauncherFileName().c_str(), "-cv:log", log.c_str(),
                                 "-cv:make-class-data", m_entry.c_str()}) {
        arguments.push_back(argument);
    }
    SString failure = PlatformImpl::startDetached(arguments, log);
    if (!failure.empty()) {
        Launcher::logMessage(joinText("The class-data archive maker cannot start: ", failure),
                             LOG_WARNING);
        return;
    }
    Launcher::logInfo("Started the class-data archive maker for ", m_entry);
}
