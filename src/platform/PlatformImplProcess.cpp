// Platform layer: child processes and the capture of their output. Only
// src/platform/ talks to the operating system.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include "base/ScopedFile.h"
#include "base/TextUtils.h"
#include "launcher/Launcher.h"
#include "launcher/LauncherException.h"
#include "platform/CmdLine.h"
#include "platform/PlatformImpl.h"

namespace {

const unsigned int kChunkSize = 4096;
// A captured child is read in larger steps, so that a program that writes
// much does not cost a system call per page; the progress still shows one
// mark per kChunkSize bytes.
const unsigned int kCaptureChunkSize = 65536;

// While the child runs, how often the capture loop looks whether it has ended
// although its pipes are still open (a process it left behind may hold them).
const int kEndCheckMs = 50;
// Once the child has ended, output is still read while it keeps coming, but
// no longer than this quiet time without data, nor in all longer than the
// limit after the end: a background process that inherited the pipes must
// not keep the launcher waiting.
const int kQuietAfterEndMs = 100;
const long kDrainLimitAfterEndMs = 1000;

// Closes a file descriptor on every way out.
class ScopedFd {
  public:
    ScopedFd() : m_fd(-1) {}
    ~ScopedFd() { close(); }
    ScopedFd(const ScopedFd&) = delete;
    ScopedFd& operator=(const ScopedFd&) = delete;

    int get() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }
    void reset(int fd) {
        close();
        m_fd = fd;
    }
    void close() {
        if (m_fd >= 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }

  private:
    int m_fd;
};

struct Pipe {
    ScopedFd read;
    ScopedFd write;
};

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

// Appends to a text that may grow large, doubling its room when it is full,
// so that appending a stream costs time in proportion to its length.
void appendGrowing(SString& text, const char* data, size_t size) {
    size_t needed = text.length() + size;
    if (needed > text.capacity()) {
        size_t doubled = 2 * static_cast<size_t>(text.capacity());
        text.reserve(static_cast<unsigned int>(
            std::min(std::max(needed, doubled), size_t(SString().max_size()))));
    }
    text.append(data, static_cast<unsigned int>(size));
}

void appendChunk(SString* text, const char* buffer, unsigned int size) {
    if (text != nullptr && size > 0) {
        appendGrowing(*text, buffer, size);
    }
    PlatformImpl::advanceUIProgress(1);
}

// What is kept of one captured stream: everything up to `limit` bytes (0: no
// limit); beyond, its first and its last limit / 2 bytes, with a line between
// that says how many bytes were not kept. The rest is read and dropped, so
// that a child that writes without end neither blocks nor exhausts the
// launcher.
class KeptOutput {
  public:
    KeptOutput(SString* text, size_t limit)
        : m_text(text),
          m_headRoom(limit == 0 ? SIZE_MAX : limit / 2),
          m_tail(limit == 0 ? 0 : limit - limit / 2) {}

    void append(const char* data, size_t size) {
        PlatformImpl::advanceUIProgress(static_cast<long>((size + kChunkSize - 1) / kChunkSize));
        if (m_text == nullptr) {
            return;
        }
        size_t head = std::min(size, m_headRoom);
        appendGrowing(*m_text, data, head);
        m_headRoom -= head;
        addToTail(data + head, size - head);
    }

    // Writes the kept end of the stream after its beginning.
    void finish() {
        if (m_tailUsed == 0) {
            return;
        }
        if (m_dropped > 0) {
            *m_text += joinText("\n[", convertToString(static_cast<long>(m_dropped)),
                                " bytes of output not kept]\n");
        }
        size_t start = (m_tailNext + m_tail.size() - m_tailUsed) % m_tail.size();
        size_t first = std::min(m_tailUsed, m_tail.size() - start);
        appendGrowing(*m_text, m_tail.data() + start, first);
        appendGrowing(*m_text, m_tail.data(), m_tailUsed - first);
        m_tailUsed = 0;
    }

  private:
    // Writes into the ring of the last bytes, dropping the oldest.
    void addToTail(const char* data, size_t size) {
        if (size > m_tail.size()) {
            m_dropped += size - m_tail.size();
            data += size - m_tail.size();
            size = m_tail.size();
        }
        size_t overwritten = std::max(m_tailUsed + size, m_tail.size()) - m_tail.size();
        m_dropped += overwritten;
        m_tailUsed += size - overwritten;
        while (size > 0) {
            size_t step = std::min(size, m_tail.size() - m_tailNext);
            std::copy(data, data + step, m_tail.begin() + static_cast<long>(m_tailNext));
            m_tailNext = (m_tailNext + step) % m_tail.size();
            data += step;
            size -= step;
        }
    }

    SString* m_text;
    size_t m_headRoom;
    std::vector<char> m_tail;
    size_t m_tailNext = 0;
    size_t m_tailUsed = 0;
    size_t m_dropped = 0;
};

long long monotonicMs() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// The moment at which a child's time limit passes; none for a limit of 0.
class Deadline {
  public:
    explicit Deadline(long limitMs) : m_at(limitMs > 0 ? monotonicMs() + limitMs : 0) {}
    bool isSet() const { return m_at != 0; }
    bool passed() const { return isSet() && monotonicMs() >= m_at; }

  private:
    long long m_at;
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

// The child runs in a process group of its own, so that a signal passed on
// to it reaches the shell and everything the shell started (dash does not
// exec the last command of "sh -c"). When the launcher is the foreground
// job of a terminal, the terminal is handed to the child's group while it
// runs, so that it can read the terminal and Ctrl-C and Ctrl-Z reach it
// directly, and taken back afterwards.
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

// Holds the terminal for the child's group while the child runs.
class TerminalHandoff {
  public:
    TerminalHandoff(int terminal, pid_t child) : m_terminal(terminal), m_child(child) {
        handOver();
    }
    ~TerminalHandoff() { takeBack(); }
    TerminalHandoff(const TerminalHandoff&) = delete;
    TerminalHandoff& operator=(const TerminalHandoff&) = delete;

    void handOver() {
        if (m_terminal >= 0) {
            giveTerminalTo(m_terminal, m_child);
        }
    }
    void takeBack() {
        if (m_terminal >= 0) {
            giveTerminalTo(m_terminal, getpgrp());
        }
    }
    // The child's group was stopped at the terminal (Ctrl-Z): stop the
    // launcher too, so that the shell sees its job stopped; when the job is
    // continued, continue the child's group with it.
    void followStop() {
        takeBack();
        raise(SIGTSTP);
        handOver();
        kill(-m_child, SIGCONT);
    }
    bool watchesStops() const { return m_terminal >= 0; }

  private:
    int m_terminal;
    pid_t m_child;
};

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

// ---- Waiting and capturing ------------------------------------------------------

// Waits for the child's end (options 0) or only looks (WNOHANG). Returns true
// with its status once it has ended; after that it is no longer signalled.
// A child stopped at the terminal stops the launcher along with it.
bool reapChild(pid_t pid, int options, int& status, TerminalHandoff& terminal) {
    if (terminal.watchesStops()) {
        options |= WUNTRACED;
    }
    // A stop is followed, then the wait goes on as after an interruption.
    pid_t result = retryOnEintr([&]() -> pid_t {
        pid_t reaped = waitpid(pid, &status, options);
        if (reaped == pid && WIFSTOPPED(status)) {
            terminal.followStop();
            errno = EINTR;
            return (options & WNOHANG) ? 0 : -1;
        }
        return reaped;
    });
    if (result == 0) {
        return false;
    }
    int error = errno;
    PlatformImpl::setRunningChild(0);
    if (result < 0) {
        throwSystemError("Error waiting for child process: ", error);
    }
    return true;
}

// Kills the child with everything in its process group (the shell and what
// it started) and reaps it.
void killChildGroup(pid_t pid, int& status, TerminalHandoff& terminal) {
    kill(-pid, SIGKILL);
    reapChild(pid, 0, status, terminal);
}

// Waits for the child's end; when the deadline passes first, kills it with
// its group. Returns false then, true when it ended by itself.
bool waitForChild(pid_t pid, const Deadline& deadline, int& status, TerminalHandoff& terminal) {
    if (!deadline.isSet()) {
        reapChild(pid, 0, status, terminal);
        return true;
    }
    // A child that has just closed its output ends a moment later: look
    // again soon, then less and less often.
    int pauseMs = 1;
    while (!reapChild(pid, WNOHANG, status, terminal)) {
        if (deadline.passed()) {
            killChildGroup(pid, status, terminal);
            return false;
        }
        poll(nullptr, 0, pauseMs);
        pauseMs = std::min(2 * pauseMs, kEndCheckMs);
    }
    return true;
}

struct CapturedStream {
    ScopedFd* fd;
    KeptOutput kept;
};

// Waits up to `timeoutMs` for data or an end on the open streams; polled[i]
// belongs to streams[i] (a closed stream has fd -1, which poll passes over).
// Returns the number of ready streams, or -1 with errno when poll fails.
int pollStreams(const CapturedStream* streams, pollfd* polled, int timeoutMs) {
    for (int i = 0; i < 2; ++i) {
        polled[i] = {streams[i].fd->get(), POLLIN, 0};
    }
    return retryOnEintr([&] { return poll(polled, 2, timeoutMs); });
}

// Reads one chunk from each stream that poll found ready; a stream at its
// end is closed.
void readReadyStreams(CapturedStream* streams, const pollfd* polled) {
    for (int i = 0; i < 2; ++i) {
        if (polled[i].revents == 0) {
            continue;
        }
        static char buffer[kCaptureChunkSize];
        ssize_t size =
            retryOnEintr([&] { return read(streams[i].fd->get(), buffer, sizeof buffer); });
        if (size <= 0) {
            streams[i].fd->close();
        } else {
            streams[i].kept.append(buffer, static_cast<size_t>(size));
        }
    }
}

// Reads everything the child writes on both pipes as it arrives, so that it
// never blocks on a full pipe, until both are at their end. Once the child
// has ended (and, with `killGroup`, everything left in its group is killed),
// reading stops after kQuietAfterEndMs without data or at the latest
// kDrainLimitAfterEndMs after the end. When the deadline passes before the
// child ends, the child is killed with its group and false is returned;
// otherwise true. *status gets the child's status.
bool readUntilEnd(pid_t pid, TerminalHandoff& terminal, const Deadline& deadline,
                  CapturedStream* streams, bool killGroup, int& status) {
    bool ended = false;
    long long endTime = 0;
    while (streams[0].fd->isOpen() || streams[1].fd->isOpen()) {
        if (!ended && reapChild(pid, WNOHANG, status, terminal)) {
            ended = true;
            endTime = monotonicMs();
            if (killGroup) {
                kill(-pid, SIGKILL);
            }
        }
        if (!ended && deadline.passed()) {
            killChildGroup(pid, status, terminal);
            return false;
        }
        if (ended && monotonicMs() - endTime >= kDrainLimitAfterEndMs) {
            break;
        }
        pollfd polled[2];
        int ready = pollStreams(streams, polled, ended ? kQuietAfterEndMs : kEndCheckMs);
        if (ready < 0) {
            int error = errno;
            // Closed pipes cannot keep the child blocked while it is waited for.
            streams[0].fd->close();
            streams[1].fd->close();
            if (!ended) {
                reapChild(pid, 0, status, terminal);
            }
            throwSystemError("Error reading the output of a child process: ", error);
        }
        if (ready == 0 && ended) {
            break;
        }
        readReadyStreams(streams, polled);
    }
    return ended || waitForChild(pid, deadline, status, terminal);
}

// readUntilEnd, keeping what `options` say of each stream in *outText and
// *errText.
bool collectOutput(pid_t pid, TerminalHandoff& terminal, const Deadline& deadline, Pipe& out,
                   Pipe& err, SString* outText, SString* errText, const ProcessOptions& options,
                   int& status) {
    CapturedStream streams[2] = {{&out.read, KeptOutput(outText, options.captureLimit)},
                                 {&err.read, KeptOutput(errText, options.captureLimit)}};
    bool ended = readUntilEnd(pid, terminal, deadline, streams, options.killGroupAtEnd, status);
    streams[0].kept.finish();
    streams[1].kept.finish();
    return ended;
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
            prctl(PR_SET_CHILD_SUBREAPER, 1);
        }
    }
    ~ProbeReaper() {
        if (!m_probe) {
            return;
        }
        killChildrenBut(m_earlierChildren);
        if (!PlatformImpl::childWasSignalled()) {
            prctl(PR_SET_CHILD_SUBREAPER, 0);
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
    return ended ? exitCodeOf(status) : processTimedOut;
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

unsigned int readFromFile(FILE* stream, SString* text) {
    char buffer[kChunkSize];
    unsigned int size = 0;
    while (!feof(stream) && !ferror(stream)) {
        size = static_cast<unsigned int>(fread(buffer, 1, sizeof buffer, stream));
        appendChunk(text, buffer, size);
    }
    return size;
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
