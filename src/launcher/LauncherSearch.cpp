// The JVM-level actions that find and verify a JVM: FIND_JVM and VERIFY of the
// instruction program, and the "SEARCH", "SEARCH_ALL" and "VERIFY_JVM" actions
// of input files. Results go to N1, S1 and S2; the input-file actions also
// print them on standard output, one item per line, for the program that
// started the launcher. Those lines bypass the console display, so silent
// mode does not suppress them.
#include <cstdio>
#include <memory>

#include "FileIndexEntry.h"
#include "JVMFile.h"
#include "JVMFiles.h"
#include "JVMMatch.h"
#include "Launcher.h"
#include "LauncherException.h"
#include "LauncherInputFiles.h"
#include "PlatformImpl.h"
#include "TagFile.h"
#include "TextUtils.h"

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

LauncherException badFileId(const char* text, long fileId, const SString& tail) {
    return LauncherException(joinText(text, convertToString(fileId), tail));
}

void printLine(const SString& text) {
    PlatformImpl::writeResultLine(text);
}

void printNumber(long n) {
    printLine(convertToString(n));
}

}  // namespace

void Launcher::findJVM(bool showProgress, bool showFailMsg) {
    logMessage("Finding a JVM", LOG_INFO);
    showSearchStatus(showProgress);
    setStringVariable(1, SString());
    setStringVariable(2, SString());
    setLongVariable(1, 0);
    try {
        JVMMatchPtrDeque matches;
        m_inputFiles.m_jvmFiles.search(matches);
        const JVMMatch* match = matches.at(0);
        if (match == nullptr) {
            SString text = PlatformImpl::getMessageText(MSG_NO_SUITABLE_JVM);
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
    SString classPath;
    SString className;
    m_inputFiles.m_jvmFiles.writeVerifyJar(classPath, className);
    std::unique_ptr<JVMMatch> match(javaHome.empty()
                                        ? jvmFile.verify(classPath, className)
                                        : jvmFile.verify(javaHome, classPath, className));
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
    TagFile jvmTagFile(jvmFilePath);
    verifyJVM(showProgress, showFailMsg, jvmTagFile, javaHome);
    printNumber(getLongVariable(1));
}

void Launcher::search(bool showProgress, bool showFailMsg) {
    try {
        findJVM(showProgress, showFailMsg);
        long found = getLongVariable(1);
        if (found != 0) {
            PlatformImpl::removeFileFromCleanupList(getStringVariable(2));
        }
        printNumber(found);
        if (found != 0) {
            printLine(getStringVariable(1));
            printLine(getStringVariable(2));
        }
    } catch (const LauncherException&) {
        // findJVM has logged it; the caller sees no output at all.
    } catch (...) {
        logMessage("Unexpected failure in search.", LOG_ERROR);
    }
}

void Launcher::searchAll(bool showProgress, bool showFailMsg) {
    logMessage("Finding all matching JVMs", LOG_INFO);
    showSearchStatus(showProgress);
    try {
        JVMMatchPtrDeque matches;
        m_inputFiles.m_jvmFiles.searchAll(matches, false);
        // Every match file is written before anything is printed, so that a
        // failure half-way prints the single line 0 and leaves no file behind.
        StringDeque paths;
        for (long i = 0; i < matches.count; i++) {
            paths.push_back(matches.at(i)->writeNewJVMFile());
        }
        for (long i = 0; i < paths.count; i++) {
            PlatformImpl::removeFileFromCleanupList(paths.at(i));
        }
        printNumber(matches.count);
        for (long i = 0; i < matches.count; i++) {
            printLine(matches.at(i)->getJVMHome());
            printLine(paths.at(i));
        }
    } catch (const LauncherException& e) {
        reportSearchFailure(MSG_SEARCH_ALL_FAILED, e, showFailMsg);
        printNumber(0);
    }
}
