#pragma once

// Helpers shared by the tests: temporary directories that must be left
// empty, running the built programs as real processes, small file utilities.

#include <map>
#include <string>
#include <vector>

namespace testsupport {

// A fresh directory under /tmp for one test. The destructor removes the
// whole tree; `isEmpty` lets a test check that the code under test left
// nothing behind in it.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    // Names of the entries directly inside the directory, sorted.
    std::vector<std::string> entries() const;
    bool isEmpty() const { return entries().empty(); }

  private:
    std::string path_;
};

struct ProcessResult {
    int status = -1;  // exit code, or 128 + signal number
    std::string out;
    std::string err;
};

struct ProcessOptions {
    std::string workingDir;                  // empty: the test's own
    std::map<std::string, std::string> env;  // set (or, with value "\x01unset", removed)
    std::string input;                       // written to standard input
};

// Runs argv[0] with the arguments (no shell) and collects its output.
ProcessResult runProcess(const std::vector<std::string>& argv,
                         const ProcessOptions& options = ProcessOptions());

// A program started (no shell) for a test that acts on it while it runs,
// typically by sending it a signal. Standard input is /dev/null; the output
// is collected by wait. The destructor kills and reaps a program that was
// not waited for.
class BackgroundProcess {
  public:
    explicit BackgroundProcess(const std::vector<std::string>& argv,
                               const ProcessOptions& options = ProcessOptions());
    ~BackgroundProcess();
    BackgroundProcess(const BackgroundProcess&) = delete;
    BackgroundProcess& operator=(const BackgroundProcess&) = delete;

    void signal(int number) const;
    // Waits for the end and returns the exit status and the output.
    ProcessResult wait();

  private:
    int pid_;
    int out_;
    int err_;
};

// Polls until `path` exists, at most `timeoutMs`; true when it does.
bool waitForFile(const std::string& path, int timeoutMs = 5000);

// Marker value for ProcessOptions::env that removes a variable.
extern const char* const kUnset;

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& content, int mode = 0644);
bool fileExists(const std::string& path);

// Empties S1 to S10 and zeroes N1 to N5.
void resetLauncherVariables();

// The built programs.
std::string cvlaunchPath();
std::string cvpackPath();

}  // namespace testsupport
