// The JVM-level actions that find and verify a JVM: FIND_JVM and VERIFY of the
// instruction program, and the "SEARCH", "SEARCH_ALL" and "VERIFY_JVM" actions
// of input files. Results go to N1, S1 and S2; the input-file actions also
// print them on standard output, one item per line, for the program that
// started the launcher. Those lines bypass the console display, so silent
// mode does not suppress them; a line that cannot be written fails the
// action. The first line is always the count (0 when the action failed), so
// that a caller never takes a failure for an answer; once a signal has come,
// nothing more is printed, and the exit status 128 + N tells that the output
// is cut short.
#include <cstdio>
#include <memory>
#include <vector>

#include "base/TextUtils.h"
#include "jvm/JVMFile.h"
#include "jvm/JVMFiles.h"
#include "jvm/JVMMatch.h"
#include "jvm/JavaRange.h"
#include "jvm/UnfitJVMs.h"
#include "jvm/VerifyClass.h"
#include "launcher/Launcher.h"
#include "launcher/LauncherException.h"
#include "launchscript/LaunchScript.h"
#include "payload/FileIndexEntry.h"
#include "payload/LauncherInputFiles.h"
#include "platform/PlatformImpl.h"
#include "tagfile/TagFile.h"

namespace {

void showSearchStatus(bool showProgress) {
    if (showProgress) {
        PlatformImpl::setUIStatus(STATUS_SEARCHING_JVM);
        PlatformImpl::showUI();
    } else {
        PlatformImpl::hideUI(0);
    }
}

// Logs a failed search as an error, with the catalogue text in front of the
// exception's message, and shows it when asked to.
void reportSearchFailure(MessageIdentifier id, const LauncherException& e, bool showFailMsg) {
    SString text = joinText(PlatformImpl::getMessageText(id), ' ', e.message);
    Launcher::logMessage(text, LOG_ERROR);
    if (showFailMsg) {
        PlatformImpl::showUIMessage(text);
    }
}

// Which Java the program needs, what the search found that does not fit,
// and how to point the program at a Java.
SString javaNeededText(const JavaRange& range) {
    SString text = PlatformImpl::getMessageText(MSG_JAVA_NEEDED, range.describe());
    const std::vector<UnfitJVMs::Entry>& found = UnfitJVMs::entries();
    text += '\n';
    text += PlatformImpl::getMessageText(found.empty() ? MSG_NO_JAVA_FOUND : MSG_UNFIT_JAVA_FOUND);
    for (const UnfitJVMs::Entry& entry : found) {
        text += joinText("\n  ", PlatformImpl::getMessageText(MSG_JAVA_VERSION, entry.value), " (",
                         entry.home, ')');
    }
    return joinText(text, '\n', PlatformImpl::getMessageText(MSG_POINT_AT_JAVA));
}

// The message when no JVM fits: javaNeededText for the first description
// file that names the Java versions it accepts in JAVA_RANGE (cvpack's
// application mode writes it), the catalogue's general text otherwise.
SString noSuitableJVMText() {
    const JVMFiles& files = Launcher::m_inputFiles.m_jvmFiles;
    for (long i = 0; i < files.getJVMFileCount(); ++i) {
        const TagFile& tags = files.getJVMFile(i)->getTagFile();
        JavaRange range;
        if (tags.getValue("JAVA_RANGE") != nullptr &&
            JavaRange::parse(tags.getTagValue("JAVA_RANGE"), range)) {
            return javaNeededText(range);
        }
    }
    return PlatformImpl::getMessageText(MSG_NO_SUITABLE_JVM);
}

// Whether the probes ask for java.version: the payload's launch script
// needs the version of the JVM it starts (for a class-data archive).
bool versionWanted() {
    const LaunchScript* script = Launcher::m_inputFiles.m_launchScript;
    return script != nullptr && script->usesClassDataArchive();
}

LauncherException badFileId(const char* text, long fileId, const SString& tail) {
    return LauncherException(joinText(text, convertToString(fileId), tail));
}

void printLine(const SString& text) {
    PlatformImpl::writeResultLine(text);
}

// Prints the result lines, then leaves the match files they name to the
// caller; a failed write or a signal stops before that, so the files are
// removed with the other temporary files.
void printResults(const StringDeque& lines, const StringDeque& matchFiles) {
    for (long i = 0; i < lines.count; i++) {
        if (PlatformImpl::pendingSignal() != 0) {
            return;
        }
        printLine(lines.at(i));
    }
    for (long i = 0; i < matchFiles.count; i++) {
        PlatformImpl::removeFileFromCleanupList(matchFiles.at(i));
    }
}

// The count line alone: a verification's result, or the 0 of a failure.
void printCount(long n) {
    StringDeque lines;
    lines.push_back(convertToString(n));
    printResults(lines, StringDeque());
}

}  // namespace

void Launcher::findJVM(bool showProgress, bool showFailMsg) {
    logMessage("Finding a JVM", LOG_INFO);
    showSearchStatus(showProgress);
    setStringVariable(1, SString());
    setStringVariable(2, SString());
    setLongVariable(1, 0);
    UnfitJVMs::clear();
    try {
        JVMMatchPtrDeque matches;
        m_inputFiles.m_jvmFiles.search(matches, versionWanted());
        const JVMMatch* match = matches.at(0);
        if (match == nullptr) {
            SString text = noSuitableJVMText();
            logMessage(text, LOG_INFO);
            if (showFailMsg && !PlatformImpl::m_canceled) {
                PlatformImpl::showUIMessage(text);
            }
            return;
        }
        SString path = match->writeNewJVMFile();
        const SString& home = match->getJVMHome();
        logInfo("Matching JVM home is ", home);
        logInfo("Matching JVM file is ", path);
        setStringVariable(1, home);
        setStringVariable(2, path);
        setLongVariable(1, 1);
    } catch (const LauncherException& e) {
        reportSearchFailure(MSG_NO_SUITABLE_JVM, e, showFailMsg);
        throw;
    }
}

void Launcher::verifyJVM(bool showProgress, bool showFailMsg, long fileId) {
    showSearchStatus(showProgress);
    const FileIndexEntry* entry = m_inputFiles.getFile(fileId);
    if (entry == nullptr) {
        throw badFileId("Cannot verify jvm file at index ", fileId, " because it does not exist.");
    }
    if (entry->m_fileType != FILE_JVM) {
        throw badFileId("To verify a JVM, use an index of a jvm file. The index passed in was ",
                        fileId,
                        joinText(" which corresponds to the file named ", entry->m_fileName));
    }
    if (entry->m_tagFile == nullptr || !entry->m_tagFile->isLoaded()) {
        throw badFileId("The jvm file with file id ", fileId, " could not be read.");
    }
    verifyJVM(showProgress, showFailMsg, *entry->m_tagFile, m_userJavaHome);
}

void Launcher::verifyJVM(bool showProgress, bool showFailMsg, TagFile& jvmTagFile,
                         const SString& javaHome) {
    setLongVariable(1, 0);
    if (showProgress) {
        PlatformImpl::setUISubStatus(SUBSTATUS_VERIFYING, jvmTagFile.getTagValue("DESC", 0));
    }
    JVMFile jvmFile(jvmTagFile);
    m_inputFiles.m_jvmFiles.writeVerifyJar();
    const VerifyClass& verifyClass = m_inputFiles.m_jvmFiles.getVerifyClass();
    bool askVersion = versionWanted();
    std::unique_ptr<JVMMatch> match(javaHome.empty()
                                        ? jvmFile.verify(verifyClass, askVersion)
                                        : jvmFile.verify(javaHome, verifyClass, askVersion));
    if (match == nullptr) {
        if (showFailMsg) {
            PlatformImpl::showUIMessage(PlatformImpl::getMessageText(MSG_INVALID_JVM));
        }
        logMessage("In VERIFY, the jvm is invalid.", LOG_INFO);
        return;
    }
    SString home = jvmTagFile.getTagValue("JVM_HOME", 0);
    setLongVariable(1, 1);
    setStringVariable(1, home);
    logInfo("After VERIFY, the jvm home is ", home);
}

void Launcher::verifyJVM(bool showProgress, bool showFailMsg, const SString& jvmFilePath,
                         const SString& javaHome) {
    try {
        TagFile jvmTagFile(jvmFilePath);
        verifyJVM(showProgress, showFailMsg, jvmTagFile, javaHome);
    } catch (...) {
        printCount(0);
        throw;
    }
    printCount(getLongVariable(1));
}

void Launcher::search(bool showProgress, bool showFailMsg) {
    bool failed = false;
    try {
        findJVM(showProgress, showFailMsg);
    } catch (const LauncherException&) {
        failed = true;  // findJVM has logged it
    } catch (...) {
        logMessage("Unexpected failure in search.", LOG_ERROR);
        failed = true;
    }
    long found = failed ? 0 : getLongVariable(1);
    StringDeque lines;
    StringDeque matchFiles;
    lines.push_back(convertToString(found));
    if (found != 0) {
        lines.push_back(getStringVariable(1));
        lines.push_back(getStringVariable(2));
        matchFiles.push_back(getStringVariable(2));
    }
    printResults(lines, matchFiles);
}

void Launcher::searchAll(bool showProgress, bool showFailMsg) {
    logMessage("Finding all matching JVMs", LOG_INFO);
    showSearchStatus(showProgress);
    StringDeque lines;
    StringDeque paths;
    try {
        JVMMatchPtrDeque matches;
        m_inputFiles.m_jvmFiles.searchAll(matches, false, versionWanted());
        // Every match file is written before anything is printed, so that a
        // failure half-way prints the single line 0 and leaves no file behind.
        lines.push_back(convertToString(matches.count));
        for (long i = 0; i < matches.count; i++) {
            paths.push_back(matches.at(i)->writeNewJVMFile());
            lines.push_back(matches.at(i)->getJVMHome());
            lines.push_back(paths.back());
        }
    } catch (const LauncherException& e) {
        reportSearchFailure(MSG_SEARCH_ALL_FAILED, e, showFailMsg);
        lines.clear();
        paths.clear();
        lines.push_back("0");
    }
    printResults(lines, paths);
}
