// Stand-ins for the signal members of PlatformImpl, linked in place of
// PlatformImplSignals.cpp by the fuzz targets and their regression test. No
// handler is installed and no signal is ever pending; instead the check that
// the instruction interpreter makes before every instruction spends a budget,
// so that a program that loops for ever ends like an interrupted one.
#include "FuzzTargets.h"
#include "launcher/LauncherException.h"
#include "platform/PlatformImpl.h"

namespace {

long g_instructionsLeft = kInstructionBudget;

}  // namespace

void resetInstructionBudget() {
    g_instructionsLeft = kInstructionBudget;
}

void PlatformImpl::installSignalHandlers() {}

int PlatformImpl::pendingSignal() {
    return 0;
}

void PlatformImpl::throwIfInterrupted() {
    if (g_instructionsLeft <= 0) {
        throw LauncherException("Instruction budget of the fuzz target spent.");
    }
    --g_instructionsLeft;
}

void PlatformImpl::setRunningChild(int) {}

void PlatformImpl::setSignalsForChild(bool) {}

void PlatformImpl::blockEndingSignals(sigset_t& previous) {
    sigprocmask(SIG_BLOCK, nullptr, &previous);
}

bool PlatformImpl::childWasSignalled() {
    return false;
}
