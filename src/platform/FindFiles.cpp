// Platform layer: the file-name search over directory trees. Only
// src/platform/ talks to the operating system.
#include "platform/FindFiles.h"

#ifdef __linux__
#include <linux/magic.h>
#include <sys/vfs.h>
#endif

#include "base/TextUtils.h"
#include "platform/FileFindListener.h"
#include "platform/PlatformImpl.h"

namespace {

#ifdef __linux__
// Not in every <linux/magic.h>.
const unsigned long kConfigFsMagic = 0x62656570;
const unsigned long kFuseCtlMagic = 0x65735543;
const unsigned long kMqueueMagic = 0x19800202;

// File systems that the kernel makes up on the fly: they hold no programs,
// some of them are huge or endless (proc, sysfs), and reading some of them
// has side effects (autofs mounts what is looked at).
const unsigned long kPseudoFileSystems[] = {
    PROC_SUPER_MAGIC, SYSFS_MAGIC,     DEVPTS_SUPER_MAGIC, CGROUP_SUPER_MAGIC, CGROUP2_SUPER_MAGIC,
    SECURITYFS_MAGIC, DEBUGFS_MAGIC,   TRACEFS_MAGIC,      PSTOREFS_MAGIC,     BPF_FS_MAGIC,
    kMqueueMagic,     HUGETLBFS_MAGIC, BINFMTFS_MAGIC,     AUTOFS_SUPER_MAGIC, NSFS_MAGIC,
    SELINUX_MAGIC,    SMACK_MAGIC,     EFIVARFS_MAGIC,     kConfigFsMagic,     kFuseCtlMagic,
};

bool isOnPseudoFileSystem(const SString& dir) {
    struct statfs info;
    if (statfs(dir.c_str(), &info) != 0) {
        return false;
    }
    for (unsigned long type : kPseudoFileSystems) {
        if (static_cast<unsigned long>(info.f_type) == type) {
            return true;
        }
    }
    return false;
}
#else
#error \
    "A port supplies isOnPseudoFileSystem: whether a directory lies on a file system the kernel makes up (procfs, devfs and the like)."
#endif

SString withSeparator(const SString& path) {
    SString result(path);
    appendPathSeparator(result);
    return result;
}

// True when `path` ends in "/" followed by `name`.
bool endsWithName(const SString& path, const SString& name) {
    unsigned int at = stringEndsWith(path, name.c_str());
    return at != SString::npos && at > 0 && path[at - 1] == '/';
}

}  // namespace

FindFiles::FindFiles(const StringDeque& names, FileFindListener& listener)
    : FileNavigator(true),
      m_names(names),
      m_listener(listener),
      m_tempDir(withSeparator(PlatformImpl::getSystemTempDirectory())) {}

bool FindFiles::processFile(const SString& path) {
    bool stop = false;
    for (long i = 0; i < m_names.count && !stop; ++i) {
        if (endsWithName(path, m_names.at(i))) {
            stop = m_listener.foundFile(path);
        }
    }
    return stop;
}

bool FindFiles::skipDirectory(const SString& dir) {
    SString path = withSeparator(dir);
    return path.compare(m_tempDir) == 0 || path.compare("/var/tmp/") == 0 ||
           isOnPseudoFileSystem(path);
}
