// Platform layer: waiting for a child process and capturing its output
// through pipes. Only src/platform/ talks to the operating system.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <vector>

#include <poll.h>
#include <sys/types.h>
#include <sys/wait.h>

#include "base/TextUtils.h"
#include "launcher/LauncherException.h"
#include "platform/PlatformImpl.h"
#include "platform/ProcessSupport.h"

using processsupport::Deadline;
using processsupport::monotonicMs;
using processsupport::reapChild;
using processsupport::ScopedFd;
using processsupport::TerminalHandoff;
using processsupport::waitForChild;

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

}  // namespace

bool processsupport::reapChild(pid_t pid, int options, int& status, TerminalHandoff& terminal) {
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

namespace {

// Kills the child with everything in its process group (the shell and what
// it started) and reaps it.
void killChildGroup(pid_t pid, int& status, TerminalHandoff& terminal) {
    kill(-pid, SIGKILL);
    reapChild(pid, 0, status, terminal);
}

}  // namespace

bool processsupport::waitForChild(pid_t pid, const Deadline& deadline, int& status,
                                  TerminalHandoff& terminal) {
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

namespace {

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

}  // namespace

bool processsupport::collectOutput(pid_t pid, TerminalHandoff& terminal, const Deadline& deadline,
                                   Pipe& out, Pipe& err, SString* outText, SString* errText,
                                   const ProcessOptions& options, int& status) {
    CapturedStream streams[2] = {{&out.read, KeptOutput(outText, options.captureLimit)},
                                 {&err.read, KeptOutput(errText, options.captureLimit)}};
    bool ended = readUntilEnd(pid, terminal, deadline, streams, options.killGroupAtEnd, status);
    streams[0].kept.finish();
    streams[1].kept.finish();
    return ended;
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
