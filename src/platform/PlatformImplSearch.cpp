// Platform layer: where the JVM search looks (search roots, hints, PATH) and
// the file-name search over the search roots.
#include "FindFiles.h"
#include "PlatformImpl.h"
#include "TextUtils.h"

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
