// The launch actions: the steps with which an instruction program shows the
// display and starts the Java program.
#include "jvm/JVMFile.h"
#include "launcher/Launcher.h"
#include "launchscript/LaunchScript.h"
#include "payload/FileIndexEntry.h"
#include "payload/LauncherInputFiles.h"
#include "platform/PlatformImpl.h"
#include "tagfile/TagFile.h"

namespace {

// Runs the payload's launch script against `jvmFile`; the Java program's
// exit code.
int runLaunchScript(TagFile& jvmFile, short uiSeconds) {
    JVMFile jvm(jvmFile);
    if (uiSeconds > 0) {
        PlatformImpl::setUIStatus(STATUS_RUNNING);
        PlatformImpl::setUISubStatus(SUBSTATUS_NONE, SString());
    }
    PlatformImpl::hideUI(uiSeconds);
    return Launcher::m_inputFiles.m_launchScript->execute(jvm, &Launcher::m_passThroughArgs,
                                                          Launcher::m_showJavaConsole);
}

}  // namespace

void Launcher::initializeUI() {
    PlatformImpl::setUIStatus(STATUS_INITIALIZING);
    PlatformImpl::setUISubStatus(SUBSTATUS_NONE, SString());
    PlatformImpl::showUI();
}

int Launcher::launch(const SString& jvmFilePath, short uiSeconds) {
    if (m_inputFiles.m_launchScript == nullptr) {
        return -1;
    }
    TagFile jvmFile(jvmFilePath);
    return runLaunchScript(jvmFile, uiSeconds);
}

int Launcher::ilaunch(long fileId, short uiSeconds) {
    const FileIndexEntry* entry = m_inputFiles.getFile(fileId);
    if (m_inputFiles.m_launchScript == nullptr || entry == nullptr ||
        entry->m_fileType != FILE_JVM || entry->m_tagFile == nullptr) {
        logMessage(
            "Unable to launch the internal launch script with the internal JVM file. Either the "
            "launch script or the JVM file is missing from the launcher.",
            LOG_ERROR);
        return -1;
    }
    return runLaunchScript(*entry->m_tagFile, uiSeconds);
}
