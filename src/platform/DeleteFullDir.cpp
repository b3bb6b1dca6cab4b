// Platform layer: recursive deletion. Only src/platform/ talks to the
// operating system.
#include "platform/DeleteFullDir.h"

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

#include "base/TextUtils.h"
#include "launcher/Launcher.h"
#include "platform/PlatformImpl.h"

DeleteFullDir::DeleteFullDir() : FileNavigator(false) {}

bool DeleteFullDir::process(const SString& root) {
    m_sdqFailedDirs.clear();
    bool stop = FileNavigator::process(root);
    // Visited directories come after their parents: backwards, children go
    // first.
    for (long i = m_sdqVisitedDirs.count - 1; i >= 0; --i) {
        const SString& dir = m_sdqVisitedDirs.at(i);
        if (!leadsToFailure(dir) && !deleteOneFile(dir)) {
            m_sdqFailedDirs.push_back(dir);
        }
    }
    return stop;
}

bool DeleteFullDir::processFile(const SString& path) {
    deleteOneFile(path);
    return false;
}

bool DeleteFullDir::leadsToFailure(const SString& dir) const {
    unsigned int length = dir.length();
    bool endsWithSeparator = length > 0 && dir[length - 1] == '/';
    for (long i = 0; i < m_sdqFailedDirs.count; ++i) {
        const SString& failed = m_sdqFailedDirs.at(i);
        // A whole-name prefix only: beside a failed "xy", "x" is removed.
        if (failed.compare(0, length, dir) == 0 &&
            (failed.length() == length || endsWithSeparator || failed[length] == '/')) {
            return true;
        }
    }
    return false;
}

bool deleteOneFile(const SString& path) {
    struct stat info;
    if (lstat(path.c_str(), &info) != 0) {
        return false;
    }
    int result = S_ISDIR(info.st_mode) ? rmdir(path.c_str()) : unlink(path.c_str());
    if (result != 0) {
        logDeleteFileFailure(path, errno);
        return false;
    }
    return true;
}

void logDeleteFileFailure(const SString& path, int error) {
    Launcher::logMessage(systemErrorMessage(joinText("Could not delete ", path, " :  "), error),
                         LOG_WARNING);
}
