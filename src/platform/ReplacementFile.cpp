// Platform layer: new files that take their target's place only once they
// are complete. Only src/platform/ talks to the operating system.
#include "platform/ReplacementFile.h"

#include <cerrno>
#include <ctime>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/random.h>
#endif

#include "platform/PlatformImpl.h"

namespace {

// A temporary name is taken only by a file that someone else put there; so
// many attempts in a row fail only when someone keeps doing so.
const int kNameAttempts = 100;

const char kNameLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
const unsigned int kNameLetterCount = sizeof kNameLetters - 1;

#ifdef __linux__
// Directories are opened as handles for the *at calls only, which needs no
// permission to read them.
const int kDirectoryHandle = O_PATH;

// Fills `bits` from the system's random source; false when it gives none.
bool systemRandomBits(unsigned long long& bits) {
    return retryOnEintr([&] { return getrandom(&bits, sizeof bits, 0); }) ==
           static_cast<ssize_t>(sizeof bits);
}
#else
#error "A port supplies kDirectoryHandle (O_SEARCH, or O_RDONLY) and systemRandomBits (getentropy)."
#endif

// Should the system give no random bytes, the clock stands in: a name that is
// taken is refused by openat, and the next attempt reads the clock again.
unsigned long long randomBits() {
    unsigned long long bits = 0;
    if (!systemRandomBits(bits)) {
        struct timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        bits = static_cast<unsigned long long>(now.tv_nsec) * 2654435761ULL ^
               static_cast<unsigned long long>(getpid());
    }
    return bits;
}

// ".cvj" and six random letters and digits.
SString temporaryName() {
    unsigned long long bits = randomBits();
    SString name(".cvj");
    for (int i = 0; i < 6; ++i) {
        name += kNameLetters[bits % kNameLetterCount];
        bits /= kNameLetterCount;
    }
    return name;
}

// Opens the directory `name` inside `parent` for the *at calls without
// following a link: ELOOP for a symbolic link, ENOTDIR for another file.
// Returns the descriptor, or -1 with the error in errno.
int openDirectoryIn(int parent, const char* name) {
    int fd = retryOnEintr(
        [&] { return openat(parent, name, kDirectoryHandle | O_NOFOLLOW | O_CLOEXEC); });
    if (fd < 0) {
        return -1;
    }
    struct stat info;
    int error = 0;
    if (fstat(fd, &info) != 0) {
        error = errno;
    } else if (S_ISLNK(info.st_mode)) {
        error = ELOOP;
    } else if (!S_ISDIR(info.st_mode)) {
        error = ENOTDIR;
    }
    if (error != 0) {
        close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

// Opens `directory` ("" for the current one), following links, then every
// directory that `name` leads through, without; `last` gets the position of
// the name's last part. Returns the descriptor of the last directory, or -1
// with the error in errno.
int openDirectoriesOf(const SString& directory, const SString& name, unsigned int& last) {
    const char* start = directory.empty() ? "." : directory.c_str();
    int fd = retryOnEintr(
        [&] { return openat(AT_FDCWD, start, kDirectoryHandle | O_DIRECTORY | O_CLOEXEC); });
    last = 0;
    for (unsigned int end = name.find('/'); fd >= 0 && end != SString::npos;
         end = name.find('/', last)) {
        SString part(name, last, end - last);
        last = end + 1;
        if (part.empty() || part.compare(".") == 0) {
            continue;
        }
        int inner = openDirectoryIn(fd, part.c_str());
        int error = errno;  // the close must not hide why the inner one failed
        close(fd);
        fd = inner;
        errno = error;
    }
    return fd;
}

// Creates a new file under a temporary name in `directory`, with the
// permissions that the umask leaves of `mode`. Returns its descriptor and
// sets `name`, or -1 with the error in errno.
int createTemporary(int directory, SString& name, int mode) {
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        name = temporaryName();
        int fd = retryOnEintr([&] {
            return openat(directory, name.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        });
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    errno = EEXIST;
    return -1;
}

// Adds execute permission for owner, group and others, as setFileExecutable
// does; a failure leaves the file as it is.
void makeExecutable(int fd) {
    struct stat info;
    if (fstat(fd, &info) == 0) {
        fchmod(fd, info.st_mode | S_IXUSR | S_IXGRP | S_IXOTH);
    }
}

}  // namespace

ReplacementFile::~ReplacementFile() {
    discard();
}

int ReplacementFile::open(const SString& directory, const SString& name, int mode) {
    discard();
    unsigned int last = 0;
    m_directory = openDirectoriesOf(directory, name, last);
    if (m_directory < 0) {
        return errno;
    }
    m_name = SString(name, last);
    if (m_name.empty() || m_name.compare(".") == 0) {
        return EISDIR;
    }
    SString tempName;
    int fd = createTemporary(m_directory, tempName, mode);
    if (fd < 0) {
        return errno;
    }
    m_tempName = tempName;
    m_stream = fdopen(fd, "wb");
    if (m_stream == nullptr) {
        int error = errno;
        close(fd);
        return error;
    }
    return 0;
}

int ReplacementFile::commit(bool executable) {
    if (executable) {
        makeExecutable(fileno(m_stream));
    }
    FILE* stream = m_stream;
    m_stream = nullptr;
    int error = fclose(stream) == 0 ? 0 : errno;
    if (error == 0 && renameat(m_directory, m_tempName.c_str(), m_directory, m_name.c_str()) != 0) {
        error = errno;
    }
    if (error == 0) {
        m_tempName = SString();
    }
    discard();
    return error;
}

void ReplacementFile::discard() {
    if (m_stream != nullptr) {
        fclose(m_stream);
        m_stream = nullptr;
    }
    if (!m_tempName.empty()) {
        unlinkat(m_directory, m_tempName.c_str(), 0);
        m_tempName = SString();
    }
    if (m_directory >= 0) {
        close(m_directory);
        m_directory = -1;
    }
}
