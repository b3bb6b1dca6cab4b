// Platform layer: where the JVM search looks (search roots, hints, PATH) and
// the file-name search over the search roots.
#include <glob.h>

#include "FindFiles.h"
#include "LauncherException.h"
#include "PlatformImpl.h"
#include "TextUtils.h"

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
