#include "support/LauncherUnitTest.h"

#include "Launcher.h"
#include "PlatformImpl.h"

namespace testsupport {

LauncherUnitTest::LauncherUnitTest() {
    Launcher::setLogFileName(dir.file("log").c_str());
    PlatformImpl::setSilent(true);
}

}  // namespace testsupport
