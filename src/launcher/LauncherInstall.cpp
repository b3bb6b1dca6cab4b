// The bundled JVM installer, the embedded launcher and the application
// archive: the payload files that are put to work beyond the Java command.
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <vector>

#include "base/ScopedFile.h"
#include "base/TextUtils.h"
#include "jvm/VerifyArchive.h"
#include "jvm/VerifyClass.h"
#include "launcher/Launcher.h"
#include "launcher/LauncherException.h"
#include "payload/FileIndexEntry.h"
#include "payload/LauncherInputFiles.h"
#include "platform/PlatformImpl.h"
#include "platform/ReplacementFile.h"
#include "platform/RuntimeStore.h"
#include "tagfile/TagFile.h"

SString Launcher::m_applicationArchive;

namespace {

SString jvmFileIn(const SString& destination) {
    return pathInDirectory(destination, "jvm");
}

SString installDestination(InstallJVMOption option) {
    switch (option) {
        case INSTALL_JVM_TEMP_QUIET:
        case INSTALL_JVM_TEMP:
        case INSTALL_JVM_STORE:
            return PlatformImpl::createTempSubDirectory();
        case INSTALL_JVM_PROMPT:
            return PlatformImpl::promptJVMDestinationDirectory();
    }
    return SString();
}

// Completes the installer's "jvm" file with where it lies and writes it back.
void recordInstalledJVM(const SString& destination, const SString& jvmFile, bool temp) {
    TagFile tags(jvmFile);
    tags.setDynamicJVMTags(destination, jvmFile, temp);
    tags.write(jvmFile);
}

// Runs the installer program, without arguments, in `directory`; its output
// is dropped when `quiet`, otherwise it reaches the console.
void runInstaller(const SString& installer, const SString& directory, bool quiet) {
    StringDeque command;
    command.push_back(installer);
    if (quiet) {
        PlatformImpl::runCaptured(command, directory, nullptr, nullptr);
    } else {
        PlatformImpl::runAttached(command, directory);
    }
}

// The store that holds the runtime of this launch, with the runtime's
// shared lock, until the process ends.
std::unique_ptr<RuntimeStore> g_runtimeStore;

// Installs the runtime of `installer` into `directory`, which becomes `home`
// once complete: the installer runs there and must leave its "jvm" file,
// which is completed for the home. Throws LauncherException with what the
// installer said.
void installRuntime(const FileIndexEntry& installer, const SString& directory,
                    const SString& home) {
    SString program = installer.extract(directory);
    StringDeque command;
    command.push_back(program);
    SString output;
    SString errors;
    int status = PlatformImpl::runCaptured(command, directory, &output, &errors);
    PlatformImpl::deleteFile(program);
    SString jvmFile = jvmFileIn(directory);
    if (!PlatformImpl::fileExists(jvmFile)) {
        SString said = joinText(output, errors);
        trim(said, whitespaceChars);
        throw LauncherException(
            joinText("its installer ended with status ", convertToString(static_cast<long>(status)),
                     " and left no 'jvm' file", said.empty() ? SString() : joinText(": ", said)));
    }
    TagFile tags(jvmFile);
    tags.setDynamicJVMTags(home, jvmFileIn(home), false);
    tags.write(jvmFile);
}

// The description file of the runtime of `installer` in the user's runtime
// store, installed there first when missing; "" when the store cannot be
// used, and the launch installs it into a temporary directory instead.
// Throws LauncherException when the installer fails.
SString runtimeFromStore(const FileIndexEntry& installer) {
    g_runtimeStore.reset(new RuntimeStore());
    SString key = installer.runtimeKey();
    SString home;
    try {
        home =
            g_runtimeStore->open(key, [&installer](const SString& directory, const SString& home) {
                Launcher::logInfo("Installing the runtime that the launcher carries in ", home);
                PlatformImpl::showUI();
                PlatformImpl::setUIStatus(STATUS_PREPARING_JVM);
                installRuntime(installer, directory, home);
            });
    } catch (const LauncherException& e) {
        throw LauncherException(
            joinText("The Java runtime that the launcher carries could not "
                     "be installed in ",
                     pathInDirectory(g_runtimeStore->directory(), key), ": ", e.message));
    }
    if (home.empty()) {
        Launcher::logMessage(
            joinText("The runtime store cannot be used: ", g_runtimeStore->failure()), LOG_WARNING);
        return SString();
    }
    Launcher::logInfo("Using the runtime ", home);
    return jvmFileIn(home);
}

// Copies source to the new file target. A source or a target that cannot be
// opened gives no copy and no error: false. A failed read or write throws,
// once the partial copy is gone.
bool copyArchive(const SString& source, const SString& target) {
    ScopedFile in(fopen(source.c_str(), "rb"));
    ScopedFile out(in != nullptr ? fopen(target.c_str(), "wb") : nullptr);
    if (out == nullptr) {
        return false;
    }
    CopyResult result = copyBytes(in.get(), 0, out.get(), kCopyToEnd, CopySteps());
    int closeError = closeWrittenFile(out);
    int error = result.error() != 0 ? result.error() : closeError;
    if (error != 0) {
        PlatformImpl::deleteFile(target);
        throw fileWriteError(error);
    }
    return true;
}

// The archive installed with the running launcher file, used in place; a
// launcher that finds none can verify no JVM, and the log says why.
SString installedVerifyArchive() {
    SString archive = findInstalledVerifyArchive(parentDirectory(Launcher::m_launcherFileName));
    if (archive.empty()) {
        Launcher::logMessage(
            "No verification archive in the launcher file nor installed with it: "
            "no JVM can be verified.",
            LOG_WARNING);
    } else {
        Launcher::logInfo("Using the verification archive installed with the launcher: ", archive);
    }
    return archive;
}

}  // namespace

void Launcher::installJVM(InstallJVMOption option) {
    setLongVariable(1, 0);
    setStringVariable(1, SString());
    if (option == INSTALL_JVM_TEMP_QUIET || option == INSTALL_JVM_STORE) {
        PlatformImpl::hideUI(0);
    } else {
        PlatformImpl::showUI();
        PlatformImpl::setUIStatus(STATUS_PREPARING_JVM);
    }
    std::vector<const FileIndexEntry*> installers = m_inputFiles.getFilesOfType(FILE_JVM_INSTALLER);
    if (installers.empty()) {
        throw LauncherException(PlatformImpl::getMessageText(MSG_NO_JVM_INSTALLER));
    }
    const FileIndexEntry* installer = installers.front();
    if (option == INSTALL_JVM_STORE) {
        SString jvmFile;
        try {
            jvmFile = runtimeFromStore(*installer);
        } catch (const LauncherException& e) {
            logMessage(e.message, LOG_ERROR);
            PlatformImpl::showUIMessage(e.message);
            return;
        }
        if (!jvmFile.empty()) {
            setLongVariable(1, 1);
            setStringVariable(1, jvmFile);
            return;
        }
    }
    SString destination = installDestination(option);
    if (destination.empty()) {
        return;
    }
    // A destination typed at the prompt may be relative; the installer runs
    // in it and the paths inside it must mean the same there.
    destination = PlatformImpl::getAbsolutePath(destination);

    SString installerPath = installer->extract(destination);
    // The installer's output stays off the launcher's console.
    runInstaller(installerPath, destination, true);
    PlatformImpl::deleteFile(installerPath);

    SString jvmFile = jvmFileIn(destination);
    if (!PlatformImpl::fileExists(jvmFile)) {
        logMessage("Invalid bundled JVM. Missing 'jvm' file.", LOG_ERROR);
        if (option == INSTALL_JVM_STORE) {
            // The launch has no other JVM to go on with: the user must know.
            PlatformImpl::showUIMessage(
                "The Java runtime that the launcher carries could not be installed: its "
                "installer left no 'jvm' file.");
        }
        return;
    }
    recordInstalledJVM(destination, jvmFile, true);
    setLongVariable(1, 1);
    setStringVariable(1, jvmFile);
}

void Launcher::installJVM(bool, bool, const SString& installerPath, const SString& destination) {
    // Both paths are meant relative to where the caller stands, not to the
    // destination that becomes the working directory.
    SString installer = PlatformImpl::getAbsolutePath(installerPath);
    SString target = PlatformImpl::getAbsolutePath(destination);
    runInstaller(installer, target, false);
    SString jvmFile = jvmFileIn(target);
    recordInstalledJVM(target, jvmFile, false);
    PlatformImpl::writeResultLine(jvmFile);
}

void Launcher::executeEmbeddedLauncher(long position) {
    const FileIndexEntry* entry = m_inputFiles.getFileAt(position);
    if (entry == nullptr || entry->m_fileType != FILE_EMBEDDED_LAUNCHER) {
        logMessage("Unable to execute the embedded launcher.", LOG_ERROR);
        return;
    }
    SString directory = PlatformImpl::createTempSubDirectory();
    StringDeque arguments;
    arguments.push_back(entry->extract(directory));
    // The started launcher deletes its copy and this directory at its end;
    // until the copy is complete, they are this launcher's to remove.
    PlatformImpl::removeDirFromCleanupList(directory);
    arguments.push_back("-cv:orig");
    arguments.push_back(m_launcherFileName);
    for (long i = 0; i < m_args.count; ++i) {
        arguments.push_back(m_args.at(i));
    }
    // This process image is about to go: remove what it put on disk now,
    // since its own cleanup will never run.
    PlatformImpl::cleanup();
    SString reason = PlatformImpl::replaceProcess(arguments);

    logMessage(joinText("Unable to execute the embedded launcher: ", reason), LOG_ERROR);
    PlatformImpl::addFileToCleanupList(directory);
}

const SString& Launcher::getApplicationArchive() {
    if (m_applicationArchive.empty()) {
        SString directory = PlatformImpl::createTempSubDirectory();
        for (const FileIndexEntry* entry : m_inputFiles.getFilesOfType(FILE_APPLICATION_ARCHIVE)) {
            m_applicationArchive = entry->extract(directory);
        }
    }
    return m_applicationArchive;
}

VerifyClass Launcher::getVerifyClass() {
    std::vector<const FileIndexEntry*> archives = m_inputFiles.getFilesOfType(FILE_VERIFY_ARCHIVE);
    if (archives.empty()) {
        SString installed = installedVerifyArchive();
        return installed.empty() ? VerifyClass() : VerifyClass(installed, "Verify");
    }
    const FileIndexEntry* archive = archives.back();
    SString identity =
        VerifyClass::contentIdentity(m_launcherFileName, archive->m_offset, archive->m_length);
    return VerifyClass(
        [archive] { return archive->extract(PlatformImpl::createTempSubDirectory()); }, identity,
        "Verify");
}

bool Launcher::extractClasspathArchives(StringDeque& paths, const SString& keptDirectory) {
    std::vector<const FileIndexEntry*> entries =
        m_inputFiles.getFilesOfType(FILE_CLASSPATH_ARCHIVE);
    if (entries.empty()) {
        return true;
    }
    if (!keptDirectory.empty()) {
        try {
            StringDeque kept;
            extractOnce(entries, keptDirectory, kept);
            for (long i = 0; i < kept.count; ++i) {
                paths.push_back(kept.at(i));
            }
            return true;
        } catch (const LauncherException& e) {
            // The kept copies only spare later launches the extraction.
            logMessage(joinText("The class path archives cannot be kept in ", keptDirectory, ": ",
                                e.message),
                       LOG_WARNING);
        }
    }
    SString directory = PlatformImpl::createTempSubDirectory();
    for (const FileIndexEntry* entry : entries) {
        paths.push_back(entry->extract(directory));
    }
    return false;
}

void Launcher::extractOnce(const std::vector<const FileIndexEntry*>& entries,
                           const SString& directory, StringDeque& paths) {
    // "<file id> <identity>" for each copy, as it was made.
    SString recordName = joinText(lastPathComponent(directory), ".extracted");
    SString recordPath = pathInDirectory(parentDirectory(directory), recordName);
    std::map<long, SString> madeAs;
    ScopedFile input(fopen(recordPath.c_str(), "r"));
    while (input && !feof(input.get()) && !ferror(input.get())) {
        SString line;
        readLineFromStream(input.get(), line);
        unsigned int blank = line.find(' ');
        if (blank != SString::npos) {
            madeAs[atol(line.substr(0, blank).c_str())] = line.substr(blank + 1);
        }
    }
    SString record;
    for (const FileIndexEntry* entry : entries) {
        auto recorded = madeAs.find(entry->m_fileId);
        SString path =
            entry->extractOnce(directory, recorded == madeAs.end() ? SString() : recorded->second);
        paths.push_back(path);
        record +=
            joinText(convertToString(entry->m_fileId), ' ', PlatformImpl::fileIdentity(path), '\n');
    }
    ReplacementFile output;
    if (output.open(parentDirectory(directory), recordName, 0600) == 0) {
        fputs(record.c_str(), output.stream());
        output.commit(false);
    }
}

const SString& Launcher::getApplicationArchive(const SString& fileName) {
    if (!m_applicationArchive.empty()) {
        return m_applicationArchive;
    }
    SString source = pathInDirectory(getOriginalLauncherDir(), fileName);
    SString target = pathInDirectory(PlatformImpl::createTempSubDirectory(),
                                     lastPathComponent(fileName, kAnySeparators));

    if (copyArchive(source, target)) {
        m_applicationArchive = target;
    }
    return m_applicationArchive;
}
