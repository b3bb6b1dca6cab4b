#pragma once

#include "base/SString.h"
#include "base/StringDeque.h"
#include "platform/FileNavigator.h"

// DeleteFullDir: removes a directory with everything below it. Never throws
// and is never cancelled.
//
// Every file (symbolic links included, which are removed, never followed) is
// deleted while its directory is read; then the directories are removed
// deepest first. A directory that cannot be removed is logged once, and the
// directories above it are left alone without further log entries, since they
// cannot be empty.
class DeleteFullDir : public FileNavigator {
  public:
    DeleteFullDir();

    // Deletes `root` and its contents; false (a deletion walk never stops).
    bool process(const SString& root) override;
    // Deletes one file; always false.
    bool processFile(const SString& path) override;

  private:
    // True when `dir` is a failed directory or lies above one.
    bool leadsToFailure(const SString& dir) const;

    StringDeque m_sdqFailedDirs;
};

// Removes one file, symbolic link or empty directory (a link is removed
// itself, whatever it points to). Returns true on success; a path that does
// not exist gives false without a log entry, any other failure is logged by
// logDeleteFileFailure.
bool deleteOneFile(const SString& path);

// Writes the warning "Could not delete <path> :  <reason>" to the log, the
// reason being the system's description of `error` (an errno value).
void logDeleteFileFailure(const SString& path, int error);
