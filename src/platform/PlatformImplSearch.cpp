// Platform layer: where the JVM search looks (search roots, hints, PATH), the
// file-name search over the search roots, and whether a Java found there
// could have been planted by another user.
#include <cerrno>
#include <vector>

#include <glob.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/TextUtils.h"
#include "launcher/LauncherException.h"
#include "platform/FindFiles.h"
#include "platform/PlatformImpl.h"

namespace {

// Frees what glob found on every way out.
class ScopedGlob {
  public:
    ScopedGlob() : matches() {}
    ~ScopedGlob() { globfree(&matches); }
    ScopedGlob(const ScopedGlob&) = delete;
    ScopedGlob& operator=(const ScopedGlob&) = delete;

    glob_t matches;
};

// Links followed before a chain counts as a loop, as the kernel counts them.
const int kMaxLinkHops = 40;

// Why another user could have put the file or directory `path` in place or
// changed it, or "". Only root and the launcher's user count as trusted
// owners; a group other than root's and the user's own counts as others (a
// user's own group, where each user has one, holds only that user). `stickyAllowed`: a
// directory that others may write to is acceptable when its sticky bit keeps
// them from renaming or removing what they do not own. A link's own mode
// means nothing: its owner and its directory decide.
SString plantingRisk(const SString& path, bool stickyAllowed) {
    struct stat info;
    if (lstat(path.c_str(), &info) != 0) {
        int error = errno;
        return systemErrorMessage(joinText(path, " cannot be examined: "), error);
    }
    if (info.st_uid != 0 && info.st_uid != geteuid()) {
        return joinText(path, " is owned by user ",
                        convertToString(static_cast<long>(info.st_uid)));
    }
    if (S_ISLNK(info.st_mode)) {
        return SString();
    }
    bool trustedGroup = info.st_gid == 0 || info.st_gid == getegid();
    mode_t othersWrite = S_IWOTH | (trustedGroup ? 0 : S_IWGRP);
    bool sticky = S_ISDIR(info.st_mode) && (info.st_mode & S_ISVTX) != 0;
    if ((info.st_mode & othersWrite) != 0 && !(stickyAllowed && sticky)) {
        return joinText(path, " is writable by others");
    }
    return SString();
}

// The first planting risk of the absolute `path` or of a directory above it.
// The `ownLevels` directories right above it (those of the JVM home) must be
// safe without the help of a sticky bit.
SString chainRisk(const SString& path, int ownLevels) {
    SString current = path;
    for (int level = 0;; ++level) {
        SString risk = plantingRisk(current, level > ownLevels);
        if (!risk.empty() || current.compare("/") == 0 || current.empty()) {
            return risk;
        }
        current = parentDirectory(current);
    }
}

// The target of the link `path`, in its directory with every link and ".."
// resolved; "" when `path` is no link.
SString linkTarget(const SString& path) {
    std::vector<char> buffer(4096);
    ssize_t length = readlink(path.c_str(), buffer.data(), buffer.size());
    if (length <= 0 || static_cast<size_t>(length) >= buffer.size()) {
        return SString();
    }
    SString target(buffer.data(), static_cast<unsigned int>(length));
    if (target[0] != '/') {
        target = pathInDirectory(parentDirectory(path), target);
    }
    SString directory = PlatformImpl::resolvePath(parentDirectory(target));
    return directory.empty() ? target : pathInDirectory(directory, lastPathComponent(target));
}

}  // namespace

void PlatformImpl::getJVMSearchPartitions(StringDeque& list) {
    list.push_back("/");
}

void PlatformImpl::getPlatformHint(StringDeque& list, const SString& hint) {
    list.clear();
    if (hint.empty()) {
        return;
    }
    SString value = getEnvironmentVariable(hint);
    if (value.empty()) {
        return;
    }
    unsigned int start = 0;
    for (;;) {
        unsigned int colon = value.find(':', start);
        list.push_back(value.substr(start, colon == SString::npos ? SString::npos : colon - start));
        if (colon == SString::npos) {
            return;
        }
        start = colon + 1;
    }
}

void PlatformImpl::getPlatformJVMPaths(StringDeque& list) {
    getPlatformHint(list, "PATH");
}

void PlatformImpl::matchDirectories(const SString& pattern, StringDeque& list) {
    ScopedGlob found;
    // GLOB_MARK ends the path of every directory, and of every link to one,
    // with "/"; that sets them apart from the other files.
    int status = glob(pattern.c_str(), GLOB_MARK, nullptr, &found.matches);
    if (status == GLOB_NOSPACE) {
        throw LauncherException(joinText("Not enough memory to match the path hint ", pattern));
    }
    for (size_t i = 0; status == 0 && i < found.matches.gl_pathc; ++i) {
        SString path(found.matches.gl_pathv[i]);
        unsigned int end = path.find_last_not_of('/');
        if (end != path.length() - 1) {
            list.push_back(end == SString::npos ? SString("/") : path.substr(0, end + 1));
        }
    }
}

void PlatformImpl::matchFiles(const SString& pattern, StringDeque& list) {
    ScopedGlob found;
    if (glob(pattern.c_str(), GLOB_MARK, nullptr, &found.matches) != 0) {
        return;
    }
    for (size_t i = 0; i < found.matches.gl_pathc; ++i) {
        SString path(found.matches.gl_pathv[i]);
        if (stringEndsWith(path, "/") == SString::npos) {
            list.push_back(path);
        }
    }
}

void PlatformImpl::findFiles(const StringDeque& names, FileFindListener& listener) {
    FindFiles walker(names, listener);
    StringDeque roots;
    getJVMSearchPartitions(roots);
    bool stop = false;
    for (long i = 0; i < roots.count && !stop; ++i) {
        SString root = roots.at(i);
        appendPathSeparator(root);
        stop = walker.process(root);
    }
}

SString PlatformImpl::plantedFileRisk(const SString& executable, int ownLevels) {
    if (!fileExists(executable)) {
        return SString();
    }
    // Each link on the way can be swapped by whoever may write its
    // directory, and the file at the end by whoever may write its own.
    SString path = getAbsolutePath(executable);
    for (int hop = 0; !path.empty() && hop < kMaxLinkHops; ++hop) {
        SString risk = chainRisk(path, ownLevels);
        if (!risk.empty()) {
            return risk;
        }
        path = linkTarget(path);
    }
    return chainRisk(resolvePath(executable), ownLevels);
}
