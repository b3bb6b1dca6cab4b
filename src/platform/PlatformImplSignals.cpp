// Platform layer: the signals that would end the launcher, SIGPIPE and
// SIGXFSZ. Only src/platform/ talks to the operating system.
#include <cerrno>
#include <csignal>
#include <vector>

#include <sys/types.h>

#include "base/TextUtils.h"
#include "launcher/LauncherException.h"
#include "platform/PlatformImpl.h"
#include "platform/ProcessSupport.h"

namespace {

volatile sig_atomic_t g_pendingSignal = 0;
volatile sig_atomic_t g_runningChild = 0;
volatile sig_atomic_t g_childSignalled = 0;
bool g_pipeIgnoredAtStart = false;
// The signals that have the launcher's handler, for a child to set back to
// their default between fork and exec without allocating.
int g_handled[128];
int g_handledCount = 0;

// Signals that a running child gets instead of the launcher: Java prints a
// thread dump on SIGQUIT, and the user signals are the program's.
bool isForwardedOnly(int signalNumber) {
    return signalNumber == SIGQUIT || signalNumber == SIGUSR1 || signalNumber == SIGUSR2;
}

// Only async-signal-safe work. A signal for the child is passed on to its
// process group, so that everything it started gets it too. A signal that
// ends the launcher is recorded and raises the cancel flag: walks,
// extractions and the instruction program wind down, a running child is
// waited for, and main cleans up and ends with 128 + the signal.
void onSignal(int signalNumber) {
    int savedErrno = errno;
    pid_t child = g_runningChild;
    if (child > 0) {
        // What the child leaves when it ends becomes the launcher's child
        // from now on, so that the launcher can wait for the whole of the
        // program that it signalled. (Only then: a launcher that is the
        // reaper of every orphan of a long run would collect their zombies.)
        processsupport::setChildSubreaper(true);
        g_childSignalled = 1;
        if (kill(-child, signalNumber) != 0) {
            kill(child, signalNumber);
        }
    }
    if (child <= 0 || !isForwardedOnly(signalNumber)) {
        g_pendingSignal = signalNumber;
        PlatformImpl::m_canceled = true;
    }
    errno = savedErrno;
}

// A write past the file size limit (ulimit -f) raises SIGXFSZ, whose default
// ends the launcher without cleanup. Caught, it lets the write fail with
// EFBIG, which is reported like a full disk. Unlike an ignored signal, a
// caught one is back at its default in the programs the launcher starts.
void onFileSizeLimit(int) {}

// Every signal whose default ends the process and that the launcher can
// survive: those sent to end or notify it, not those of a fault in its own
// code (SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGTRAP, SIGSYS).
std::vector<int> endingSignals() {
    std::vector<int> signals = {SIGINT,  SIGTERM,   SIGHUP,  SIGQUIT, SIGUSR1, SIGUSR2,
                                SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU, SIGPOLL, SIGPWR};
#ifdef SIGSTKFLT
    signals.push_back(SIGSTKFLT);
#endif
    for (int signalNumber = SIGRTMIN; signalNumber <= SIGRTMAX; ++signalNumber) {
        signals.push_back(signalNumber);
    }
    return signals;
}

bool ignoredAtStart(int signalNumber) {
    struct sigaction previous;
    return sigaction(signalNumber, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN;
}

}  // namespace

void PlatformImpl::installSignalHandlers() {
    struct sigaction fileSizeAction = {};
    fileSizeAction.sa_handler = onFileSizeLimit;
    sigemptyset(&fileSizeAction.sa_mask);
    sigaction(SIGXFSZ, &fileSizeAction, nullptr);

    // A reader that goes away makes writes fail with EPIPE, which the
    // display and the result lines handle, instead of ending the launcher.
    g_pipeIgnoredAtStart = ignoredAtStart(SIGPIPE);
    g_handledCount = 0;
    for (int signalNumber : endingSignals()) {
        // A signal ignored from the start (nohup, a background job) stays
        // ignored, for the launcher and, through exec, for its children.
        if (!ignoredAtStart(signalNumber) &&
            g_handledCount < static_cast<int>(sizeof g_handled / sizeof g_handled[0])) {
            g_handled[g_handledCount++] = signalNumber;
        }
    }
    PlatformImpl::setSignalsForChild(false);
}

void PlatformImpl::setSignalsForChild(bool child) {
    if (!g_pipeIgnoredAtStart) {
        signal(SIGPIPE, child ? SIG_DFL : SIG_IGN);
    }
    // In a child, a signal that was held back while it was started must
    // reach the program it becomes, not the launcher's handler.
    struct sigaction action = {};
    action.sa_handler = child ? SIG_DFL : onSignal;
    sigemptyset(&action.sa_mask);
    for (int i = 0; !child && i < g_handledCount; ++i) {
        sigaddset(&action.sa_mask, g_handled[i]);
    }
    for (int i = 0; i < g_handledCount; ++i) {
        sigaction(g_handled[i], &action, nullptr);
    }
}

void PlatformImpl::blockEndingSignals(sigset_t& previous) {
    sigset_t set;
    sigemptyset(&set);
    for (int signalNumber : endingSignals()) {
        sigaddset(&set, signalNumber);
    }
    sigprocmask(SIG_BLOCK, &set, &previous);
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
    // A new child starts unsignalled; the last one, waited for again, keeps
    // what it got.
    static int lastChild = 0;
    if (pid > 0 && pid != lastChild) {
        g_childSignalled = 0;
        lastChild = pid;
    }
    g_runningChild = pid;
}

bool PlatformImpl::childWasSignalled() {
    return g_childSignalled != 0;
}
