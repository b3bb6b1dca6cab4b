// Entry point of the launcher: collect the arguments and the launcher's own
// path, run the command line, clean up, and turn the outcome into the exit
// status. Only this function turns a failure into an exit status.
#include <clocale>
#include <exception>

#include "base/TextUtils.h"
#include "launcher/Launcher.h"
#include "launcher/LauncherException.h"
#include "platform/PlatformImpl.h"

namespace {

// Failures that are not the launcher's own (memory exhausted, a broken
// invariant) are reported like its own errors.
int reportUnexpectedFailure(const char* reason) {
    SString text = joinText("Unexpected failure: ", reason);
    PlatformImpl::showUIMessage(text);
    Launcher::logMessage(text, LOG_ERROR);
    return -1;
}

int runLauncher(int argc, char** argv) {
    StringDeque args;
    for (int i = 1; i < argc; ++i) {
        args.push_back(SString(argv[i]));
    }
    SString launcherPath = PlatformImpl::getLauncherPath(argc > 0 ? argv[0] : nullptr);

    Launcher launcher;  // its destructor removes the temporary files
    try {
        return Launcher::process(args, launcherPath);
    } catch (const std::exception& e) {
        return reportUnexpectedFailure(e.what());
    } catch (...) {
        return reportUnexpectedFailure("internal error");
    }
}

}  // namespace

int main(int argc, char** argv) {
    // The display title may hold letters of the user's language.
    setlocale(LC_CTYPE, "");
    PlatformImpl::openMissingStandardStreams();
    PlatformImpl::installSignalHandlers();
    int result = runLauncher(argc, argv);
    int signal = PlatformImpl::pendingSignal();
    return signal != 0 ? 128 + signal : result;
}
