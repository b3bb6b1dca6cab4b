#include "jvm/VerifyArchive.h"

#include "base/TextUtils.h"
#include "platform/PlatformImpl.h"

void installedVerifyArchivePlaces(const SString& directory, StringDeque& places) {
    if (directory.empty()) {
        return;
    }
    places.push_back(pathInDirectory(directory, "verify.jar"));
    places.push_back(pathInDirectory(directory, "../share/cvlaunch/verify.jar"));
}

SString findInstalledVerifyArchive(const SString& directory) {
    StringDeque places;
    installedVerifyArchivePlaces(directory, places);
    for (long i = 0; i < places.count; ++i) {
        if (PlatformImpl::fileExists(places.at(i))) {
            return places.at(i);
        }
    }
    return SString();
}
