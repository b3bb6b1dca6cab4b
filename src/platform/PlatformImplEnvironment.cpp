// Platform layer: environment variables, the current directory, absolute
// paths, the path separator and byte order. Only src/platform/ talks to the
// operating system.
#include <climits>
#include <cstdint>
#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/TextUtils.h"
#include "platform/PlatformImpl.h"

SString PlatformImpl::getEnvironmentVariable(const SString& name) {
    const char* value = getenv(name.c_str());
    return SString(value ? value : "");
}

void PlatformImpl::setEnvironmentVariable(const SString& name, const SString& value) {
    // setenv copies both texts, so nothing has to outlive the call.
    setenv(name.c_str(), value.c_str(), 1);
}

SString PlatformImpl::getPathSeparator() {
    return SString("/");
}

long PlatformImpl::convertToLong(char* bytes) {
    const unsigned char* b = reinterpret_cast<const unsigned char*>(bytes);
    uint32_t value =
        (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | uint32_t(b[3]);
    return static_cast<int32_t>(value);
}

short PlatformImpl::convertToShort(char* bytes) {
    const unsigned char* b = reinterpret_cast<const unsigned char*>(bytes);
    uint16_t value = static_cast<uint16_t>((b[0] << 8) | b[1]);
    return static_cast<int16_t>(value);
}

void PlatformImpl::preJavaLaunch(int, const JVMFile&) {}

namespace {

#ifdef __linux__
SString ownExecutable() {
    char buffer[PATH_MAX + 1] = {0};
    ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0) {
        return SString("/proc/self/exe");
    }
    return SString(buffer, static_cast<unsigned int>(length));
}
#else
#error "A port supplies ownExecutable: the path of the running program's file."
#endif

// Makes a relative path absolute against the current directory; "" when the
// current directory cannot be determined.
SString absolutePath(const SString& path) {
    if (!path.empty() && path[0] == '/') {
        return path;
    }
    SString directory = PlatformImpl::getCurrentDirectory();
    return directory.empty() ? directory : pathInDirectory(directory, path);
}

bool isExecutableFile(const SString& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           access(path.c_str(), X_OK) == 0;
}

// The file the shell ran for a bare command name: the first PATH directory
// holding an executable file of that name (an empty entry is the current
// directory, as for the shell).
SString findInPath(const SString& name) {
    SString path = PlatformImpl::getEnvironmentVariable("PATH");
    unsigned int start = 0;
    while (start <= path.length()) {
        unsigned int colon = path.find(':', start);
        unsigned int end = colon == SString::npos ? path.length() : colon;
        SString directory = path.substr(start, end - start);
        SString candidate = pathInDirectory(directory.empty() ? SString(".") : directory, name);
        if (isExecutableFile(candidate)) {
            return absolutePath(candidate);
        }
        start = end + 1;
    }
    return SString();
}

// A launcher installed as a symbolic link is the file that the link leads
// to, so that its side files and its directory are those of the real file.
SString followLink(const SString& path) {
    struct stat info;
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
        return path;
    }
    SString target = PlatformImpl::resolvePath(path);
    return target.empty() ? path : target;
}

}  // namespace

SString PlatformImpl::getLauncherPath(const char* argv0) {
    SString name(argv0 ? argv0 : "");
    SString path;
    if (!name.empty() && name[0] == '/') {
        path = name;
    } else if (name.find('/') != SString::npos) {
        path = absolutePath(name);
    } else if (!name.empty()) {
        path = findInPath(name);
    }
    return path.empty() ? ownExecutable() : followLink(path);
}

SString PlatformImpl::getAbsolutePath(const SString& path) {
    SString absolute = absolutePath(path);
    return absolute.empty() ? path : absolute;
}

SString PlatformImpl::getCurrentDirectory() {
    char* directory = getcwd(nullptr, 0);
    SString result(directory);
    free(directory);
    return result;
}

void PlatformImpl::openMissingStandardStreams() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) < 0) {
            // open takes the lowest free descriptor: this one.
            open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        }
    }
}
