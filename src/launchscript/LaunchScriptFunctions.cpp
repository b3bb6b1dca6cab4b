// The functions of launch commands ("%CP%()", "%REPLACE%()" and the rest) and
// what they build from the JVM file and the launcher's side files: the class
// path, system properties and Java arguments.
#include <cstdio>

#include "base/ScopedFile.h"
#include "base/TextUtils.h"
#include "jvm/JVMFile.h"
#include "launcher/Launcher.h"
#include "launchscript/CommandText.h"
#include "launchscript/LaunchScript.h"
#include "platform/PlatformImpl.h"
#include "tagfile/TagFile.h"

namespace {

// The first value of a tag of the JVM file; "" when there is no JVM file
// (a function expanded outside LaunchScript::resolve).
SString jvmTag(const JVMFile* jvm, const char* name) {
    return jvm != nullptr ? jvm->getTagFile().getTagValue(name, 0) : SString();
}

// The first value of a tag of the JVM file, or `fallback` when the file does
// not have the tag. A tag written with an empty value keeps that value.
SString jvmTagOr(const JVMFile* jvm, const char* name, const char* fallback) {
    bool present = jvm != nullptr && jvm->getTagFile().getValue(name) != nullptr;
    return present ? jvmTag(jvm, name) : SString(fallback);
}

// How the class path is written when the JVM file does not say: the option and
// the separator that every Java on this system takes.
SString classpathOption(const JVMFile* jvm) {
    return jvmTagOr(jvm, "CLASSPATH", "-cp ");
}

SString classpathSeparator(const JVMFile* jvm) {
    return jvmTagOr(jvm, "CLASSPATH_SEPARATOR", ":");
}

SString jvmResolve(const JVMFile* jvm, const SString& text) {
    return jvm != nullptr ? jvm->resolve(text) : text;
}

// Appends a non-empty word, after a blank unless the text is empty.
void appendWord(SString& text, const SString& word) {
    if (word.empty()) {
        return;
    }
    if (!text.empty()) {
        text += ' ';
    }
    text += word;
}

// The original launcher's name with its extension replaced by `suffix`. The
// extension starts at the last "." that comes after the last "/" or "\"; a
// name without any separator keeps its extension.
SString sideFileName(const char* suffix) {
    SString name = Launcher::getOriginalLauncherFileName();
    unsigned int dot = name.rfind('.');
    unsigned int separator = name.find_last_of(kAnySeparators);
    if (dot != SString::npos && separator != SString::npos && dot > separator) {
        name.erase(dot);
    }
    name += suffix;
    return name;
}

// The user's own Java arguments for this launcher, named as its ".ja" side
// file: $XDG_CONFIG_HOME/cvlaunch/setup.ja, or ~/.config/cvlaunch/setup.ja
// when XDG_CONFIG_HOME is not absolute; "" when HOME is not absolute either.
SString userJavaArgsFileName() {
    SString base = PlatformImpl::getEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.find('/') != 0) {
        SString home = PlatformImpl::getEnvironmentVariable("HOME");
        if (home.find('/') != 0) {
            return SString();
        }
        base = pathInDirectory(home, ".config");
    }
    return pathInDirectory(pathInDirectory(base, "cvlaunch"),
                           lastPathComponent(sideFileName(".ja")));
}

// Appends the lines of a text file; a file that cannot be opened is empty.
void readLines(const SString& path, StringDeque& lines) {
    ScopedFile file(path.empty() ? nullptr : fopen(path.c_str(), "r"));
    if (!file) {
        return;
    }
    while (!feof(file.get()) && !ferror(file.get())) {
        SString line;
        readLineFromStream(file.get(), line);
        lines.push_back(line);
    }
}

// Appends the lines of the side file with `suffix`.
void readSideFile(const char* suffix, StringDeque& lines) {
    readLines(sideFileName(suffix), lines);
}

}  // namespace

SString LaunchScript::functionReplace(const StringDeque& arguments) const {
    SString search = jvmResolve(m_jvmFile, arguments.at(0));
    SString replacement = jvmResolve(m_jvmFile, arguments.at(1));
    const SString& subject = arguments.at(2);
    if (search.empty()) {
        return subject;
    }
    // Built in one pass once its size is known: a short search text with a
    // long replacement multiplies the subject, and replacing in place would
    // move the rest of it again for every match.
    std::vector<unsigned int> matches;
    for (unsigned int position = subject.find(search); position != SString::npos;
         position = subject.find(search, position + search.length())) {
        matches.push_back(position);
    }
    unsigned long long size =
        subject.length() - matches.size() * search.length() +
        matches.size() * static_cast<unsigned long long>(replacement.length());
    checkLength(size);
    SString result;
    result.reserve(static_cast<unsigned int>(size));
    unsigned int copied = 0;
    for (unsigned int position : matches) {
        result.append(subject, copied, position - copied);
        result += replacement;
        copied = position + search.length();
    }
    result.append(subject, copied, SString::npos);
    return result;
}

SString LaunchScript::functionRuntimeSystemProp(const StringDeque&) const {
    return buildRuntimeSystemProps(m_jvmFile);
}

SString LaunchScript::functionRuntimeJavaArgs(const StringDeque&) const {
    return buildRuntimeJavaArgs(m_jvmFile);
}

SString LaunchScript::functionSystemProp(const StringDeque& arguments) const {
    return makeSystemProp(m_jvmFile, arguments.at(0), arguments.at(1));
}

SString LaunchScript::functionCP(const StringDeque& arguments) const {
    bool useEnvironment = jvmTag(m_jvmFile, "USE_CP_ENV_VAR").compare("1") == 0;
    SString classpath = buildRuntimeClasspath(m_jvmFile, ".cp1");
    addToClasspath(m_jvmFile, classpath, buildJVMClasspath());
    addToClasspath(m_jvmFile, classpath, buildRuntimeClasspath(m_jvmFile, ".cp"));
    // A variable's value reaches the JVM without passing the shell, so the
    // quotes that the command line would need must go.
    auto addEntry = [&](SString entry) {
        if (useEnvironment) {
            stripQdDuotes(entry);
        }
        addToClasspath(m_jvmFile, classpath, entry);
    };
    for (long i = 0; i < arguments.count; ++i) {
        addEntry(arguments.at(i));
    }
    addEntry(expandArchive());
    addToClasspath(m_jvmFile, classpath, buildJARClasspath());
    addToClasspath(m_jvmFile, classpath, buildRuntimeClasspath(m_jvmFile, ".cp2"));

    if (useEnvironment) {
        // No later pass reaches the variable: its "@" macros are replaced
        // now, and its values are written in.
        exportClasspath(CommandText::plain(jvmResolve(m_jvmFile, classpath)));
        return SString();
    }
    if (classpath.empty()) {
        return classpath;
    }
    SString option = classpathOption(m_jvmFile);
    option += classpath;
    return option;
}

void LaunchScript::exportClasspath(const SString& classpath) const {
    SString name = jvmTag(m_jvmFile, "CP_ENV_VAR");
    if (name.empty()) {
        Launcher::logMessage(
            "If USE_CP_ENV_VAR is set to 1 in the jvm file, then the jvm file should also "
            "define CP_ENV_VAR.",
            LOG_ERROR);
        return;
    }
    PlatformImpl::setEnvironmentVariable(name, classpath);
    Launcher::logInfo("Set env var ", name, " to ", classpath, '\n');
}

SString LaunchScript::functionIfExists(const StringDeque& arguments) const {
    if (jvmTag(m_jvmFile, arguments.at(0).c_str()).empty()) {
        return SString();
    }
    return jvmResolve(m_jvmFile, arguments.at(1));
}

SString LaunchScript::functionLauncherFile(const StringDeque&) const {
    return CommandText::value(Launcher::getLauncherFileName());
}

SString LaunchScript::functionLauncherDir(const StringDeque&) const {
    return CommandText::value(Launcher::getOriginalLauncherDir());
}

SString LaunchScript::functionApplicationArchive(const StringDeque& arguments) const {
    if (arguments.count == 0) {
        return CommandText::value(Launcher::getApplicationArchive());
    }
    return CommandText::value(Launcher::getApplicationArchive(arguments.at(0)));
}

SString LaunchScript::functionTempDir(const StringDeque&) const {
    return CommandText::value(PlatformImpl::getSystemTempDirectory());
}

SString LaunchScript::makeSystemProp(const JVMFile* jvm, const SString& name,
                                     const SString& value) const {
    return joinText(jvmTag(jvm, "SYSTEM"), name, jvmTag(jvm, "SYSTEM_SEPARATOR"),
                    jvmResolve(jvm, value));
}

SString LaunchScript::buildRuntimeClasspath(const JVMFile* jvm, const char* suffix) const {
    StringDeque lines;
    readSideFile(suffix, lines);
    SString classpath;
    for (long i = 0; i < lines.count; ++i) {
        if (!lines.at(i).empty()) {
            addToClasspath(jvm, classpath, CommandText::value(lines.at(i)));
        }
    }
    return classpath;
}

SString LaunchScript::buildJVMClasspath() const {
    return jvmTag(m_jvmFile, "JVM_CLASSPATH");
}

SString LaunchScript::buildJARClasspath() const {
    SString classpath;
    if (!m_extractArchives) {
        return classpath;
    }
    StringDeque archives;
    if (!Launcher::extractClasspathArchives(
            archives, m_classData ? m_classData->classesDirectory() : SString()) &&
        m_classData) {
        m_classData->classesNotKept();
    }
    for (long i = 0; i < archives.count; ++i) {
        addToClasspath(m_jvmFile, classpath, CommandText::value(archives.at(i)));
    }
    return classpath;
}

void LaunchScript::addToClasspath(const JVMFile* jvm, SString& classpath,
                                  const SString& entry) const {
    if (entry.empty()) {
        return;
    }
    if (!classpath.empty()) {
        classpath += classpathSeparator(jvm);
    }
    classpath += entry;
}

SString LaunchScript::buildRuntimeSystemProps(const JVMFile* jvm) const {
    StringDeque lines;
    readSideFile(".sp", lines);
    SString properties;
    for (long i = 0; i < lines.count; ++i) {
        const SString& line = lines.at(i);
        unsigned int equals = line.find('=');
        if (equals != SString::npos) {
            SString property = makeSystemProp(jvm, line.substr(0, equals), line.substr(equals + 1));
            appendWord(properties, CommandText::value(CommandText::plain(property)));
        }
    }
    return properties;
}

SString LaunchScript::buildRuntimeJavaArgs(const JVMFile* jvm) const {
    StringDeque lines;
    readSideFile(".ja", lines);
    readLines(userJavaArgsFileName(), lines);
    SString javaArguments;
    for (long i = 0; i < lines.count; ++i) {
        appendWord(javaArguments, CommandText::literalWords(jvmResolve(jvm, lines.at(i))));
    }
    return javaArguments;
}
