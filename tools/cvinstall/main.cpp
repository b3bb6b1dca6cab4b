// cvinstall: the installer of the Java runtime that a launcher file carries.
// The launcher extracts it into an empty directory and runs it there without
// arguments; it unpacks the runtime image appended to itself into its current
// directory, the runtime's description file "jvm" last. Exit status: 0 done,
// 1 failed (the reason on standard error), 2 usage error.
#include <cstdio>
#include <cstring>

#include "cvinstall/RuntimeImage.h"
#include "launcher/LauncherException.h"

namespace {

const char kUsage[] =
    "Usage: cvinstall\n"
    "\n"
    "The installer that a launcher file made with cvpack --runtime runs to\n"
    "install the Java runtime it carries: it unpacks the runtime appended to\n"
    "itself into the current directory. It is not meant to be run by hand.\n"
    "\n"
    "  --help  show this text\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && strcmp(argv[1], "--help") == 0) {
        fputs(kUsage, stdout);
        return 0;
    }
    if (argc > 1) {
        fprintf(stderr, "cvinstall: unexpected argument %s\n%s", argv[1], kUsage);
        return 2;
    }
    try {
        RuntimeImage::unpack("/proc/self/exe", ".");
        return 0;
    } catch (const LauncherException& e) {
        fprintf(stderr, "cvinstall: %s\n", e.message.c_str());
        return 1;
    }
}
