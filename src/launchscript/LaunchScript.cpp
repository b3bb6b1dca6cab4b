#include "launchscript/LaunchScript.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "base/ScopedFile.h"
#include "base/TextUtils.h"
#include "jvm/JVMFile.h"
#include "launcher/Launcher.h"
#include "launcher/LauncherException.h"
#include "launchscript/CommandText.h"
#include "platform/PlatformImpl.h"
#include "tagfile/TagFile.h"

namespace {

const unsigned int kAnyNumber = 0xFFFFFFFFu;

const char* const kClassDataFunction = "%CLASS_DATA_ARCHIVE%";
// Where CLASS_DATA_ARCHIVE stood, until the class path is known: a mark of
// its own kind, which no pass reads.
const char kClassDataPlaceholder[] =
    "\x01"
    "c"
    "\x02";

// The words of a finished command as the program gets them; for a command
// that runs through the shell, its text split at blanks.
std::vector<SString> commandWords(const SString& text) {
    CommandText command(text, nullptr);
    std::vector<SString> words;
    if (command.runsDirectly()) {
        for (long i = 0; i < command.arguments().count; ++i) {
            words.push_back(command.arguments().at(i));
        }
        return words;
    }
    SString plain = CommandText::plain(text);
    for (unsigned int start = plain.find_first_not_of(whitespaceChars); start != SString::npos;) {
        unsigned int end = plain.find_first_of(whitespaceChars, start);
        words.push_back(plain.substr(start, end == SString::npos ? end : end - start));
        start = plain.find_first_not_of(whitespaceChars, end);
    }
    return words;
}

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

bool isBlankText(const SString& text) {
    return text.find_first_not_of(whitespaceChars) == SString::npos;
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
    unsigned int separator = name.find_last_of(anySeparators);
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

// Sets an environment variable for the life of the object, then gives it its
// earlier value back (an unset variable comes back as an empty one).
class EnvironmentOverride {
  public:
    EnvironmentOverride(const char* name, const SString& value)
        : m_name(name), m_saved(PlatformImpl::getEnvironmentVariable(name)) {
        PlatformImpl::setEnvironmentVariable(m_name, value);
    }
    ~EnvironmentOverride() { PlatformImpl::setEnvironmentVariable(m_name, m_saved); }
    EnvironmentOverride(const EnvironmentOverride&) = delete;
    EnvironmentOverride& operator=(const EnvironmentOverride&) = delete;

  private:
    SString m_name;
    SString m_saved;
};

// Gives a variable a value for the life of the object, and `after` then.
template <class T>
class ScopedValue {
  public:
    ScopedValue(T& variable, T value, T after) : m_variable(variable), m_after(after) {
        m_variable = value;
    }
    ~ScopedValue() { m_variable = m_after; }
    ScopedValue(const ScopedValue&) = delete;
    ScopedValue& operator=(const ScopedValue&) = delete;

  private:
    T& m_variable;
    T m_after;
};

}  // namespace

LaunchScript::LaunchScript(const TagFile& script, bool captureOutput)
    : m_description(script.getTagValue("DESC", 0)),
      m_command(script.getTagValue("COMMAND", 0)),
      m_captureOutput(captureOutput),
      m_displayConsole(script.getBoolTagValue("DISPLAY_CONSOLE", false)),
      m_autoSetWorkingDir(script.getBoolTagValue("AUTO_SET_WORKING_DIR", true)),
      m_jvmFile(nullptr),
      m_extractArchives(true),
      m_archive(script.getTagValue("ARCHIVE", 0)),
      m_expandingArchive(false) {}

LaunchScript::LaunchScript(const SString& command, bool captureOutput, bool extractArchives)
    : m_command(command),
      m_captureOutput(captureOutput),
      m_displayConsole(false),
      m_autoSetWorkingDir(true),
      m_jvmFile(nullptr),
      m_extractArchives(extractArchives),
      m_expandingArchive(false) {}

LaunchScript::~LaunchScript() {}

int LaunchScript::execute(const JVMFile& jvm, const StringDeque* extraArguments, bool showConsole,
                          const ProcessOptions& options) {
    // Without a command of its own the words that follow it, the
    // pass-through arguments, would run as the command.
    if (isBlankText(m_command)) {
        throwException(m_command, "The launch script has no COMMAND.");
    }
    SString resolved = resolve(jvm);
    if (isBlankText(CommandText::plain(resolved))) {
        throwException(m_command, "The COMMAND of the launch script expands to nothing.");
    }
    CommandText command(resolved, extraArguments);
    SString directory = m_autoSetWorkingDir ? launcherDirectory() : SString();
    if (m_autoSetWorkingDir) {
        Launcher::logInfo("Executing launch script command: ", command.display(),
                          " in working directory ", directory);
    } else {
        Launcher::logInfo("Executing launch script command: ", command.display(),
                          " in current working directory");
    }

    bool console = m_displayConsole || showConsole;
    bool capture = !console && m_captureOutput;
    int exitCode;
    {
        EnvironmentOverride javaHome("JAVA_HOME", jvm.getTagFile().getTagValue("JVM_HOME", 0));
        int purpose = Launcher::getLauncherPurpose(Launcher::getLauncherFileName().c_str());
        if (purpose == 0 || purpose == 2) {
            applyWizardEnvironment(jvm);
        }
        PlatformImpl::preJavaLaunch(purpose, jvm);
        const StringDeque& arguments = command.arguments();
        exitCode =
            capture ? PlatformImpl::runCaptured(arguments, directory, &m_stdOut, &m_stdErr, options)
                    : PlatformImpl::runAttached(arguments, directory, options);
    }
    if (m_classData) {
        m_classData->finish(exitCode);
    }

    if (capture) {
        Launcher::logMessage("Output from the launch script execution", LOG_INFO);
        Launcher::logMessage("StdOut:", LOG_INFO);
        Launcher::logMessage(m_stdOut, LOG_INFO);
        Launcher::logMessage("ErrOut:", LOG_INFO);
        Launcher::logMessage(m_stdErr, LOG_INFO);
    }
    return exitCode;
}

SString LaunchScript::launcherDirectory() const {
    return parentDirectory(Launcher::getLauncherFileName());
}

void LaunchScript::applyWizardEnvironment(const JVMFile& jvm) const {
    const TagFile& tags = jvm.getTagFile();
    unsigned int count = tags.getTagValueCount("SET_ENV_FOR_WIZARD");
    for (unsigned int i = 0; i < count; ++i) {
        SString setting = tags.getTagValue("SET_ENV_FOR_WIZARD", i);
        trim(setting, whitespaceChars);
        if (setting.empty()) {
            continue;
        }
        unsigned int equals = setting.find('=');
        SString name = setting.substr(0, equals);
        SString value = equals == SString::npos ? SString() : setting.substr(equals + 1);
        trim(name, whitespaceChars);
        trim(value, whitespaceChars);
        PlatformImpl::setEnvironmentVariable(name, value);
    }
}

SString LaunchScript::resolve(const JVMFile& jvm) {
    ScopedValue<const JVMFile*> inUse(m_jvmFile, &jvm, nullptr);
    m_classData.reset(usesClassDataArchive() ? new ClassDataArchive(jvm) : nullptr);
    // `text` keeps the input of the pass that is running, for the log.
    SString text = m_command;
    try {
        text = MacroHandler::resolve(text, '%');
        text = jvm.resolve(text);
        text = MacroHandler::resolve(text, '#');
    } catch (const EndlessExpansion& e) {
        throwException(text, e.message.c_str());
    }
    return insertClassDataOptions(text);
}

bool LaunchScript::usesClassDataArchive() const {
    return m_command.find(kClassDataFunction) != SString::npos ||
           m_archive.find(kClassDataFunction) != SString::npos;
}

SString LaunchScript::insertClassDataOptions(const SString& text) const {
    SString result = text;
    unsigned int position = result.find(kClassDataPlaceholder);
    if (position == SString::npos) {
        return result;
    }
    SString options;
    if (m_classData) {
        SString rest = result;
        for (unsigned int at = rest.find(kClassDataPlaceholder); at != SString::npos;
             at = rest.find(kClassDataPlaceholder, at)) {
            rest.erase(at, strlen(kClassDataPlaceholder));
        }
        SString directory =
            m_autoSetWorkingDir ? launcherDirectory() : PlatformImpl::getCurrentDirectory();
        options = m_classData->options(commandWords(rest), directory);
    }
    while (position != SString::npos) {
        result.replace(position, strlen(kClassDataPlaceholder), options);
        position = result.find(kClassDataPlaceholder, position + options.length());
    }
    return result;
}

void LaunchScript::processMacro(SString& text, char delimiter, unsigned int start,
                                unsigned int& end) const {
    SString name = text.substr(start + 1, end - start - 1);
    if (delimiter == '#') {
        text.replace(start, end - start + 1,
                     CommandText::splitValue(PlatformImpl::getEnvironmentVariable(name)));
        return;
    }
    unsigned int position = end + 1;
    StringDeque arguments;
    getArguments(text, position, arguments);
    text.replace(start, position - start, callFunction(text, name, arguments));
}

void LaunchScript::getArguments(const SString& text, unsigned int& position,
                                StringDeque& arguments) const {
    // The three states of the reader: the character each one expects (besides
    // ")" in the last two) and the error when something else comes.
    enum State { EXPECT_LEFT, EXPECT_ARGUMENT, EXPECT_SEPARATOR };
    static const struct {
        char expected;
        const char* error;
    } steps[] = {{'(', "Expected left parenthesis."},
                 {'"', "Expected string arg."},
                 {',', "Expected right parenthesis."}};

    State state = EXPECT_LEFT;
    for (;;) {
        unsigned int stepStart = position;
        position = text.find_first_not_of(whitespaceChars, position);
        char c = position == SString::npos ? '\0' : text[position];
        if (state != EXPECT_LEFT && c == ')') {
            ++position;
            return;
        }
        if (c != steps[state].expected) {
            SString message =
                joinText(steps[state].error, " (near character ", convertToString(stepStart), ')');
            throwException(text, message.c_str());
        }
        ++position;
        if (state != EXPECT_ARGUMENT) {
            state = EXPECT_ARGUMENT;
            continue;
        }
        arguments.push_back(parseStringArgument(text, position, true));
        if (position == SString::npos) {
            // The text ends with this argument, and so does the list.
            position = text.length();
            return;
        }
        state = EXPECT_SEPARATOR;
    }
}

const LaunchScript::FunctionEntry LaunchScript::kFunctions[] = {
    {"REPLACE", 3, 3, "REPLACE function requires 3 arguments.", &LaunchScript::functionReplace},
    {"RUNTIME_SYSTEMPROP", 0, 0, "RUNTIME_SYSTEMPROP function takes no arguments.",
     &LaunchScript::functionRuntimeSystemProp},
    {"RUNTIME_JAVAARGS", 0, 0, "RUNTIME_JAVAARGS function takes no arguments.",
     &LaunchScript::functionRuntimeJavaArgs},
    {"SYSTEMPROP", 2, 2, "SYSTEMPROP function requires 2 arguments.",
     &LaunchScript::functionSystemProp},
    {"CP", 0, kAnyNumber, "", &LaunchScript::functionCP},
    {"IF_EXISTS", 2, 2, "IF_EXISTS function requires 2 arguments.",
     &LaunchScript::functionIfExists},
    {"LAUNCHER_FILE", 0, 0, "LAUNCHER_FILE function takes 0 arguments.",
     &LaunchScript::functionLauncherFile},
    {"LAUNCHER_DIR", 0, 0, "LAUNCHER_DIR function takes 0 arguments.",
     &LaunchScript::functionLauncherDir},
    {"APPLICATION_ARCHIVE", 0, 1, "APPLICATION_ARCHIVE function takes 0 arguments.",
     &LaunchScript::functionApplicationArchive},
    {"TEMP_DIR", 0, 0, "TEMP_DIR function takes 0 arguments.", &LaunchScript::functionTempDir},
    {"CLASS_DATA_ARCHIVE", 0, 0, "CLASS_DATA_ARCHIVE function takes 0 arguments.",
     &LaunchScript::functionClassDataArchive},
};

const LaunchScript::FunctionEntry* LaunchScript::findFunction(const SString& name) {
    for (const FunctionEntry& entry : kFunctions) {
        if (name.compare(entry.name) == 0) {
            return &entry;
        }
    }
    return nullptr;
}

SString LaunchScript::functionError(const SString& name, unsigned int count) {
    const FunctionEntry* entry = findFunction(name);
    if (entry == nullptr) {
        return joinText("Invalid function name (", name, ").");
    }
    if (count < entry->minArguments || count > entry->maxArguments) {
        return SString(entry->countError);
    }
    return SString();
}

SString LaunchScript::callFunction(const SString& text, const SString& name,
                                   const StringDeque& arguments) const {
    SString error = functionError(name, static_cast<unsigned int>(arguments.count));
    if (!error.empty()) {
        throwException(text, error.c_str());
    }
    return (this->*findFunction(name)->function)(arguments);
}

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

SString LaunchScript::expandArchive() const {
    if (m_expandingArchive) {
        throw EndlessExpansion();
    }
    ScopedValue<bool> expanding(m_expandingArchive, true, false);
    return MacroHandler::resolve(m_archive, '%');
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

SString LaunchScript::functionClassDataArchive(const StringDeque&) const {
    return m_classData ? SString(kClassDataPlaceholder) : SString();
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

void LaunchScript::throwException(const SString& text, const char* message) const {
    Launcher::logMessage("Launch command:", LOG_INFO);
    Launcher::logMessage(text, LOG_INFO);
    throw LauncherException(joinText("Launch script error: ", message));
}

void stripQdDuotes(SString& text) {
    if (text.find('"') == 0) {
        text.erase(0, 1);
    }
    if (stringEndsWith(text, "\"") != SString::npos) {
        text.erase(text.length() - 1);
    }
}
