#include "support/BackgroundProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace testsupport {

const char* const kUnset = "\x01unset";

namespace {

void applyEnvironment(const std::map<std::string, std::string>& env) {
    for (const auto& entry : env) {
        if (entry.second == kUnset) {
            unsetenv(entry.first.c_str());
        } else {
            setenv(entry.first.c_str(), entry.second.c_str(), 1);
        }
    }
}

// DANGER: runs in the forked child; it must end in exec or _exit.
[[noreturn]] void execChild(const std::vector<std::string>& argv, const ProcessOptions& options,
                            int in, int out, int err) {
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    if (options.ownSession) {
        setsid();
    }
    if (!options.workingDir.empty() && chdir(options.workingDir.c_str()) != 0) {
        _exit(126);
    }
    applyEnvironment(options.env);
    // The test program ignores SIGPIPE (see the constructor); the program
    // starts with the default, as a shell starts it.
    ::signal(SIGPIPE, SIG_DFL);
    std::vector<char*> args;
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
}

void drain(int outFd, int errFd, ProcessResult& result) {
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open = 2;
    while (open > 0) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            char buffer[65536];
            ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, n);
            } else if (n == 0 || errno != EINTR) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
}

}  // namespace

BackgroundProcess::BackgroundProcess(const std::vector<std::string>& argv,
                                     const ProcessOptions& options) {
    // Close-on-exec: the child keeps only the ends that execChild moves to 0, 1, 2.
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    fflush(stdout);
    fflush(stderr);
    pid_ = fork();
    if (pid_ < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid_ == 0) {
        execChild(argv, options, in[0], out[1], err[1]);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    // Small inputs fit the pipe; the child reads them whenever it likes.
    ::signal(SIGPIPE, SIG_IGN);
    if (!options.input.empty()) {
        ssize_t ignored = write(in[1], options.input.data(), options.input.size());
        (void)ignored;
    }
    close(in[1]);
    out_ = out[0];
    err_ = err[0];
}

BackgroundProcess::~BackgroundProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        wait();
    }
}

ProcessResult BackgroundProcess::wait() {
    ProcessResult result;
    drain(out_, err_, result);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    result.killed = WIFSIGNALED(status);
    result.status = result.killed ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
    return result;
}

ProcessResult runProcess(const std::vector<std::string>& argv, const ProcessOptions& options) {
    return BackgroundProcess(argv, options).wait();
}

ProcessResult runInShell(const std::string& script, const std::vector<std::string>& argv,
                         const ProcessOptions& options) {
    std::vector<std::string> shell = {"/bin/sh", "-c", script, "sh"};
    shell.insert(shell.end(), argv.begin(), argv.end());
    return runProcess(shell, options);
}

}  // namespace testsupport
