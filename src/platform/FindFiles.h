#pragma once

#include "base/SString.h"
#include "base/StringDeque.h"
#include "platform/FileNavigator.h"

class FileFindListener;

// FindFiles: a cancelable walk that reports every file whose path ends in
// "/" followed by one of a list of relative names (such as "bin/java").
//
// A path is reported once for every name it matches, and the walk stops as
// soon as the listener asks for it. The launcher's temporary directory,
// "/var/tmp/" and directories on kernel pseudo file systems (proc, sysfs,
// cgroup, debugfs and the like, told by their file-system type) are not read.
class FindFiles : public FileNavigator {
  public:
    // `names` and `listener` are not copied: both must outlive the walker.
    // The temporary directory is taken now.
    FindFiles(const StringDeque& names, FileFindListener& listener);

    // Reports `path` for each name that it matches; true when the listener
    // asked to stop.
    bool processFile(const SString& path) override;
    // True for the temporary directory, "/var/tmp/" and pseudo file systems
    // (a trailing "/" on `dir` makes no difference).
    bool skipDirectory(const SString& dir) override;

  private:
    const StringDeque& m_names;
    FileFindListener& m_listener;
    // The temporary directory, ending in "/".
    SString m_tempDir;
};
