#include "cvpack/ApplicationConfig.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "base/SystemError.h"
#include "base/TextUtils.h"
#include "cvpack/JarFile.h"
#include "cvpack/JarManifest.h"
#include "jvm/JavaRange.h"
#include "launcher/LauncherException.h"
#include "launchscript/CommandText.h"
#include "launchscript/MacroHandler.h"
#include "payload/FileIndexEntry.h"
#include "platform/PlatformImpl.h"
#include "platform/ReplacementFile.h"
#include "tagfile/TagText.h"

namespace {

// The directory, beside the generated files, of the jars whose manifest is
// rewritten.
const char kCopiesDirectory[] = "classpath";

// The program, the class-data archive's options, the class path (with the
// .cp side files), then the .sp and .ja side files, so that an installation
// can tune the JVM without repacking; the options and the main class follow.
const char kProgram[] = "\"@JVM_HOME@/@JVM_EXE@\"";
const char kClassDataArchive[] = " %CLASS_DATA_ARCHIVE%()";
const char kCommandRest[] = " %CP%() %RUNTIME_SYSTEMPROP%() %RUNTIME_JAVAARGS%()";

// Reads the words that the packer writes into a command template the way
// the launcher reads them, to catch those that it would read otherwise: a
// macro pass finds every "%", "@" and "#" but the last one or two of a
// text, so only one of each can stand in it as a character (doubled).
class CommandReader : public MacroHandler {
  public:
    // Whether `text` reads back as a plain command whose arguments after the
    // program are `words`.
    bool readsBackAs(const SString& text, const std::vector<SString>& words) const {
        SString resolved;
        try {
            resolved = resolve(resolve(resolve(text, '%'), '@'), '#');
        } catch (const LauncherException&) {
            return false;
        }
        CommandText command(joinText("java", resolved), nullptr);
        const StringDeque& arguments = command.arguments();
        bool same =
            command.runsDirectly() && arguments.count == static_cast<long>(words.size()) + 1;
        for (size_t i = 0; same && i < words.size(); ++i) {
            same = arguments.at(static_cast<long>(i) + 1).compare(words[i]) == 0;
        }
        return same;
    }

    // The words hold no macro: any that the passes find was misread.
    void processMacro(SString&, char, unsigned int, unsigned int&) const override {
        throw LauncherException("a macro");
    }
};

// `text` as one word of a command template: shell text in which "%", "@"
// and "#" are doubled.
SString commandWord(const SString& text) {
    SString shell = ApplicationConfig::shellWord(text);
    SString word;
    for (unsigned int i = 0; i < shell.length(); ++i) {
        char c = shell[i];
        word += c;
        if (c == '%' || c == '@' || c == '#') {
            word += c;
        }
    }
    return word;
}

// The words of the command after its start, checked one after the other so
// that a failure names the first word that the launcher would misread.
SString commandWords(const std::vector<SString>& words) {
    CommandReader reader;
    SString text;
    std::vector<SString> written;
    for (const SString& word : words) {
        text += joinText(' ', commandWord(word));
        written.push_back(word);
        if (!reader.readsBackAs(text, written)) {
            throw LauncherException(
                joinText("cannot write ", ApplicationConfig::shellWord(word),
                         " into the launch command: the Java options and the main class "
                         "together may hold each of %, @ and # only once, as the launcher reads "
                         "more of them as macros"));
        }
    }
    return text;
}

// The instructions that launch with a JVM that java.jvm accepts, if one is
// found (with the failure message or not), and otherwise go on at the
// label `otherwise`.
std::vector<SString> findJvm(bool failureMessage, const char* otherwise) {
    return {"// N1 tells whether a JVM that java.jvm accepts was found, S2 is its match file.",
            joinText("FIND_JVM 0 ", failureMessage ? "1" : "0"), joinText("JMP0 @N1@ ", otherwise),
            "LAUNCH \"@S2@\" 0", "GOTO end"};
}

// The instructions that launch with the carried runtime, if it can be
// installed or is already, and otherwise go on at the label `otherwise`.
std::vector<SString> installRuntime(const char* otherwise) {
    return {
        "// The runtime carried by the launcher, from the user's runtime store (installed "
        "there on first use); S1 is its description file.",
        "INSTALL_JVM 3", joinText("JMP0 @N1@ ", otherwise), "LAUNCH \"@S1@\" 0", "GOTO end"};
}

void append(std::vector<SString>& lines, const std::vector<SString>& more) {
    lines.insert(lines.end(), more.begin(), more.end());
}

// The --java range: by default the carried runtime's major version and
// newer, and never one that leaves that runtime out.
SString javaRangeFor(const SString& range, const SString& runtimeVersion) {
    if (runtimeVersion.empty()) {
        return range;
    }
    long major = atol(runtimeVersion.c_str());
    if (range.empty()) {
        return joinText(convertToString(major), '+');
    }
    JavaRange versions;
    if (JavaRange::parse(range, versions) && !versions.accepts(major)) {
        throw LauncherException(joinText("--java ", ApplicationConfig::shellWord(range),
                                         " leaves out the runtime that the launcher carries, "
                                         "Java ",
                                         runtimeVersion));
    }
    return range;
}

// The main jar's base name without ".jar".
SString defaultName(const SString& mainJar) {
    SString name = lastPathComponent(mainJar);
    unsigned int suffix = stringEndsWith(name, ".jar");
    return suffix != SString::npos && suffix > 0 ? name.substr(0, suffix) : name;
}

// Writes `text` as the file `name` in `directory`, which takes the place of
// whatever lay under that name only once it is complete.
void writeFile(const SString& directory, const SString& name, const SString& text) {
    ReplacementFile file;
    int error = file.open(directory, name);
    if (error == 0 && fwrite(text.data(), 1, text.length(), file.stream()) != text.length()) {
        error = errno;
    }
    if (error == 0) {
        error = file.commit(false);
    }
    if (error != 0) {
        throwSystemError(joinText("cannot write ", pathInDirectory(directory, name), ": "), error);
    }
}

// The names under which the jars are embedded: their base names, and
// "2-util.jar" and so on for a second one (the launcher extracts them all
// into one directory).
std::vector<SString> entryNames(const std::vector<ManifestClassPath::Jar>& jars) {
    std::vector<SString> names;
    auto taken = [&names](const SString& name) {
        return std::any_of(names.begin(), names.end(),
                           [&name](const SString& used) { return used.compare(name) == 0; });
    };
    for (const ManifestClassPath::Jar& jar : jars) {
        SString baseName = lastPathComponent(jar.path);
        SString name = baseName;
        for (long n = 2; taken(name); ++n) {
            name = joinText(convertToString(n), '-', baseName);
        }
        names.push_back(name);
    }
    return names;
}

// Where the copy of a jar with a rewritten manifest is written.
SString copyPath(const SString& directory, const SString& name) {
    return pathInDirectory(pathInDirectory(directory, kCopiesDirectory), name);
}

void makeDirectory(const SString& directory) {
    int error = PlatformImpl::makeDirectory(directory);
    if (error != 0) {
        throwSystemError(joinText("cannot create ", directory, ": "), error);
    }
}

// Whether `name` is Java identifiers separated by dots. Bytes from 0x80 up
// count as letters: they are the UTF-8 of the other letters that Java
// allows.
bool isBinaryClassName(const SString& name) {
    bool atStart = true;
    for (unsigned int i = 0; i < name.length(); ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        bool letter = isalpha(c) || c == '_' || c == '$' || c >= 0x80;
        bool valid = c == '.' ? !atStart : letter || (!atStart && isdigit(c));
        if (!valid) {
            return false;
        }
        atStart = c == '.';
    }
    return !atStart;
}

void checkMainClass(const SString& mainClass, const SString& source) {
    if (!isBinaryClassName(mainClass)) {
        throw LauncherException(joinText("invalid main class ",
                                         ApplicationConfig::shellWord(mainClass), " (", source,
                                         "): expected Java identifiers separated by dots, such as "
                                         "com.example.Main"));
    }
}

// A jar that cannot be read holds no class for the JVM either.
bool holdsClass(const SString& jar, const std::string& classFile) {
    try {
        return JarFile(jar).holdsClass(classFile);
    } catch (const LauncherException&) {
        return false;
    }
}

void warnIfNoJarHolds(const SString& mainClass, const std::vector<ManifestClassPath::Jar>& jars) {
    std::string classFile = mainClass.c_str();
    std::replace(classFile.begin(), classFile.end(), '.', '/');
    classFile += ".class";
    for (const ManifestClassPath::Jar& jar : jars) {
        if (holdsClass(jar.path, classFile)) {
            return;
        }
    }
    fprintf(stderr,
            "cvpack: warning: no jar on the class path holds the main class %s (%s): the "
            "application will not start\n",
            mainClass.c_str(), classFile.c_str());
}

// The main jar, the --class-path jars and, unless the options say
// otherwise, the jars that their manifests name.
std::vector<ManifestClassPath::Jar> classPathOf(const ApplicationOptions& options) {
    std::vector<SString> jars = options.classPath;
    jars.insert(jars.begin(), options.mainJar);
    if (options.manifestClassPath) {
        return ManifestClassPath::follow(jars);
    }
    std::vector<ManifestClassPath::Jar> plain(jars.size());
    for (size_t i = 0; i < jars.size(); ++i) {
        plain[i].path = jars[i];
    }
    return plain;
}

// The options that add `file` as the command line gave it.
SString fileOptions(const PayloadFile& file) {
    SString options = joinText(" --", PackerOptions::typeName(file.type), ' ',
                               ApplicationConfig::shellWord(file.path));
    if (file.hasId) {
        options += joinText(" --id ", convertToString(file.id));
    }
    if (!file.name.empty()) {
        options += joinText(" --name ", ApplicationConfig::shellWord(file.name));
    }
    if (file.compressed) {
        options += joinText(" --compressed ", convertToString(file.expandedFiles), ':',
                            convertToString(file.expandedSize));
    }
    return options;
}

}  // namespace

ApplicationConfig::ApplicationConfig(const ApplicationOptions& options,
                                     const SString& runtimeVersion)
    : m_options(options),
      m_name(options.name.empty() ? defaultName(options.mainJar) : options.name),
      m_javaRange(javaRangeFor(options.javaRange, runtimeVersion)) {
    SString mainClass = mainClassOf(options);
    m_files.push_back({FILE_INSTRUCTIONS, "program.tag", instructionProgram()});
    m_files.push_back({FILE_LAUNCH_SCRIPT, "launch.tag", launchScript(mainClass)});
    m_files.push_back({FILE_JVM, "java.jvm", jvmDescription()});
    m_jars = classPathOf(options);
    warnIfNoJarHolds(mainClass, m_jars);
}

SString ApplicationConfig::mainClassOf(const ApplicationOptions& options) {
    if (!options.mainClass.empty()) {
        checkMainClass(options.mainClass, "--main-class");
        return options.mainClass;
    }
    JarFile jar(options.mainJar);
    if (!jar.hasManifest()) {
        throw LauncherException(
            joinText(options.mainJar,
                     " has no readable manifest (META-INF/MANIFEST.MF) to name "
                     "its main class; give the main class with --main-class NAME"));
    }
    SString mainClass(JarManifest(jar.manifest()).attribute("Main-Class").c_str());
    if (mainClass.empty()) {
        throw LauncherException(joinText("the manifest of ", options.mainJar,
                                         " names no Main-Class; give the main class with "
                                         "--main-class NAME"));
    }
    checkMainClass(mainClass, joinText("the Main-Class of ", options.mainJar));
    return mainClass;
}

SString ApplicationConfig::instructionProgram() const {
    std::vector<SString> program;
    if (!m_options.carriesRuntime) {
        program = findJvm(true, "nojvm");
    } else if (m_options.preferRuntime) {
        program = installRuntime("search");
        program.push_back(":search");
        append(program, findJvm(true, "nojvm"));
    } else {
        program = findJvm(false, "runtime");
        program.push_back(":runtime");
        append(program, installRuntime("nojvm"));
    }
    append(program, {":nojvm", "EXIT 1", ":end"});
    return TagText().block("INSTRUCTIONS", program).text();
}

SString ApplicationConfig::launchScript(const SString& mainClass) const {
    std::vector<SString> words = m_options.javaOptions;
    words.push_back(mainClass);
    TagText text;
    if (!m_options.title.empty()) {
        text.line("DESC", m_options.title);
    }
    return text.line("DISPLAY_CONSOLE", "1")
        .line("AUTO_SET_WORKING_DIR", "0")
        .line("COMMAND", joinText(kProgram, m_options.classDataArchive ? kClassDataArchive : "",
                                  kCommandRest, commandWords(words)))
        .text();
}

SString ApplicationConfig::jvmDescription() const {
    TagText text;
    text.line("DESC", m_name)
        .line("JVM_EXE", "bin/java")
        .block("JVM_PROPERTIES", versionProperties(m_javaRange))
        .line("JAVA_RANGE", m_javaRange)
        .line("CLASSPATH", "-cp ")
        .line("CLASSPATH_SEPARATOR", ":")
        .line("SYSTEM", "-D")
        .line("SYSTEM_SEPARATOR", "=")
        // The launcher's list of the places where JDKs are installed begins
        // with JAVA_HOME and follows the variables that move them.
        .line("USUAL_LOCATIONS", "1");
    if (m_options.searchDisk) {
        text.line("SEARCH_ALL", "1");
    }
    return text.text();
}

std::vector<SString> ApplicationConfig::versionProperties(const SString& range) {
    JavaRange versions;
    if (!JavaRange::parse(range, versions)) {
        throw LauncherException(joinText(
            "invalid Java version range ", ApplicationConfig::shellWord(range),
            " for --java: expected a major version from 1 to 999 as 17 (that version), 17+ (it "
            "or a newer one) or 11-21 (from the first to the second)"));
    }
    return versions.properties();
}

SString ApplicationConfig::shellWord(const SString& text) {
    bool plain = !text.empty();
    for (unsigned int i = 0; plain && i < text.length(); ++i) {
        plain = isalnum(static_cast<unsigned char>(text[i])) || strchr("_-+=:,./@%", text[i]);
    }
    if (plain) {
        return text;
    }
    SString word("'");
    for (unsigned int i = 0; i < text.length(); ++i) {
        word += text[i] == '\'' ? SString("'\\''") : SString(1, text[i]);
    }
    return word += '\'';
}

void ApplicationConfig::write(const SString& directory) const {
    makeDirectory(directory);
    for (const File& file : m_files) {
        writeFile(directory, file.name, file.text);
    }
    std::vector<SString> names = entryNames(m_jars);
    for (size_t i = 0; i < m_jars.size(); ++i) {
        if (m_jars[i].rewritten) {
            makeDirectory(pathInDirectory(directory, kCopiesDirectory));
            JarFile(m_jars[i].path)
                .copyWithManifest(copyPath(directory, names[i]), m_jars[i].manifest);
        }
    }
}

std::vector<PayloadFile> ApplicationConfig::payload(const SString& directory) const {
    std::vector<PayloadFile> files;
    for (const File& file : m_files) {
        PayloadFile entry;
        entry.type = file.type;
        entry.path = pathInDirectory(directory, file.name);
        files.push_back(entry);
    }
    std::vector<SString> names = entryNames(m_jars);
    for (size_t i = 0; i < m_jars.size(); ++i) {
        PayloadFile entry;
        entry.type = FILE_CLASSPATH_ARCHIVE;
        entry.path = m_jars[i].rewritten ? copyPath(directory, names[i]) : m_jars[i].path;
        entry.name = names[i].compare(lastPathComponent(entry.path)) == 0 ? SString() : names[i];
        files.push_back(entry);
    }
    return files;
}

std::vector<SString> ApplicationConfig::inputs() const {
    std::vector<SString> jars;
    for (const ManifestClassPath::Jar& jar : m_jars) {
        jars.push_back(jar.path);
    }
    return jars;
}

SString ApplicationConfig::packCommand(const SString& directory,
                                       const PackerOptions& options) const {
    std::vector<PayloadFile> files = payload(directory);
    files.insert(files.end(), options.files.begin(), options.files.end());
    SString command("cvpack");
    for (const PayloadFile& file : files) {
        command += fileOptions(file);
    }
    if (options.noVerifyArchive) {
        command += " --no-verify-archive";
    }
    if (!options.stub.empty()) {
        command += joinText(" --stub ", shellWord(options.stub));
    }
    if (options.purpose != kDefaultPurpose) {
        command += joinText(" --purpose ", convertToString(options.purpose));
    }
    SString output = options.output.empty() ? defaultName(m_options.mainJar) : options.output;
    return command += joinText(" -o ", shellWord(output));
}
