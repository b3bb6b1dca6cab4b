// Platform layer: the temporary directory, unique temporary files and
// directories, the cleanup lists, deletion and free disk space. Only
// src/platform/ talks to the operating system.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "base/TextUtils.h"
#include "launcher/Launcher.h"
#include "platform/DeleteFullDir.h"
#include "platform/FileNavigator.h"
#include "platform/PlatformImpl.h"

SString PlatformImpl::m_tempDir;
StringDeque PlatformImpl::m_sdqCreatedFiles;
StringDeque PlatformImpl::m_sdqCreatedDrs;
bool PlatformImpl::m_deleteLauncher = false;

namespace {

const char* const kDefaultTempDir = "/var/tmp/";
// Where temporary files go when the default directory cannot take them (a
// read-only /var/tmp).
const char* const kFallbackTempDir = "/tmp/";

// 0 when `path` is a directory in which this user can create files and
// directories, else the error number that says why not.
int tempDirProblem(const SString& path) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        return errno;
    }
    if (!S_ISDIR(info.st_mode)) {
        return ENOTDIR;
    }
    return access(path.c_str(), W_OK | X_OK) == 0 ? 0 : errno;
}

// A directory that the user named, made absolute at once (the programs that
// get paths in it run in other working directories). Throws
// LauncherException naming it and `source` when it cannot be used.
SString usableGivenTempDir(const SString& path, const char* source) {
    SString absolute = PlatformImpl::getAbsolutePath(path);
    int problem = tempDirProblem(absolute);
    if (problem != 0) {
        throwSystemError(
            joinText("The temporary directory ", path, " (", source, ") cannot be used: "),
            problem);
    }
    return absolute;
}

// "<temporary directory>/cvjXXXXXX", writable, for mkdtemp and mkstemp to
// fill in: they pick the name and create it in one step, so no one can slip
// a file or a link in under a predicted name.
std::vector<char> uniqueNameTemplate() {
    SString path = pathInDirectory(PlatformImpl::getSystemTempDirectory(), "cvjXXXXXX");
    return std::vector<char>(path.c_str(), path.c_str() + path.length() + 1);
}

// The failure to create a temporary file or directory named after `pattern`:
// which one, where, and the system's reason.
[[noreturn]] void throwCreationError(const char* what, const SString& pattern, int error) {
    throwSystemError(joinText(what, pattern, ": "), error);
}

void removeFirst(StringDeque& list, const SString& path) {
    for (long i = 0; i < list.count; ++i) {
        if (list.at(i).compare(path) == 0) {
            list.erase(i);
            return;
        }
    }
}

// Deletes every path on the list, first to last, and empties it, so that a
// path is never deleted twice (by then someone else may have created it).
void deleteAll(StringDeque& list) {
    for (long i = 0; i < list.count; ++i) {
        PlatformImpl::deleteFile(list.at(i));
    }
    list.clear();
}

// Why `directory` is not one in which a launcher made a copy of an embedded
// launcher, or "" when it is: such copies go into directories that
// createTempSubDirectory makes (mkdtemp: a "cvj" name, the current user's,
// mode 0700), and a launcher file that lies anywhere else is no copy.
SString notACopyDirectory(const SString& directory) {
    SString subject = joinText("its directory ", directory);
    struct stat info;
    if (lstat(directory.c_str(), &info) != 0) {
        int error = errno;
        return systemErrorMessage(joinText(subject, " cannot be examined: "), error);
    }
    if (!S_ISDIR(info.st_mode) || lastPathComponent(directory).compare(0, 3, "cvj") != 0) {
        return joinText(subject, " is not a temporary \"cvj\" directory.");
    }
    if (info.st_uid != geteuid()) {
        return joinText(subject, " belongs to another user.");
    }
    unsigned int mode = info.st_mode & 07777;
    if (mode != 0700) {
        char octal[8];
        snprintf(octal, sizeof octal, "%04o", mode);
        return joinText(subject, " has the mode ", octal, ", not 0700.");
    }
    return SString();
}

}  // namespace

void PlatformImpl::setSystemTempDir(const SString& path) {
    if (!path.empty()) {
        m_tempDir = usableGivenTempDir(path, "-cv:tempdir");
    }
}

SString PlatformImpl::getSystemTempDirectory() {
    if (!m_tempDir.empty()) {
        return m_tempDir;
    }
    SString fromEnvironment = getEnvironmentVariable("TMPDIR");
    if (!fromEnvironment.empty()) {
        m_tempDir = usableGivenTempDir(fromEnvironment, "TMPDIR");
        return m_tempDir;
    }
    int problem = tempDirProblem(kDefaultTempDir);
    m_tempDir = problem == 0 ? kDefaultTempDir : kFallbackTempDir;
    if (problem != 0) {
        Launcher::logInfo(systemErrorMessage(joinText("Temporary files go into ", kFallbackTempDir,
                                                      ": ", kDefaultTempDir, " cannot be used: "),
                                             problem));
    }
    return m_tempDir;
}

SString PlatformImpl::createTempSubDirectory() {
    std::vector<char> name = uniqueNameTemplate();
    // mkdtemp may leave a name it tried in the template; report the pattern.
    SString pattern(name.data());
    if (mkdtemp(name.data()) == nullptr) {
        int error = errno;
        throwCreationError("Error creating tmp directory ", pattern, error);
    }
    SString path(name.data());
    m_sdqCreatedDrs.push_back(path);
    return path;
}

SString PlatformImpl::createTempFile() {
    std::vector<char> name = uniqueNameTemplate();
    // mkstemp may leave a name it tried in the template; report the pattern.
    SString pattern(name.data());
    int fd = mkstemp(name.data());
    if (fd < 0) {
        int error = errno;
        throwCreationError("Error creating tmp file ", pattern, error);
    }
    close(fd);
    SString path(name.data());
    m_sdqCreatedFiles.push_back(path);
    return path;
}

void PlatformImpl::addFileToCleanupList(const SString& path) {
    m_sdqCreatedFiles.push_back(path);
}

void PlatformImpl::removeFileFromCleanupList(const SString& path) {
    removeFirst(m_sdqCreatedFiles, path);
}

void PlatformImpl::removeDirFromCleanupList(const SString& path) {
    removeFirst(m_sdqCreatedDrs, path);
}

void PlatformImpl::cleanup() {
    try {
        deleteAll(m_sdqCreatedFiles);
        deleteAll(m_sdqCreatedDrs);
        if (m_deleteLauncher) {
            m_deleteLauncher = false;
            deleteLauncher();
        }
    } catch (...) {
        // Runs on the way out, often from a destructor: whatever is left on
        // disk, the run's outcome stands.
    }
}

void PlatformImpl::deleteFile(const SString& path) {
    if (FileNavigator::isDirectory(path.c_str())) {
        DeleteFullDir().process(path);
    } else {
        deleteOneFile(path);
    }
}

bool PlatformImpl::fileExists(const SString& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

bool PlatformImpl::isSameFile(const SString& first, const SString& second) {
    struct stat a;
    struct stat b;
    return stat(first.c_str(), &a) == 0 && stat(second.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

SString PlatformImpl::resolvePath(const SString& path) {
    char* resolved = realpath(path.c_str(), nullptr);
    SString result(resolved);
    free(resolved);
    return result;
}

void PlatformImpl::setFileExecutable(const SString& path) {
    struct stat info;
    if (stat(path.c_str(), &info) == 0) {
        chmod(path.c_str(), info.st_mode | S_IXUSR | S_IXGRP | S_IXOTH);
    }
}

bool PlatformImpl::checkFreeSpace(const SString& dir, long bytes, long files) {
    SString path = dir.length() > 0 && dir[0] == '/' ? dir : getCurrentDirectory();
    struct statvfs info;
    if (statvfs(path.c_str(), &info) != 0) {
        int error = errno;
        throwSystemError("", error);
    }
    // Some file systems leave the fragment size 0; their block size is the unit.
    double fragmentSize = info.f_frsize != 0 ? info.f_frsize : info.f_bsize;
    return hasFreeSpace(fragmentSize, static_cast<double>(info.f_bavail), bytes, files);
}

void PlatformImpl::deleteLauncher() {
    SString file = Launcher::getLauncherFileName();
    SString directory = parentDirectory(file);
    SString refusal = notACopyDirectory(directory.empty() ? getCurrentDirectory() : directory);
    if (!refusal.empty()) {
        Launcher::logMessage(
            joinText("Keeping the launcher file ", file, " despite -cv:orig: ", refusal),
            LOG_WARNING);
        return;
    }
    unlink(file.c_str());
    // Its directory goes with it when left empty (rmdir removes nothing
    // else); the root is never tried.
    if (directory.length() > 1) {
        rmdir(directory.c_str());
    }
}

bool hasFreeSpace(double fragmentSize, double freeFragments, long bytes, long files) {
    double needed = std::trunc(bytes / fragmentSize);
    if (files == 1 && std::fmod(static_cast<double>(bytes), fragmentSize) != 0) {
        needed += 1;
    } else if (files > 1) {
        needed += static_cast<double>(files);
    }
    return fragmentSize * freeFragments >= needed * fragmentSize;
}

bool PlatformImpl::isDirectory(const SString& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

SString PlatformImpl::specialFileKind(const SString& path) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || S_ISREG(info.st_mode)) {
        return SString();
    }
    const struct {
        bool is;
        const char* kind;
    } kinds[] = {
        {S_ISDIR(info.st_mode), "a directory"},    {S_ISCHR(info.st_mode), "a character device"},
        {S_ISBLK(info.st_mode), "a block device"}, {S_ISFIFO(info.st_mode), "a fifo"},
        {S_ISSOCK(info.st_mode), "a socket"},
    };
    for (const auto& kind : kinds) {
        if (kind.is) {
            return kind.kind;
        }
    }
    return "a special file";
}

int PlatformImpl::makeDirectory(const SString& path) {
    return mkdir(path.c_str(), 0777) == 0 || errno == EEXIST ? 0 : errno;
}

SString PlatformImpl::fileIdentity(const SString& path) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        return SString();
    }
    char text[160];
    snprintf(text, sizeof text, "%llu.%llu.%lld.%lld.%ld.%lld.%ld",
             static_cast<unsigned long long>(info.st_dev),
             static_cast<unsigned long long>(info.st_ino), static_cast<long long>(info.st_size),
             static_cast<long long>(info.st_mtim.tv_sec), info.st_mtim.tv_nsec,
             static_cast<long long>(info.st_ctim.tv_sec), info.st_ctim.tv_nsec);
    return SString(text);
}

bool PlatformImpl::isElfFile(const SString& path) {
    static const char magic[] = {0x7f, 'E', 'L', 'F'};
    char start[sizeof magic];
    // Non-blocking, so that a FIFO in the place of the file cannot hold the
    // launcher up.
    int file = retryOnEintr([&] { return open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC); });
    if (file < 0) {
        return false;
    }
    ssize_t count = retryOnEintr([&] { return read(file, start, sizeof start); });
    close(file);
    return count == static_cast<ssize_t>(sizeof start) && memcmp(start, magic, sizeof magic) == 0;
}

SString PlatformImpl::privateDirectory(const SString& path) {
    // Each missing parent is made too; a parent that exists is left as it is.
    SString parent = parentDirectory(path);
    if (!parent.empty() && parent.compare(path) != 0 && !fileExists(parent)) {
        SString failure = privateDirectory(parent);
        if (!failure.empty()) {
            return failure;
        }
    }
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        return systemErrorMessage("it cannot be made: ", errno);
    }
    struct stat info;
    if (lstat(path.c_str(), &info) != 0) {
        return systemErrorMessage("it cannot be examined: ", errno);
    }
    if (!S_ISDIR(info.st_mode)) {
        return SString("it is no directory.");
    }
    if (info.st_uid != geteuid()) {
        return SString("it belongs to another user.");
    }
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        return SString("others may write to it.");
    }
    return SString();
}

bool PlatformImpl::isOwnFile(const SString& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == geteuid();
}
