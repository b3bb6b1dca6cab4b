#include "cvpack/RuntimeLinker.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "base/StringDeque.h"
#include "base/TextUtils.h"
#include "launcher/LauncherException.h"
#include "platform/PlatformImpl.h"
#include "tagfile/TagText.h"

namespace {

// jlink's --generate-cds-archive came with 17; zip-0 replaced 0 as the
// level without compression in 21.
const long kOldestFeature = 17;
const long kZipLevelsFeature = 21;

// The value of `key` in the "release" file of the Java home `home`
// (KEY="value" lines); empty when the file or the key is missing.
SString releaseValue(const SString& home, const char* key) {
    SString text;
    return readWholeFile(pathInDirectory(home, "release"), text)
               ? RuntimeImage::releaseValue(text, key)
               : SString();
}

// A tool's output without the lines of a Java stack trace ("\tat ..."),
// which say nothing to the packager.
SString withoutStackTrace(const SString& output) {
    SString text;
    unsigned int index = 0;
    while (index < output.length()) {
        unsigned int start = index;
        SString line;
        readLineFromString(output, index, line);
        bool frame = output[start] == '\t' && line.compare(0, 3, "at ") == 0;
        if (!frame && !line.empty()) {
            text += joinText(text.empty() ? "" : "\n", line);
        }
    }
    return text;
}

// Runs a tool of the JDK: its standard output, or, when it fails, a
// LauncherException with what it wrote on both streams but a stack trace.
SString runTool(const std::vector<SString>& command, const char* failure) {
    StringDeque arguments;
    for (const SString& argument : command) {
        arguments.push_back(argument);
    }
    SString output;
    SString errors;
    int status = PlatformImpl::runCaptured(arguments, SString(), &output, &errors);
    if (status != 0) {
        SString said = withoutStackTrace(joinText(output, errors));
        throw LauncherException(joinText(lastPathComponent(command[0]), ' ', failure,
                                         " (exit status ", convertToString(status), "): ", said));
    }
    return output;
}

// The names of a comma-separated list, appended to `names` unless they are
// in it already.
void addNames(std::vector<SString>& names, const SString& list) {
    unsigned int start = 0;
    while (start < list.length()) {
        unsigned int comma = list.find(',', start);
        SString name = list.substr(start, comma == SString::npos ? SString::npos : comma - start);
        trim(name, " \t\r\n");
        bool known = std::any_of(names.begin(), names.end(), [&name](const SString& known) {
            return known.compare(name) == 0;
        });
        if (!name.empty() && !known) {
            names.push_back(name);
        }
        start = comma == SString::npos ? list.length() : comma + 1;
    }
}

SString commaList(const std::vector<SString>& names) {
    SString list;
    for (const SString& name : names) {
        list += joinText(list.empty() ? "" : ",", name);
    }
    return list;
}

}  // namespace

RuntimeLinker::RuntimeLinker(const SString& jdkHome)
    : m_home(jdkHome), m_javaVersion(releaseValue(jdkHome, "JAVA_VERSION")) {
    if (!PlatformImpl::fileExists(tool("jlink"))) {
        throw LauncherException(joinText("cannot link a runtime from ", jdkHome, ": ",
                                         tool("jlink"),
                                         " is missing (--runtime needs the home of a JDK)"));
    }
    m_feature = atol(m_javaVersion.c_str());
    if (m_feature < kOldestFeature) {
        SString found = m_javaVersion.empty()
                            ? SString("it has no release file with a JAVA_VERSION")
                            : joinText("it is Java ", m_javaVersion);
        throw LauncherException(joinText("cannot link a runtime from ", jdkHome, ": ", found,
                                         " (--runtime needs the home of a JDK ",
                                         convertToString(kOldestFeature), " or later)"));
    }
}

SString RuntimeLinker::tool(const char* name) const {
    return pathInDirectory(pathInDirectory(m_home, "bin"), name);
}

SString RuntimeLinker::modules(const std::vector<SString>& jars, const SString& option) const {
    std::vector<SString> names;
    bool replaced = !option.empty() && option[0] != '+';
    if (!replaced) {
        std::vector<SString> command = {
            tool("jdeps"),     "--print-module-deps",      "--ignore-missing-deps",
            "--multi-release", convertToString(m_feature), "-q"};
        command.insert(command.end(), jars.begin(), jars.end());
        addNames(names, runTool(command, "could not list the modules of the jars"));
    }
    addNames(names, option.empty() || replaced ? option : option.substr(1));
    SString list = commaList(names.empty() ? std::vector<SString>{"java.base"} : names);
    fprintf(
        stderr, "cvpack: runtime modules: %s (%s)\n", list.c_str(),
        replaced ? "from --runtime-modules" : "from jdeps; add more with --runtime-modules +LIST");
    return list;
}

void RuntimeLinker::link(const SString& modules, const SString& image) const {
    std::vector<SString> command = {
        tool("jlink"),
        "--add-modules",
        modules,
        "--strip-debug",
        "--no-man-pages",
        "--no-header-files",
        "--generate-cds-archive",
        m_feature < kZipLevelsFeature ? "--compress=0" : "--compress=zip-0"};
    SString jmods = pathInDirectory(m_home, "jmods");
    if (PlatformImpl::isDirectory(jmods)) {
        command.insert(command.end(), {"--module-path", jmods});
    }
    command.insert(command.end(), {"--output", image});
    runTool(command, "could not link the runtime");
}

RuntimeImageInfo RuntimeLinker::pack(const SString& installer, const SString& image,
                                     const SString& application, const SString& output, int level) {
    SString version = releaseValue(image, "JAVA_VERSION");
    SString jvm = TagText()
                      .line("DESC", joinText("Java runtime ", version, " of ", application))
                      .line("JVM_EXE", "bin/java")
                      .line("JAVA_VERSION", version)
                      .line("CLASSPATH", "-cp ")
                      .line("CLASSPATH_SEPARATOR", ":")
                      .line("SYSTEM", "-D")
                      .line("SYSTEM_SEPARATOR", "=")
                      .text();
    return RuntimeImage::write(installer, image, {{"jvm", jvm}}, output, level);
}
