// Platform layer: the depth-first directory walker. Only src/platform/ talks
// to the operating system.
#include "platform/FileNavigator.h"

#include <algorithm>
#include <cerrno>

#include <dirent.h>
#include <sys/stat.h>

#include "base/TextUtils.h"
#include "launcher/Launcher.h"
#include "platform/PlatformImpl.h"

namespace {

// Closes a directory stream on every way out.
class ScopedDir {
  public:
    explicit ScopedDir(const SString& path) : m_dir(opendir(path.c_str())) {}
    ~ScopedDir() {
        if (m_dir != nullptr) {
            closedir(m_dir);
        }
    }
    ScopedDir(const ScopedDir&) = delete;
    ScopedDir& operator=(const ScopedDir&) = delete;

    DIR* get() const { return m_dir; }

  private:
    DIR* m_dir;
};

bool isDotOrDotDot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// The type comes from the directory entry itself; only file systems that do
// not fill it in cost an lstat. DT_DIR is never set for a symbolic link.
bool isDirectoryEntry(const dirent* entry, const SString& path) {
    if (entry->d_type == DT_UNKNOWN) {
        return FileNavigator::isDirectory(path.c_str());
    }
    return entry->d_type == DT_DIR;
}

// A walk over a whole file system visits hundreds of thousands of
// directories; growing the list by a fixed step would copy it once per step.
void pushGrowing(StringDeque& list, const SString& path) {
    list.growBy = std::max(list.growBy, list.count);
    list.push_back(path);
}

// An unreadable directory only narrows the walk, so it is no error; the log
// says which part of the tree was missed.
void logReadFailure(const SString& dir, int error) {
    Launcher::logMessage(
        systemErrorMessage(joinText("Could not read directory ", dir, ": "), error), LOG_WARNING);
}

}  // namespace

FileNavigator::FileNavigator(bool cancelable) : m_cancelable(cancelable) {}

FileNavigator::~FileNavigator() {}

bool FileNavigator::process(const SString& root) {
    m_sdqVisitedDirs.clear();
    m_sdqPendingDirs.clear();
    m_sdqPendingDirs.push_back(root);
    long fileCount = 0;
    bool stop = false;
    while (m_sdqPendingDirs.count > 0 && !stop && !isCanceled()) {
        SString dir = m_sdqPendingDirs.back();
        m_sdqPendingDirs.erase(m_sdqPendingDirs.count - 1);
        pushGrowing(m_sdqVisitedDirs, dir);
        if (!skipDirectory(dir)) {
            stop = readDirectory(dir, fileCount);
        }
    }
    return stop;
}

bool FileNavigator::readDirectory(const SString& dir, long& fileCount) {
    ScopedDir stream(dir);
    if (stream.get() == nullptr) {
        return false;
    }
    bool stop = false;
    while (!stop && !isCanceled()) {
        errno = 0;
        const dirent* entry = readdir(stream.get());
        if (entry == nullptr) {
            int error = errno;
            if (error != 0) {
                logReadFailure(dir, error);
            }
            break;
        }
        if (isDotOrDotDot(entry->d_name)) {
            continue;
        }
        SString path = pathInDirectory(dir, entry->d_name);
        if (isDirectoryEntry(entry, path)) {
            pushGrowing(m_sdqPendingDirs, path);
            continue;
        }
        stop = processFile(path);
        if (++fileCount % 1000 == 0) {
            PlatformImpl::advanceUIProgress(1);
        }
    }
    return stop;
}

bool FileNavigator::skipDirectory(const SString&) {
    return false;
}

bool FileNavigator::isCanceled() const {
    return m_cancelable && PlatformImpl::m_canceled;
}

bool FileNavigator::isDirectory(const char* path) {
    struct stat info;
    return lstat(path, &info) == 0 && S_ISDIR(info.st_mode);
}
