#include "support/LauncherUnitTest.h"

#include "launcher/Launcher.h"
#include "platform/PlatformImpl.h"

namespace testsupport {

LauncherUnitTest::LauncherUnitTest() {
    Launcher::setLogFileName(dir.file("log").c_str());
    PlatformImpl::setSilent(true);
}

}  // namespace testsupport
