#include "launchscript/LaunchScript.h"

#include <cstdio>
#include <cstring>
#include <vector>

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

bool isBlankText(const SString& text) {
    return text.find_first_not_of(whitespaceChars) == SString::npos;
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

SString LaunchScript::expandArchive() const {
    if (m_expandingArchive) {
        throw EndlessExpansion();
    }
    ScopedValue<bool> expanding(m_expandingArchive, true, false);
    return MacroHandler::resolve(m_archive, '%');
}

SString LaunchScript::functionClassDataArchive(const StringDeque&) const {
    return m_classData ? SString(kClassDataPlaceholder) : SString();
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
