// Platform layer: replacing the launcher's process image.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include <unistd.h>

#include "PlatformImpl.h"

SString PlatformImpl::replaceProcess(const StringDeque& arguments) {
    std::vector<char*> argv;
    for (long i = 0; i < arguments.count; ++i) {
        argv.push_back(const_cast<char*>(arguments.at(i).c_str()));
    }
    argv.push_back(nullptr);
    // Whatever stdio still holds would be lost with the process image.
    fflush(stdout);
    fflush(stderr);
    execv(argv[0] != nullptr ? argv[0] : "", argv.data());
    return SString(strerror(errno));
}
