// Platform layer: SIGINT, SIGTERM, SIGHUP and SIGXFSZ. Only src/platform/ talks to the
// operating system.
#include <cerrno>
#include <csignal>

#include <sys/types.h>

#include "LauncherException.h"
#include "PlatformImpl.h"
#include "TextUtils.h"

namespace {

volatile sig_atomic_t g_pendingSignal = 0;
volatile sig_atomic_t g_runningChild = 0;

const int kHandledSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Only async-signal-safe work: record, raise the cancel flag, pass the
// signal on to the child so that it ends too and the launcher can clean up.
void onSignal(int signalNumber) {
    int savedErrno = errno;
    g_pendingSignal = signalNumber;
    PlatformImpl::m_canceled = true;
    pid_t child = g_runningChild;
    // The child leads a process group of its own: everything it started
    // gets the signal too.
    if (child > 0 && kill(-child, signalNumber) != 0) {
        kill(child, signalNumber);
    }
    errno = savedErrno;
}

// A write past the file size limit (ulimit -f) raises SIGXFSZ, whose default
// ends the launcher without cleanup. Caught, it lets the write fail with
// EFBIG, which is reported like a full disk. Unlike an ignored signal, a
// caught one is back at its default in the programs the launcher starts.
void onFileSizeLimit(int) {}

}  // namespace

void PlatformImpl::installSignalHandlers() {
    struct sigaction fileSizeAction = {};
    fileSizeAction.sa_handler = onFileSizeLimit;
    sigemptyset(&fileSizeAction.sa_mask);
    sigaction(SIGXFSZ, &fileSizeAction, nullptr);

    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (int signalNumber : kHandledSignals) {
        sigaddset(&action.sa_mask, signalNumber);
    }
    for (int signalNumber : kHandledSignals) {
        // A signal ignored from the start (nohup, a background job) stays
        // ignored, for the launcher and, through exec, for its children.
        struct sigaction previous;
        if (sigaction(signalNumber, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) {
            continue;
        }
        sigaction(signalNumber, &action, nullptr);
    }
}

int PlatformImpl::pendingSignal() {
    return g_pendingSignal;
}

void PlatformImpl::throwIfInterrupted() {
    int signalNumber = g_pendingSignal;
    if (signalNumber != 0) {
        throw LauncherException(
            joinText("Interrupted by signal ", convertToString(signalNumber), '.'));
    }
}

void PlatformImpl::setRunningChild(int pid) {
    g_runningChild = pid;
}
