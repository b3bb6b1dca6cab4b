#include "Launcher.h"
#include "LauncherException.h"

void Launcher::initializeUI() {
    throw LauncherException("initializeUI is not available yet");
}

int Launcher::launch(const SString&, short) {
    throw LauncherException("launch is not available yet");
}

int Launcher::ilaunch(long, short) {
    throw LauncherException("ilaunch is not available yet");
}
