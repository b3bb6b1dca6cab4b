#include "jvm/JVMSearchFixture.h"

#include <algorithm>

#include "launcher/Launcher.h"
#include "platform/PlatformImpl.h"
#include "support/FakeJavaHome.h"

void JVMSearchFixture::SetUp() {
    testsupport::makeDirectories(dir_.file("emptybin"));
    Launcher::setLogFileName(dir_.file("log").c_str());
    // As for input-file actions without progress display: no progress marks
    // among the result lines.
    PlatformImpl::hideUI(0);
    setEnv("PATH", dir_.file("emptybin"));
    setEnv("CVTEST_JAVA_RUNS", dir_.file("calls"));
    env_.set("LANG", nullptr);
}

std::string JVMSearchFixture::makeHome(const std::string& name, const std::string& vendor,
                                       const std::string& exe) {
    return testsupport::writeVerifyingJava(dir_.file(name), vendor + "\\n", exe).home();
}

TagFile& JVMSearchFixture::makeJVMFile(const std::string& desc, const std::string& vendor,
                                       const std::string& exe) {
    tagFiles_.push_back(std::make_unique<TagFile>());
    TagFile& tagFile = *tagFiles_.back();
    tagFile.fileName = desc.c_str();
    std::string property = "java.vendor=" + vendor;
    testsupport::appendTags(
        tagFile,
        {{"DESC", desc.c_str()}, {"JVM_EXE", exe.c_str()}, {"JVM_PROPERTIES", property.c_str()}});
    return tagFile;
}

bool JVMSearchFixture::onCleanupList(const SString& path) {
    std::vector<std::string> files = testsupport::listOf(PlatformImpl::m_sdqCreatedFiles);
    return std::find(files.begin(), files.end(), path.c_str()) != files.end();
}
