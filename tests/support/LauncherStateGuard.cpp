#include "support/LauncherStateGuard.h"

#include <unistd.h>

#include <climits>
#include <csignal>
#include <utility>

#include "Console.h"
#include "Launcher.h"
#include "LauncherInputFiles.h"
#include "PlatformImpl.h"

namespace testsupport {

// The state of a fresh launcher process, as the definitions of the static
// members initialise it.
struct LauncherStateGuard::State {
    SString logFileName;
    bool logFileInitialized = false;
    SString launcherFileName;
    SString origLauncherFileName;
    SString stringVariables[10];
    long numericVariables[5] = {0, 0, 0, 0, 0};
    StringDeque args;
    StringDeque passThroughArgs;
    SString userJavaHome;
    bool showJavaConsole = false;
    LauncherInputFiles inputFiles;
    int launcherPurpose = -1;
    SString applicationArchive;

    SString tempDir;
    StringDeque createdFiles;
    StringDeque createdDirs;
    bool deleteLauncher = false;
    bool silent = false;
    UISubStatus subStatus = SUBSTATUS_NONE;
    SString subStatusData;
    sig_atomic_t canceled = 0;
    bool outputEnabled = true;
};

namespace {

// Deques are never copied; their slot arrays change hands.
void swapDeques(GenericDeque& a, GenericDeque& b) {
    std::swap(a.items, b.items);
    std::swap(a.count, b.count);
    std::swap(a.growBy, b.growBy);
    std::swap(a.capacity, b.capacity);
}

void swapJVMFiles(JVMFiles& a, JVMFiles& b) {
    swapDeques(a.m_jvmFileDeque, b.m_jvmFileDeque);
    swapDeques(a.m_unverifiedMatches, b.m_unverifiedMatches);
    std::swap(a.m_match, b.m_match);
    std::swap(a.m_stopAtFirstMatch, b.m_stopAtFirstMatch);
    std::swap(a.m_verifyClasspath, b.m_verifyClasspath);
    std::swap(a.m_verifyClassName, b.m_verifyClassName);
}

void swapInputFiles(LauncherInputFiles& a, LauncherInputFiles& b) {
    swapDeques(a.m_fileIndex, b.m_fileIndex);
    swapDeques(a.m_tagFiles, b.m_tagFiles);
    std::swap(a.m_instructions, b.m_instructions);
    std::swap(a.m_launchScript, b.m_launchScript);
    swapJVMFiles(a.m_jvmFiles, b.m_jvmFiles);
    std::swap(a.m_jvmFilesLoaded, b.m_jvmFilesLoaded);
    std::swap(a.m_loaded, b.m_loaded);
}

bool isInside(const SString& path, const std::string& dir) {
    return std::string(path.c_str()).compare(0, dir.size() + 1, dir + "/") == 0;
}

}  // namespace

LauncherStateGuard::LauncherStateGuard(const std::string& tempDir)
    : temp_(tempDir), saved_(std::make_unique<State>()) {
    char cwd[PATH_MAX];
    cwd_ = getcwd(cwd, sizeof cwd) != nullptr ? cwd : "/";
    exchange(*saved_);
    PlatformImpl::m_tempDir = temp_.path().c_str();
}

LauncherStateGuard::~LauncherStateGuard() {
    exchange(*saved_);
    int changed = chdir(cwd_.c_str());
    (void)changed;
}

void LauncherStateGuard::exchange(State& state) {
    std::swap(state.logFileName, Launcher::m_logFileName);
    std::swap(state.logFileInitialized, Launcher::m_logFileInitialized);
    std::swap(state.launcherFileName, Launcher::m_launcherFileName);
    std::swap(state.origLauncherFileName, Launcher::m_origLauncherFileName);
    std::swap(state.stringVariables, Launcher::m_stringVariables);
    std::swap(state.numericVariables, Launcher::m_numericVariables);
    swapDeques(state.args, Launcher::m_args);
    swapDeques(state.passThroughArgs, Launcher::m_passThroughArgs);
    std::swap(state.userJavaHome, Launcher::m_userJavaHome);
    std::swap(state.showJavaConsole, Launcher::m_showJavaConsole);
    swapInputFiles(state.inputFiles, Launcher::m_inputFiles);
    std::swap(state.launcherPurpose, Launcher::m_launcherPurpose);
    std::swap(state.applicationArchive, Launcher::m_applicationArchive);

    std::swap(state.tempDir, PlatformImpl::m_tempDir);
    swapDeques(state.createdFiles, PlatformImpl::m_sdqCreatedFiles);
    swapDeques(state.createdDirs, PlatformImpl::m_sdqCreatedDrs);
    std::swap(state.deleteLauncher, PlatformImpl::m_deleteLauncher);
    std::swap(state.silent, PlatformImpl::m_silent);
    std::swap(state.subStatus, PlatformImpl::m_subStatus);
    std::swap(state.subStatusData, PlatformImpl::m_subStatusData);
    sig_atomic_t canceled = PlatformImpl::m_canceled;
    PlatformImpl::m_canceled = state.canceled;
    state.canceled = canceled;
    std::swap(state.outputEnabled, g_enableOutput);
}

void LauncherStateGuard::checkTempDir() const {
    for (const StringDeque* list :
         {&PlatformImpl::m_sdqCreatedFiles, &PlatformImpl::m_sdqCreatedDrs}) {
        for (long i = 0; i < list->count; ++i) {
            if (isInside(list->at(i), temp_.path())) {
                PlatformImpl::deleteFile(list->at(i));
            }
        }
    }
    temp_.checkLeftovers();
}

}  // namespace testsupport
