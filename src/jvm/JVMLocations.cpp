#include "jvm/JVMLocations.h"

#include <algorithm>
#include <cstring>

#include "base/TextUtils.h"
#include "platform/PlatformImpl.h"

const char* const JVMLocations::kJavaHome = "JAVA_HOME";
const char* const JVMLocations::kRuntimeStore = "runtime store";

namespace {

// One row of the table at the top of JVMLocations.h. The first and the last
// row have no pattern: JAVA_HOME is the home, PATH is read apart.
struct Location {
    const char* name;
    const char* variable;  // null when nothing moves it
    const char* base;      // when the variable is unset; "~/" is $HOME
    const char* pattern;   // under the base
};

const char kPathName[] = "PATH";

const Location kLocations[] = {
    {JVMLocations::kJavaHome, "JAVA_HOME", nullptr, nullptr},
    {"/usr/lib/jvm", nullptr, "/usr/lib/jvm", "*"},
    {"/usr/lib64/jvm", nullptr, "/usr/lib64/jvm", "*"},
    {"/usr/java", nullptr, "/usr/java", "*"},
    {"/usr/local/java", nullptr, "/usr/local/java", "*"},
    {"/opt/java", nullptr, "/opt/java", "*"},
    {"/opt", nullptr, "/opt", "jdk*"},
    {"SDKMAN", "SDKMAN_CANDIDATES_DIR", "~/.sdkman/candidates", "java/*"},
    {"IntelliJ", nullptr, "~/.jdks", "*"},
    {"Gradle", "GRADLE_USER_HOME", "~/.gradle", "jdks/*"},
    {"asdf", "ASDF_DATA_DIR", "~/.asdf", "installs/java/*"},
    {"mise", "MISE_DATA_DIR", "~/.local/share/mise", "installs/java/*"},
    {"jabba", "JABBA_HOME", "~/.jabba", "jdk/*"},
    {"JBang", "JBANG_CACHE_DIR", "~/.jbang/cache", "jdks/*"},
    {"Coursier", "COURSIER_ARCHIVE_CACHE", "~/.cache/coursier/arc",
     "https/github.com/*/*/releases/download/*/*"},
    {"Coursier", "COURSIER_ARCHIVE_CACHE", "~/.cache/coursier/arc",
     "https/cdn.azul.com/zulu/bin/*"},
    {"Coursier", "COURSIER_JVM_CACHE", "~/.cache/coursier/jvm", "*"},
    {"Homebrew", "HOMEBREW_PREFIX", "/home/linuxbrew/.linuxbrew", "opt/openjdk*/libexec"},
    {JVMLocations::kRuntimeStore, "XDG_DATA_HOME", "~/.local/share", "cvlaunch/runtimes/*"},
    {kPathName, "PATH", nullptr, nullptr},
};

const char kJavaExe[] = "bin/java";

bool holdsJava(const SString& directory) {
    return PlatformImpl::fileExists(pathInDirectory(directory, kJavaExe));
}

// The directory under which a location's pattern applies; "" when it lies
// in the home directory and HOME is not set.
SString locationBase(const Location& location) {
    SString moved = location.variable == nullptr
                        ? SString()
                        : PlatformImpl::getEnvironmentVariable(location.variable);
    if (!moved.empty()) {
        return moved;
    }
    if (strncmp(location.base, "~/", 2) != 0) {
        return location.base;
    }
    SString home = PlatformImpl::getEnvironmentVariable("HOME");
    return home.empty() ? SString() : pathInDirectory(home, location.base + 2);
}

// The homes in a directory that a pattern matched: itself, or one level
// down where archives unpack.
void addHomesIn(const SString& directory, const Location& location,
                std::vector<JVMLocations::Home>& homes) {
    if (holdsJava(directory)) {
        homes.push_back({directory, location.name});
        return;
    }
    SString bundle = pathInDirectory(directory, "Contents/Home");
    if (holdsJava(bundle)) {
        homes.push_back({bundle, location.name});
        return;
    }
    StringDeque inside;
    PlatformImpl::matchDirectories(pathInDirectory(JVMLocations::globLiteral(directory), "*"),
                                   inside);
    for (const SString& home : JVMLocations::newestFirst(inside)) {
        if (holdsJava(home)) {
            homes.push_back({home, location.name});
        }
    }
}

void addPatternHomes(const Location& location, std::vector<JVMLocations::Home>& homes) {
    SString base = locationBase(location);
    if (base.empty()) {
        return;
    }
    StringDeque matches;
    PlatformImpl::matchDirectories(
        pathInDirectory(JVMLocations::globLiteral(base), location.pattern), matches);
    for (const SString& directory : JVMLocations::newestFirst(matches)) {
        addHomesIn(directory, location, homes);
    }
}

// The homes of the PATH directories that hold a Java, in PATH order.
void addPathHomes(std::vector<JVMLocations::Home>& homes) {
    StringDeque directories;
    PlatformImpl::getPlatformJVMPaths(directories);
    for (long i = 0; i < directories.count; ++i) {
        const SString& directory = directories.at(i);
        SString java = directory.empty() ? SString()
                                         : PlatformImpl::resolvePath(pathInDirectory(
                                               directory, lastPathComponent(kJavaExe)));
        if (!java.empty() && !PlatformImpl::isDirectory(java)) {
            homes.push_back({parentDirectory(parentDirectory(java)), kPathName});
        }
    }
}

}  // namespace

std::vector<JVMLocations::Home> JVMLocations::homes(bool withPath) {
    std::vector<Home> homes;
    for (const Location& location : kLocations) {
        if (location.pattern != nullptr) {
            addPatternHomes(location, homes);
        } else if (strcmp(location.name, kPathName) != 0) {
            SString javaHome = PlatformImpl::getEnvironmentVariable(location.variable);
            if (!javaHome.empty()) {
                homes.push_back({javaHome, location.name});
            }
        } else if (withPath) {
            addPathHomes(homes);
        }
    }
    return homes;
}

std::vector<SString> JVMLocations::newestFirst(const StringDeque& directories) {
    std::vector<SString> sorted;
    for (long i = 0; i < directories.count; ++i) {
        sorted.push_back(directories.at(i));
    }
    std::sort(sorted.begin(), sorted.end(), [](const SString& first, const SString& second) {
        int order = naturalCompare(lastPathComponent(first), lastPathComponent(second));
        return (order != 0 ? order : naturalCompare(first, second)) > 0;
    });
    return sorted;
}

SString JVMLocations::globLiteral(const SString& text) {
    SString literal;
    for (unsigned int i = 0; i < text.length(); ++i) {
        char c = text[i];
        if (c != '\0' && strchr("*?[\\", c) != nullptr) {
            literal += '\\';
        }
        literal += c;
    }
    return literal;
}
