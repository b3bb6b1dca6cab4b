#include "support/LauncherStateGuard.h"

#include <unistd.h>

#include <climits>
#include <csignal>
#include <utility>

#include "launcher/Launcher.h"
#include "payload/LauncherInputFiles.h"
#include "platform/Console.h"
#include "platform/PlatformImpl.h"
#include "support/TestSupport.h"

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
    bool displayFailed = false;
};

namespace {

// Deques are never copied; their slot arrays change hands.
void swapDeques(GenericDeque& a, GenericDeque& b) {
    std::swap(a.items, b.items);
    std::swap(a.count, b.count);
    std::swap(a.growBy, b.growBy);
    std::swap(a.capacity, b.capacity);
}

// The public members of the payload; JVMFiles' list of the homes tried
// during a walk is private, and every walk starts it anew.
void swapInputFiles(LauncherInputFiles& a, LauncherInputFiles& b) {
    swapDeques(a.m_fileIndex, b.m_fileIndex);
    swapDeques(a.m_tagFiles, b.m_tagFiles);
    std::swap(a.m_instructions, b.m_instructions);
    std::swap(a.m_launchScript, b.m_launchScript);
    JVMFiles& jvmA = a.m_jvmFiles;
    JVMFiles& jvmB = b.m_jvmFiles;
    swapDeques(jvmA.m_jvmFileDeque, jvmB.m_jvmFileDeque);
    swapDeques(jvmA.m_unverifiedMatches, jvmB.m_unverifiedMatches);
    std::swap(jvmA.m_match, jvmB.m_match);
    std::swap(jvmA.m_stopAtFirstMatch, jvmB.m_stopAtFirstMatch);
    std::swap(jvmA.m_verifyClass, jvmB.m_verifyClass);
    std::swap(a.m_jvmFilesLoaded, b.m_jvmFilesLoaded);
    std::swap(a.m_loaded, b.m_loaded);
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
    std::swap(state.userJavaHome, Launcher::m_userJavaHome);
    std::swap(state.showJavaConsole, Launcher::m_showJavaConsole);
    std::swap(state.launcherPurpose, Launcher::m_launcherPurpose);
    std::swap(state.applicationArchive, Launcher::m_applicationArchive);
    swapInputFiles(state.inputFiles, Launcher::m_inputFiles);
    for (auto deques : {std::pair<GenericDeque*, GenericDeque*>(&state.args, &Launcher::m_args),
                        {&state.passThroughArgs, &Launcher::m_passThroughArgs},
                        {&state.createdFiles, &PlatformImpl::m_sdqCreatedFiles},
                        {&state.createdDirs, &PlatformImpl::m_sdqCreatedDrs}}) {
        swapDeques(*deques.first, *deques.second);
    }
    std::swap(state.tempDir, PlatformImpl::m_tempDir);
    std::swap(state.deleteLauncher, PlatformImpl::m_deleteLauncher);
    std::swap(state.silent, PlatformImpl::m_silent);
    sig_atomic_t canceled = PlatformImpl::m_canceled;
    PlatformImpl::m_canceled = state.canceled;
    state.canceled = canceled;
    std::swap(state.subStatus, PlatformImpl::m_subStatus);
    std::swap(state.subStatusData, PlatformImpl::m_subStatusData);
    std::swap(state.outputEnabled, g_enableOutput);
    std::swap(state.displayFailed, g_displayFailed);
}

void LauncherStateGuard::checkTempDir() const {
    for (const StringDeque* list :
         {&PlatformImpl::m_sdqCreatedFiles, &PlatformImpl::m_sdqCreatedDrs}) {
        for (const std::string& path : listOf(*list)) {
            if (path.compare(0, temp_.path().size() + 1, temp_.path() + "/") == 0) {
                PlatformImpl::deleteFile(path.c_str());
            }
        }
    }
    temp_.checkLeftovers();
}

}  // namespace testsupport
