#include "jvm/JVMSearchFixture.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstdlib>
#include <sstream>

#include "Launcher.h"
#include "PlatformImpl.h"

void makeDirectories(const std::string& path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        mkdir(path.substr(0, slash).c_str(), 0755);
    }
    mkdir(path.c_str(), 0755);
}

std::vector<std::string> entriesOf(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* handle = opendir(dir.c_str())) {
        while (dirent* entry = readdir(handle)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..") {
                names.push_back(name);
            }
        }
        closedir(handle);
    }
    return names;
}

void JVMSearchFixture::SetUp() {
    savedTempDir_ = PlatformImpl::m_tempDir;
    savedLogFile_ = Launcher::m_logFileName;
    savedUserJavaHome_ = Launcher::m_userJavaHome;
    savedUIVisible_ = PlatformImpl::isUIVisible();
    makeDirectories(tempDir());
    makeDirectories(dir_.file("emptybin"));
    PlatformImpl::setSystemTempDir(tempDir().c_str());
    Launcher::setLogFileName(dir_.file("log").c_str());
    Launcher::m_userJavaHome = SString();
    PlatformImpl::m_canceled = false;
    // As for input-file actions without progress display: no progress marks
    // among the result lines.
    PlatformImpl::hideUI(0);
    setEnv("PATH", dir_.file("emptybin"));
    unsetenv("LANG");
}

void JVMSearchFixture::TearDown() {
    forgetCleanupEntries();
    for (auto it = savedEnv_.rbegin(); it != savedEnv_.rend(); ++it) {
        if (it->second) {
            setenv(it->first.c_str(), it->second->c_str(), 1);
        } else {
            unsetenv(it->first.c_str());
        }
    }
    PlatformImpl::m_tempDir = savedTempDir_;
    Launcher::setLogFileName(savedLogFile_);
    Launcher::m_userJavaHome = savedUserJavaHome_;
    PlatformImpl::m_canceled = false;
    if (savedUIVisible_) {
        PlatformImpl::showUI();
    } else {
        PlatformImpl::hideUI(0);
    }
}

void JVMSearchFixture::setEnv(const std::string& name, const std::string& value) {
    const char* old = getenv(name.c_str());
    savedEnv_.emplace_back(name, old != nullptr ? std::make_unique<std::string>(old) : nullptr);
    setenv(name.c_str(), value.c_str(), 1);
}

std::string JVMSearchFixture::makeHome(const std::string& name, const std::string& vendor,
                                       const std::string& exe) {
    std::string home = dir_.file(name);
    std::string exePath = home + "/" + exe;
    makeDirectories(exePath.substr(0, exePath.rfind('/')));
    testsupport::writeFile(exePath,
                           "#!/bin/sh\n"
                           "echo '" +
                               home + "' >> '" + dir_.file("calls") +
                               "'\n"
                               "printf '%s\\n' 1739021872 '" +
                               vendor + "'\n",
                           0755);
    return home;
}

TagFile& JVMSearchFixture::makeJVMFile(const std::string& desc, const std::string& vendor,
                                       const std::string& exe) {
    tagFiles_.push_back(std::make_unique<TagFile>());
    TagFile& tagFile = *tagFiles_.back();
    tagFile.fileName = desc.c_str();
    tagFile.setTagValue("DESC", desc.c_str());
    tagFile.setTagValue("JVM_EXE", exe.c_str());
    tagFile.setTagValue("JVM_PROPERTIES", ("java.vendor=" + vendor).c_str());
    return tagFile;
}

std::vector<std::string> JVMSearchFixture::calls() const {
    std::vector<std::string> homes;
    if (!testsupport::fileExists(dir_.file("calls"))) {
        return homes;
    }
    std::istringstream lines(testsupport::readFile(dir_.file("calls")));
    for (std::string line; std::getline(lines, line);) {
        homes.push_back(line);
    }
    return homes;
}

std::string JVMSearchFixture::logText() const {
    return testsupport::fileExists(dir_.file("log")) ? testsupport::readFile(dir_.file("log"))
                                                     : std::string();
}

bool JVMSearchFixture::onCleanupList(const SString& path) {
    for (long i = 0; i < PlatformImpl::m_sdqCreatedFiles.count; i++) {
        if (PlatformImpl::m_sdqCreatedFiles.at(i).compare(path) == 0) {
            return true;
        }
    }
    return false;
}

void JVMSearchFixture::forgetCleanupEntries() {
    for (StringDeque* list : {&PlatformImpl::m_sdqCreatedFiles, &PlatformImpl::m_sdqCreatedDrs}) {
        for (long i = list->count - 1; i >= 0; i--) {
            if (list->at(i).compare(0, dir_.path().size(), dir_.path().c_str()) == 0) {
                list->erase(i);
            }
        }
    }
}
