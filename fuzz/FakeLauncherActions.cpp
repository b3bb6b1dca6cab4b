// Harmless stand-ins for the JVM and launch actions of Launcher, linked in
// place of LauncherSearch.cpp, LauncherLaunch.cpp and LauncherInstall.cpp by
// the fuzz targets and their regression test. They never search the disk,
// start a process or replace the process image: they only set the variables
// that the real actions set, from their arguments, so that an instruction
// program takes both ways of a following JMP0.
#include "jvm/VerifyClass.h"
#include "launcher/Launcher.h"
#include "tagfile/TagFile.h"

SString Launcher::m_applicationArchive;

namespace {

const char* const kFakeHome = "/fuzz/jvm";
const char* const kFakeMatchFile = "/fuzz/jvm.match";

void setFound(bool found) {
    Launcher::setLongVariable(1, found ? 1 : 0);
    Launcher::setStringVariable(1, found ? SString(kFakeHome) : SString());
}

}  // namespace

void Launcher::initializeUI() {}

int Launcher::launch(const SString& jvmFilePath, short uiSeconds) {
    return static_cast<int>(jvmFilePath.length()) + uiSeconds;
}

int Launcher::ilaunch(long fileId, short uiSeconds) {
    return static_cast<int>(fileId % 256) + uiSeconds;
}

void Launcher::installJVM(InstallJVMOption option) {
    setFound(option != INSTALL_JVM_TEMP_QUIET);
}

void Launcher::installJVM(bool, bool, const SString&, const SString&) {}

void Launcher::executeEmbeddedLauncher(long) {}

const SString& Launcher::getApplicationArchive() {
    m_applicationArchive = "/fuzz/application.jar";
    return m_applicationArchive;
}

const SString& Launcher::getApplicationArchive(const SString& fileName) {
    if (m_applicationArchive.empty()) {
        m_applicationArchive = "/fuzz/";
        m_applicationArchive += fileName;
    }
    return m_applicationArchive;
}

// The payload's archives are never extracted, nor is an installed one looked
// for: the class path gets none of them and the verification class stays unset.
VerifyClass Launcher::getVerifyClass() {
    return VerifyClass();
}

bool Launcher::extractClasspathArchives(StringDeque&, const SString&) {
    return true;
}

void Launcher::findJVM(bool showProgress, bool) {
    setFound(showProgress);
    setStringVariable(2, showProgress ? SString(kFakeMatchFile) : SString());
}

void Launcher::verifyJVM(bool, bool, long fileId) {
    setFound(fileId % 2 == 0);
}

void Launcher::verifyJVM(bool, bool, TagFile&, const SString&) {}

void Launcher::verifyJVM(bool, bool, const SString&, const SString&) {}

void Launcher::search(bool, bool) {}

void Launcher::searchAll(bool, bool) {}
