#pragma once

#include <signal.h>

#include <map>
#include <string>
#include <vector>

namespace testsupport {

struct ProcessResult {
    int status = -1;      // exit code, or 128 + signal number
    bool killed = false;  // ended by a signal rather than by exiting
    std::string out;
    std::string err;
};

// Marker value for ProcessOptions::env that removes a variable.
extern const char* const kUnset;

struct ProcessOptions {
    std::string workingDir;                  // empty: the test's own
    std::map<std::string, std::string> env;  // set (or, with value kUnset, removed)
    std::string input;                       // written to standard input
    // Starts a session (and process group) of its own, whose id is its pid,
    // so that a test can look for what it left running.
    bool ownSession = false;
};

// A program started (no shell) with its standard output and standard error
// collected, for a test that may act on it while it runs, typically by
// sending it a signal. Its standard input is the options' input, small
// enough to fit a pipe. The destructor kills and reaps a program that was
// not waited for.
class BackgroundProcess {
  public:
    explicit BackgroundProcess(const std::vector<std::string>& argv,
                               const ProcessOptions& options = ProcessOptions());
    ~BackgroundProcess();
    BackgroundProcess(const BackgroundProcess&) = delete;
    BackgroundProcess& operator=(const BackgroundProcess&) = delete;

    int pid() const { return pid_; }
    void signal(int number) const { kill(pid_, number); }
    // Waits for the end and returns the exit status and the output.
    ProcessResult wait();

  private:
    int pid_;
    int out_;
    int err_;
};

// Runs argv[0] with the arguments (no shell) to its end.
ProcessResult runProcess(const std::vector<std::string>& argv,
                         const ProcessOptions& options = ProcessOptions());

// Runs /bin/sh -c `script` with argv as the script's "$@", for a program
// that is to run under limits or redirections, e.g. "exec \"$@\" >/dev/full".
ProcessResult runInShell(const std::string& script, const std::vector<std::string>& argv,
                         const ProcessOptions& options = ProcessOptions());

}  // namespace testsupport
