#pragma once

// Helpers shared by the tests: small file utilities, the built programs, and
// running a launcher file as a program. The classes of the test support have
// headers of their own (TempDir, BackgroundProcess, ScopedEnv, FakeJavaHome,
// LauncherFileBuilder, LauncherStateGuard, LauncherUnitTest,
// LauncherProcessTest).

#include <string>
#include <utility>
#include <vector>

#include "base/SString.h"
#include "support/BackgroundProcess.h"
#include "support/TempDir.h"

class FileIndexEntry;
class StringDeque;
class TagFile;

namespace testsupport {

// The bytes of the string, NULs included.
inline std::string str(const SString& s) {
    return std::string(s.data(), s.length());
}
// The whole file; empty when it cannot be read.
std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& content, int mode = 0644);
bool fileExists(const std::string& path);
// Polls until `path` exists, at most `timeoutMs`; true when it does.
bool waitForFile(const std::string& path, int timeoutMs = 5000);
// True when no process has the number, or only a zombie left to be reaped.
bool processGone(int pid);
// Polls until processGone(pid), at most `timeoutMs`; true when it is.
bool waitForProcessEnd(int pid, int timeoutMs = 5000);
// Creates the directory and its missing parents.
void makeDirectories(const std::string& path);
// The lines of a text, without their line feeds.
std::vector<std::string> linesOf(const std::string& text);
// The strings of a deque, in order.
std::vector<std::string> listOf(const StringDeque& list);
// The names in a directory, without "." and "..", sorted.
std::vector<std::string> entriesOf(const std::string& dir);
// The path with every link resolved; empty when it does not exist.
std::string realPath(const std::string& path);
// How often `part` occurs in `text`, overlapping occurrences included.
size_t countOf(const std::string& text, const std::string& part);
// `size` bytes of a fixed pseudo-random sequence.
std::string noise(size_t size);
// The text as one word for /bin/sh, in single quotes.
std::string shellQuote(const std::string& text);

// Appends each (name, value) to the tag file, in order.
void appendTags(TagFile& tagFile, const std::vector<std::pair<const char*, const char*>>& tags);

// Appends an entry to the file index of the process's payload
// (Launcher::m_inputFiles), which owns it; a LauncherStateGuard takes it back.
FileIndexEntry& addIndexEntry(long type, long id);

// The built programs and the verification archive beside them.
inline std::string cvlaunchPath() {
    return CVLAUNCH_PATH;
}
inline std::string cvpackPath() {
    return CVPACK_PATH;
}
// An ELF program that runs the shell script <its path>.sh.
inline std::string nativeJavaPath() {
    return NATIVE_JAVA_PATH;
}
inline std::string verifyArchivePath() {
    return std::string(TEST_BINARY_DIR) + "/verify.jar";
}
// The first JDK under /usr/lib/jvm, by name, as a real path; empty when there
// is none.
std::string findJDK();

// The end of a launcher run.
struct LauncherResult : ProcessResult {
    std::string log;  // the log file's content afterwards, if it names one
};

// How runLauncher runs a launcher file.
struct LauncherOptions : ProcessOptions {
    std::string tempDir;  // given with "-cv:tempdir" when not empty
    std::string logFile;  // read into the result's log
    // Whether logFile is given with "-cv:log"; false when an input file
    // names it as its LOGFILE.
    bool logOption = true;
};

// The command line of a launcher run: the launcher, "-cv:tempdir" and
// "-cv:log" as the options say, then `args`.
std::vector<std::string> launcherCommand(const std::string& launcher,
                                         const std::vector<std::string>& args,
                                         const LauncherOptions& options);
// Runs that command line to its end with LANG unset, unless the options'
// environment sets it.
LauncherResult runLauncher(const std::string& launcher, const std::vector<std::string>& args,
                           LauncherOptions options = LauncherOptions());

}  // namespace testsupport
