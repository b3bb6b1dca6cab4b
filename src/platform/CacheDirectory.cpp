#include "CacheDirectory.h"

#include <cerrno>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "PlatformImpl.h"
#include "TextUtils.h"

namespace {

int resultOf(int status) {
    return status == 0 ? 0 : errno;
}

long long nanoseconds(const struct timespec& time) {
    return static_cast<long long>(time.tv_sec) * 1000000000LL + time.tv_nsec;
}

}  // namespace

SString CacheDirectory::path(const char* subdirectory) {
    SString base = PlatformImpl::getEnvironmentVariable("XDG_CACHE_HOME");
    if (base.empty() || base[0] != '/') {
        SString home = PlatformImpl::getEnvironmentVariable("HOME");
        if (home.empty()) {
            return SString();
        }
        base = pathInDirectory(home, ".cache");
    }
    SString directory = pathInDirectory(base, "cvlaunch");
    return *subdirectory == '\0' ? directory : pathInDirectory(directory, subdirectory);
}

std::vector<CacheDirectory::Item> CacheDirectory::list(const SString& directory) {
    std::vector<Item> items;
    DIR* stream = opendir(directory.c_str());
    if (stream == nullptr) {
        return items;
    }
    while (const struct dirent* entry = readdir(stream)) {
        struct stat info;
        if (entry->d_name[0] == '.' ||
            fstatat(dirfd(stream), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
            continue;
        }
        bool isDirectory = S_ISDIR(info.st_mode);
        if (isDirectory || S_ISREG(info.st_mode)) {
            items.push_back({SString(entry->d_name), isDirectory ? 0 : info.st_size,
                             nanoseconds(info.st_mtim), isDirectory});
        }
    }
    closedir(stream);
    return items;
}

long long CacheDirectory::fileSize(const SString& path) {
    struct stat info;
    if (lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return -1;
    }
    return info.st_size;
}

int CacheDirectory::rename(const SString& from, const SString& to) {
    return resultOf(::rename(from.c_str(), to.c_str()));
}

int CacheDirectory::link(const SString& existing, const SString& newPath) {
    return resultOf(::link(existing.c_str(), newPath.c_str()));
}

int CacheDirectory::removeFile(const SString& path) {
    return resultOf(unlink(path.c_str()));
}

void CacheDirectory::touch(const SString& path) {
    utimensat(AT_FDCWD, path.c_str(), nullptr, AT_SYMLINK_NOFOLLOW);
}

SString CacheDirectory::processTag() {
    return convertToString(static_cast<long>(getpid()));
}
