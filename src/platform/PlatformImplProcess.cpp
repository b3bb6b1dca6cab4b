// Platform layer: starting child processes, and the launcher's replacement
// by a program. Only src/platform/ talks to the operating system.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include "base/ScopedFile.h"
#include "base/TextUtils.h"
#include "launcher/Launcher.h"
#include "launcher/LauncherException.h"
#include "platform/CmdLine.h"
#include "platform/PlatformImpl.h"
#include "platform/ProcessSupport.h"

using processsupport::Deadline;
using processsupport::Pipe;
using processsupport::ScopedFd;
using processsupport::TerminalHandoff;

namespace {

// Blocks the signals that the launcher passes on to its child, for as long as
// it lives: one that comes while the child is being started is delivered at
// the end, when the handler knows the child.
class SignalBlock {
  public:
    SignalBlock() { PlatformImpl::blockEndingSignals(m_previous); }
    ~SignalBlock() { sigprocmask(SIG_SETMASK, &m_previous, nullptr); }
    SignalBlock(const SignalBlock&) = delete;
    SignalBlock& operator=(const SignalBlock&) = delete;

    const sigset_t& previous() const { return m_previous; }

  private:
    sigset_t m_previous;
};

// ---- Replacing the launcher -------------------------------------------------

// The argv of exec for the arguments, which must outlive it.
std::vector<char*> argumentVector(const StringDeque& arguments) {
    std::vector<char*> argv;
    for (long i = 0; i < arguments.count; ++i) {
        argv.push_back(const_cast<char*>(arguments.at(i).c_str()));
    }
    argv.push_back(nullptr);
    return argv;
}

// Replaces the process image with arguments[0]; with `searchPath`, a name
// without "/" is looked up in PATH. Returns only on failure, with errno set.
void execArguments(const StringDeque& arguments, bool searchPath) {
    std::vector<char*> argv = argumentVector(arguments);
    // Whatever stdio still holds would be lost with the process image.
    fflush(stdout);
    fflush(stderr);
    PlatformImpl::setSignalsForChild(true);
    if (searchPath) {
        execvp(argv[0], argv.data());
    } else {
        execv(argv[0], argv.data());
    }
    int error = errno;
    PlatformImpl::setSignalsForChild(false);
    errno = error;
}

int replaceLauncher(const SString& command) {
    CmdLine cmdLine;
    cmdLine.parse(command);
    if (cmdLine.getOptionCount() == 0) {
        return 0;
    }
    StringDeque arguments;
    for (int i = 0; i < cmdLine.getOptionCount(); ++i) {
        arguments.push_back(cmdLine.getOption(i));
    }
    execArguments(arguments, true);
    int error = errno;
    Launcher::logMessage(
        systemErrorMessage(joinText("Could not start ", arguments.at(0), ": "), error),
        LOG_WARNING);
    return 0;
}

// ---- The terminal -----------------------------------------------------------------

// The terminal to hand to the child (see TerminalHandoff), or -1.
int foregroundTerminal() {
    if (isatty(STDIN_FILENO) && tcgetpgrp(STDIN_FILENO) == getpgrp()) {
        return STDIN_FILENO;
    }
    return -1;
}

// Gives the terminal to a process group; SIGTTOU is held back, since the
// caller may itself be in the background by then.
void giveTerminalTo(int terminal, pid_t group) {
    sigset_t ttou;
    sigset_t previous;
    sigemptyset(&ttou);
    sigaddset(&ttou, SIGTTOU);
    sigprocmask(SIG_BLOCK, &ttou, &previous);
    tcsetpgrp(terminal, group);
    sigprocmask(SIG_SETMASK, &previous, nullptr);
}

}  // namespace

void TerminalHandoff::handOver() {
    if (m_terminal >= 0) {
        giveTerminalTo(m_terminal, m_child);
    }
}

void TerminalHandoff::takeBack() {
    if (m_terminal >= 0) {
        giveTerminalTo(m_terminal, getpgrp());
    }
}

void TerminalHandoff::followStop() {
    takeBack();
    raise(SIGTSTP);
    handOver();
    kill(-m_child, SIGCONT);
}

namespace {

// ---- Starting a child ---------------------------------------------------------

// Takes `fd` (opened close-on-exec) into `target`. A descriptor that landed
// on 0, 1 or 2 (the launcher was started with one of them closed) is moved
// higher, or the child's dup2 calls would overwrite it, or, copied onto
// itself, keep its close-on-exec flag.
void keepAboveStandardStreams(ScopedFd& target, int fd, const char* failure) {
    target.reset(fd);
    if (fd <= STDERR_FILENO) {
        int moved = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
        if (moved < 0) {
            int error = errno;
            throwSystemError(failure, error);
        }
        target.reset(moved);
    }
}

// Both ends are closed on exec; the child's dup2 copies onto its standard
// output and error are not.
void openPipe(Pipe& pipe, const char* failure = "Couldn't create either stdout or stderr pipe: ") {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        int error = errno;
        throwSystemError(failure, error);
    }
    keepAboveStandardStreams(pipe.read, fds[0], failure);
    keepAboveStandardStreams(pipe.write, fds[1], failure);
}

// /dev/null for the child's standard input, closed on exec like the pipes.
void openNullInput(ScopedFd& input) {
    const char* failure = "Couldn't open /dev/null for the standard input of a new process: ";
    int fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        int error = errno;
        throwSystemError(failure, error);
    }
    keepAboveStandardStreams(input, fd, failure);
}

// The step at which a child failed before its program ran, as the child
// reports it on its error pipe.
enum StartStep { STEP_DIRECTORY, STEP_INPUT, STEP_CAPTURE, STEP_EXEC };

struct StartFailure {
    int step;
    int error;
};

// Everything the child needs, made before the fork: the child itself must
// not allocate.
struct ChildSetup {
    std::vector<char*> argv;
    const char* directory;
    const Pipe* out;
    const Pipe* err;
    const ScopedFd* input;
    const Pipe* errors;
    const sigset_t* signalMask;
    int terminal;
};

// DANGER: runs in the forked copy of the launcher. It never returns, throws or
// calls exit(): the launcher's destructors and exit handlers would delete the
// parent's temporary files and write its stdio buffers a second time. A step
// that fails is reported on the error pipe, which the exec closes when it
// succeeds.
[[noreturn]] void failStart(const ChildSetup& setup, StartStep step) {
    StartFailure failure = {step, errno};
    ssize_t ignored = write(setup.errors->write.get(), &failure, sizeof failure);
    (void)ignored;
    _exit(127);
}

[[noreturn]] void runChild(const ChildSetup& setup) {
    setpgid(0, 0);
    if (setup.terminal >= 0) {
        giveTerminalTo(setup.terminal, getpid());
    }
    if (setup.directory[0] != '\0' && chdir(setup.directory) != 0) {
        failStart(setup, STEP_DIRECTORY);
    }
    if (setup.input->isOpen() && dup2(setup.input->get(), STDIN_FILENO) < 0) {
        failStart(setup, STEP_INPUT);
    }
    if (setup.out != nullptr && (dup2(setup.out->write.get(), STDOUT_FILENO) < 0 ||
                                 dup2(setup.err->write.get(), STDERR_FILENO) < 0)) {
        failStart(setup, STEP_CAPTURE);
    }
    PlatformImpl::setSignalsForChild(true);
    sigprocmask(SIG_SETMASK, setup.signalMask, nullptr);
    // A name without "/" is looked up in PATH, and a file that the kernel
    // cannot execute is run by /bin/sh, as a shell would.
    execvp(setup.argv[0], setup.argv.data());
    failStart(setup, STEP_EXEC);
}

// Starts the program in a child whose standard output and error go to the two
// pipes when they are given, and whose standard input is /dev/null with
// `nullInput`. The working directory is changed in the child only. The
// signals that the launcher passes on stay blocked until the child has run
// its program (or reported on its error pipe why it could not: `failure`
// then has a step, else -1), so that one that comes meanwhile is passed on
// to the program and not to the copy of the launcher before the exec.
pid_t startChild(const StringDeque& arguments, const SString& workingDir, int terminal, Pipe* out,
                 Pipe* err, bool nullInput, StartFailure& failure) {
    SignalBlock block;
    PlatformImpl::throwIfInterrupted();
    ScopedFd input;
    if (nullInput) {
        openNullInput(input);
    }
    if (out != nullptr) {
        openPipe(*out);
        openPipe(*err);
    }
    Pipe errorPipe;
    openPipe(errorPipe, "Couldn't create the error pipe of a new process: ");
    ChildSetup setup = {argumentVector(arguments),
                        workingDir.c_str(),
                        out,
                        err,
                        &input,
                        &errorPipe,
                        &block.previous(),
                        terminal};
    fflush(stdout);
    fflush(stderr);
    pid_t pid = fork();
    if (pid < 0) {
        int error = errno;
        throwSystemError("Error forking new process: ", error);
    }
    if (pid == 0) {
        runChild(setup);
    }
    // Both sides set the group, so that it exists before either relies on it.
    setpgid(pid, pid);
    PlatformImpl::setRunningChild(pid);
    if (out != nullptr) {
        out->write.close();
        err->write.close();
    }
    errorPipe.write.close();
    // The exec closes the pipe: end of file without a report.
    ssize_t size =
        retryOnEintr([&] { return read(errorPipe.read.get(), &failure, sizeof failure); });
    if (size != static_cast<ssize_t>(sizeof failure)) {
        failure.step = -1;
    }
    return pid;
}

SString startFailureMessage(const StartFailure& failure, const StringDeque& arguments,
                            const SString& workingDir) {
    switch (failure.step) {
        case STEP_DIRECTORY:
            return systemErrorMessage(
                joinText("Error setting working directory: ", workingDir, ' '), failure.error);
        case STEP_INPUT:
            return systemErrorMessage("Error redirecting stdin in new process: ", failure.error);
        case STEP_CAPTURE:
            return systemErrorMessage("Error capturing stdout or stderr in new process: ",
                                      failure.error);
    }
    return systemErrorMessage(joinText("Unable to start ", arguments.at(0), ": "), failure.error);
}

// Waits for every process left in the child's group: once the child is
// gone they are the launcher's children (the launcher is their reaper during
// a probe and once it passed a signal on). A signal that comes meanwhile is
// passed on to the group.
void waitForGroup(pid_t group) {
    PlatformImpl::setRunningChild(group);
    int status;
    while (retryOnEintr([&] { return waitpid(-group, &status, 0); }) > 0) {
    }
    PlatformImpl::setRunningChild(0);
}

// After the child's end: a probe leaves nothing behind; a program that was
// signalled is waited for as a whole, so that nothing it still runs loses
// its files to the cleanup (a shell may end at a signal that the program
// it started survives).
void settleGroup(pid_t group, const ProcessOptions& options) {
    if (options.killGroupAtEnd) {
        kill(-group, SIGKILL);
        waitForGroup(group);
    } else if (PlatformImpl::childWasSignalled()) {
        waitForGroup(group);
    }
}

// The exit code as a shell reports it: 128 + the signal for a killed child.
int exitCodeOf(int status) {
    if (WIFSIGNALED(status)) {
        return 128 + WTERMSIG(status);
    }
    return WEXITSTATUS(status);
}

#ifdef __linux__
struct DirCloser {
    void operator()(DIR* directory) const { closedir(directory); }
};

// The launcher's children, as the kernel lists them for each of its threads;
// none where it cannot say.
std::vector<pid_t> childProcesses() {
    std::vector<pid_t> children;
    std::unique_ptr<DIR, DirCloser> tasks(opendir("/proc/self/task"));
    if (!tasks) {
        return children;
    }
    while (const dirent* task = readdir(tasks.get())) {
        if (task->d_name[0] == '.') {
            continue;
        }
        SString path = joinText("/proc/self/task/", task->d_name, "/children");
        ScopedFile list(fopen(path.c_str(), "r"));
        long pid = 0;
        while (list && fscanf(list.get(), "%ld", &pid) == 1) {
            children.push_back(static_cast<pid_t>(pid));
        }
    }
    return children;
}
#else
#error "A port supplies the list of the launcher's child processes (childProcesses)."
#endif

// Kills and reaps every child of the launcher that is not one of `kept`,
// round after round: a process killed in one round may leave children of its
// own (one that left the group with setsid, or forked twice), which then
// become the launcher's.
void killChildrenBut(const std::vector<pid_t>& kept) {
    for (;;) {
        std::vector<pid_t> orphans;
        for (pid_t child : childProcesses()) {
            if (std::find(kept.begin(), kept.end(), child) == kept.end()) {
                orphans.push_back(child);
            }
        }
        if (orphans.empty()) {
            return;
        }
        for (pid_t orphan : orphans) {
            kill(orphan, SIGKILL);
        }
        for (pid_t orphan : orphans) {
            retryOnEintr([&] { return waitpid(orphan, nullptr, 0); });
        }
    }
}

// While a probe runs, what it leaves becomes the launcher's child, so that
// the launcher can kill and reap all of it when the probe ends, wherever in
// the process tree it went; afterwards the orphans of the programs it runs
// are no longer its own to collect.
class ProbeReaper {
  public:
    explicit ProbeReaper(bool probe) : m_probe(probe) {
        if (m_probe) {
            m_earlierChildren = childProcesses();
            processsupport::setChildSubreaper(true);
        }
    }
    ~ProbeReaper() {
        if (!m_probe) {
            return;
        }
        killChildrenBut(m_earlierChildren);
        if (!PlatformImpl::childWasSignalled()) {
            processsupport::setChildSubreaper(false);
        }
    }
    ProbeReaper(const ProbeReaper&) = delete;
    ProbeReaper& operator=(const ProbeReaper&) = delete;

  private:
    bool m_probe;
    // What the launcher ran before the probe is not the probe's to end.
    std::vector<pid_t> m_earlierChildren;
};

// Runs the program in a child and waits for its end, collecting its output
// with `collect`; see PlatformImpl::runCaptured.
int runProcess(const StringDeque& arguments, const SString& workingDir, bool collect,
               SString* stdOut, SString* stdErr, const ProcessOptions& options) {
    ProbeReaper reaper(options.killGroupAtEnd);
    Pipe out;
    Pipe err;
    // A child that cannot read the terminal has no use for it.
    int terminal = options.nullInput ? -1 : foregroundTerminal();
    StartFailure failure;
    pid_t pid = startChild(arguments, workingDir, terminal, collect ? &out : nullptr,
                           collect ? &err : nullptr, options.nullInput, failure);
    TerminalHandoff handoff(terminal, pid);
    if (failure.step >= 0) {
        int status = 0;
        reapChild(pid, 0, status, handoff);
        throw LauncherException(startFailureMessage(failure, arguments, workingDir));
    }
    Deadline deadline(options.timeLimitMs);
    int status = 0;
    bool ended =
        collect ? collectOutput(pid, handoff, deadline, out, err, stdOut, stdErr, options, status)
                : waitForChild(pid, deadline, status, handoff);
    settleGroup(pid, options);
    return ended ? exitCodeOf(status) : kProcessTimedOut;
}

}  // namespace

int PlatformImpl::executeProcess(const SString& command, const SString& workingDir, bool,
                                 bool capture, bool redirect, SString* stdOut, SString* stdErr,
                                 bool replace, const ProcessOptions& options) {
    if (replace) {
        throwIfInterrupted();
        return replaceLauncher(command);
    }
    StringDeque shell;
    shell.push_back("/bin/sh");
    shell.push_back("-c");
    shell.push_back(command);
    // Without redirect the child writes to the launcher's own streams.
    return runProcess(shell, workingDir, capture && redirect, stdOut, stdErr, options);
}

int PlatformImpl::runCaptured(const StringDeque& arguments, const SString& workingDir,
                              SString* stdOut, SString* stdErr, const ProcessOptions& options) {
    return runProcess(arguments, workingDir, true, stdOut, stdErr, options);
}

int PlatformImpl::runAttached(const StringDeque& arguments, const SString& workingDir,
                              const ProcessOptions& options) {
    return runProcess(arguments, workingDir, false, nullptr, nullptr, options);
}

SString PlatformImpl::replaceProcess(const StringDeque& arguments) {
    execArguments(arguments, false);
    return SString(strerror(errno));
}

namespace {

// DANGER: runs in the forked copy of the launcher, in a session of its own.
// It never returns, throws or calls exit(). A second fork makes the program
// no child of the launcher, which does not wait for it.
[[noreturn]] void runDetachedChild(std::vector<char*>& argv, int input, int log,
                                   const sigset_t& signalMask) {
    setsid();
    if (fork() != 0) {
        _exit(0);
    }
    int ignored = nice(19);
    (void)ignored;
    if (dup2(input, STDIN_FILENO) < 0 || dup2(log, STDOUT_FILENO) < 0 ||
        dup2(log, STDERR_FILENO) < 0) {
        _exit(127);
    }
    PlatformImpl::setSignalsForChild(true);
    sigprocmask(SIG_SETMASK, &signalMask, nullptr);
    execv(argv[0], argv.data());
    _exit(127);
}

}  // namespace

SString PlatformImpl::startDetached(const StringDeque& arguments, const SString& logFile) {
    std::vector<char*> argv = argumentVector(arguments);
    ScopedFd input;
    openNullInput(input);
    ScopedFd log;
    log.reset(open(logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!log.isOpen()) {
        return systemErrorMessage(joinText("Unable to open ", logFile, ": "), errno);
    }
    // Its write end closes in the program's exec, or at its failure: the
    // launcher, whose file the program may be, ends only after that.
    Pipe started;
    openPipe(started);
    fflush(stdout);
    fflush(stderr);
    SignalBlock block;
    pid_t pid = fork();
    if (pid < 0) {
        return systemErrorMessage("Error forking new process: ", errno);
    }
    if (pid == 0) {
        runDetachedChild(argv, input.get(), log.get(), block.previous());
    }
    started.write.close();
    retryOnEintr([&] { return waitpid(pid, nullptr, 0); });
    char byte;
    while (retryOnEintr([&] { return read(started.read.get(), &byte, 1); }) > 0) {
    }
    return SString();
}