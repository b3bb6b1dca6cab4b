// Platform layer, shared by the sources that run child processes
// (PlatformImplProcess.cpp starts them, PlatformImplCapture.cpp waits for
// them and captures their output). Only src/platform/ talks to the operating
// system; nothing outside src/platform/ includes this header.
#pragma once

#include <ctime>

#include <sys/types.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include "base/SString.h"
#include "platform/PlatformImpl.h"

namespace processsupport {

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

inline long long monotonicMs() {
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

// The child runs in a process group of its own, so that a signal passed on
// to it reaches the shell and everything the shell started (dash does not
// exec the last command of "sh -c"). When the launcher is the foreground
// job of a terminal (`terminal` is then its descriptor, else -1), the
// terminal is handed to the child's group while it runs, so that it can read
// the terminal and Ctrl-C and Ctrl-Z reach it directly, and taken back
// afterwards.
class TerminalHandoff {
  public:
    TerminalHandoff(int terminal, pid_t child) : m_terminal(terminal), m_child(child) {
        handOver();
    }
    ~TerminalHandoff() { takeBack(); }
    TerminalHandoff(const TerminalHandoff&) = delete;
    TerminalHandoff& operator=(const TerminalHandoff&) = delete;

    void handOver();
    void takeBack();
    // The child's group was stopped at the terminal (Ctrl-Z): stop the
    // launcher too, so that the shell sees its job stopped; when the job is
    // continued, continue the child's group with it.
    void followStop();
    bool watchesStops() const { return m_terminal >= 0; }

  private:
    int m_terminal;
    pid_t m_child;
};

// Waits for the child's end (options 0) or only looks (WNOHANG). Returns true
// with its status once it has ended; after that it is no longer signalled.
// A child stopped at the terminal stops the launcher along with it.
bool reapChild(pid_t pid, int options, int& status, TerminalHandoff& terminal);

// Waits for the child's end; when the deadline passes first, kills it with
// its group. Returns false then, true when it ended by itself.
bool waitForChild(pid_t pid, const Deadline& deadline, int& status, TerminalHandoff& terminal);

// Reads everything the child writes on the read ends of `out` and `err` (its
// write ends already closed) until both end, keeping what `options` say of
// each stream in *outText and *errText (either may be null). Returns false
// when the deadline passed first and the child was killed with its group,
// else true; `status` gets the child's status.
bool collectOutput(pid_t pid, TerminalHandoff& terminal, const Deadline& deadline, Pipe& out,
                   Pipe& err, SString* outText, SString* errText, const ProcessOptions& options,
                   int& status);

// Makes the orphans of the launcher's descendants its own children (on), or
// lets them go to init again (off), so that the launcher can wait for or end
// everything a child left behind. Async-signal-safe.
inline void setChildSubreaper(bool on) {
#ifdef __linux__
    prctl(PR_SET_CHILD_SUBREAPER, on ? 1 : 0);
#else
#error "A port supplies a way to make the launcher the reaper of its descendants' orphans."
#endif
}

}  // namespace processsupport
