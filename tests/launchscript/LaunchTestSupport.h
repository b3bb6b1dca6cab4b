#pragma once

// Helpers of the launch script, JVM file and launch action tests: a guard for
// the process-wide state they change, environment variables for one scope,
// and fake JVM homes whose bin/java is a shell script.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "FileIndexEntry.h"
#include "Launcher.h"
#include "LauncherInputFiles.h"
#include "PlatformImpl.h"
#include "support/TestSupport.h"

namespace launchtest {

// Sets (value) or unsets (null) an environment variable for one scope.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        const char* old = getenv(name);
        hadOld_ = old != nullptr;
        if (hadOld_) {
            old_ = old;
        }
        set(value);
    }
    ~ScopedEnv() { set(hadOld_ ? old_.c_str() : nullptr); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    void set(const char* value) {
        if (value == nullptr) {
            unsetenv(name_.c_str());
        } else {
            setenv(name_.c_str(), value, 1);
        }
    }

    std::string name_;
    std::string old_;
    bool hadOld_ = false;
};

// Saves what the launch code reads from Launcher and PlatformImpl (and the
// current directory, which a launch changes), logs into `logPath`, silences
// the console and puts everything back at the end of the scope.
class LauncherStateGuard {
  public:
    explicit LauncherStateGuard(const std::string& logPath)
        : logFileName_(Launcher::m_logFileName),
          launcherFileName_(Launcher::m_launcherFileName),
          origLauncherFileName_(Launcher::m_origLauncherFileName),
          launcherPurpose_(Launcher::m_launcherPurpose),
          tempDir_(PlatformImpl::m_tempDir),
          silent_(PlatformImpl::m_silent) {
        char buffer[PATH_MAX];
        cwd_ = getcwd(buffer, sizeof buffer) != nullptr ? buffer : "/";
        Launcher::setLogFileName(logPath.c_str());
        Launcher::m_launcherFileName = "";
        Launcher::m_origLauncherFileName = "";
        Launcher::m_launcherPurpose = -1;
        PlatformImpl::setSilent(true);
    }
    ~LauncherStateGuard() {
        Launcher::setLogFileName(logFileName_);
        Launcher::m_launcherFileName = launcherFileName_;
        Launcher::m_origLauncherFileName = origLauncherFileName_;
        Launcher::m_launcherPurpose = launcherPurpose_;
        PlatformImpl::m_tempDir = tempDir_;
        PlatformImpl::setSilent(silent_);
        int changed = chdir(cwd_.c_str());
        (void)changed;
    }
    LauncherStateGuard(const LauncherStateGuard&) = delete;
    LauncherStateGuard& operator=(const LauncherStateGuard&) = delete;

  private:
    SString logFileName_;
    SString launcherFileName_;
    SString origLauncherFileName_;
    int launcherPurpose_;
    SString tempDir_;
    bool silent_;
    std::string cwd_;
};

// Lends entries to the file index of the process's payload
// (Launcher::m_inputFiles) and takes them back at the end of the scope.
class ScopedIndexEntries {
  public:
    ScopedIndexEntries() : savedCount_(Launcher::m_inputFiles.m_fileIndex.count) {}
    ~ScopedIndexEntries() { Launcher::m_inputFiles.m_fileIndex.resize(savedCount_); }
    ScopedIndexEntries(const ScopedIndexEntries&) = delete;
    ScopedIndexEntries& operator=(const ScopedIndexEntries&) = delete;

    FileIndexEntry& add(long type, long id) {
        FileIndexEntry* entry = new FileIndexEntry();
        entry->m_fileType = type;
        entry->m_fileId = id;
        Launcher::m_inputFiles.m_fileIndex.push_back(entry);
        return *entry;
    }

  private:
    long savedCount_;
};

// Makes `home`/bin/java (directories included) a shell script with `body`.
inline void writeFakeJava(const std::string& home, const std::string& body) {
    mkdir(home.c_str(), 0755);
    mkdir((home + "/bin").c_str(), 0755);
    testsupport::writeFile(home + "/bin/java", "#!/bin/sh\n" + body, 0755);
}

// A fake java that prints the verification marker and `values`, one per line.
inline void writeVerifyingJava(const std::string& home, const std::string& values) {
    writeFakeJava(home, "printf '1739021872\\n" + values + "'\n");
}

inline std::string realPath(const std::string& path) {
    char* resolved = realpath(path.c_str(), nullptr);
    std::string result = resolved != nullptr ? resolved : "";
    free(resolved);
    return result;
}

// Sends the process's standard output into a file for one scope.
class StdoutToFile {
  public:
    explicit StdoutToFile(const std::string& path) {
        fflush(stdout);
        saved_ = dup(1);
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, 1);
        close(fd);
    }
    ~StdoutToFile() {
        fflush(stdout);
        dup2(saved_, 1);
        close(saved_);
    }
    StdoutToFile(const StdoutToFile&) = delete;
    StdoutToFile& operator=(const StdoutToFile&) = delete;

  private:
    int saved_;
};

inline size_t countOf(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

}  // namespace launchtest
