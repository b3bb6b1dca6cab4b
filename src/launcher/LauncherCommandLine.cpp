// The spine of a run: the command line, the input-file actions, the payload
// and the instruction program.
#include <cstdio>

#include "Instructions.h"
#include "InstructionsException.h"
#include "Launcher.h"
#include "LauncherException.h"
#include "LauncherInputFiles.h"
#include "PlatformImpl.h"
#include "ScopedFile.h"
#include "TagFile.h"
#include "TextUtils.h"

StringDeque Launcher::m_args;
StringDeque Launcher::m_passThroughArgs;
SString Launcher::m_userJavaHome;
bool Launcher::m_showJavaConsole = false;
LauncherInputFiles Launcher::m_inputFiles;
int Launcher::m_launcherPurpose = -1;

namespace {

const char* const kVersion = "2.41";

bool isOption(const SString& arg, const char* option) {
    return arg.compare(option) == 0;
}

SString messageWithPrefix(MessageIdentifier prefix, const SString& message) {
    SString text = PlatformImpl::getMessageText(prefix);
    text += message;
    return text;
}

// Loads the payload of the launcher's own file; failures get the file-index
// prefix so the user learns that the launcher file itself is at fault.
void loadPayload(bool withTagFiles) {
    try {
        Launcher::m_inputFiles.load(withTagFiles);
    } catch (const LauncherException& e) {
        throw LauncherException(messageWithPrefix(MSG_FILE_INDEX_LOAD_FAILED, e.message));
    }
}

void extractPayload() {
    loadPayload(false);
    try {
        Launcher::m_inputFiles.extractAll();
    } catch (const LauncherException& e) {
        throw LauncherException(messageWithPrefix(MSG_EXTRACT_FAILED, e.message));
    }
    PlatformImpl::setUIProgress(100);
}

// The name after "-cv:in" may be wrapped in double quotes.
SString unquoteFileName(const SString& arg) {
    SString name(arg);
    if (!name.empty() && name[0] == '"') {
        name.erase(0, 1);
    }
    if (!name.empty() && name[name.length() - 1] == '"') {
        name.erase(name.length() - 1, 1);
    }
    return name;
}

void readInputFile(const SString& arg, TagFile& inputFile) {
    try {
        SString name = unquoteFileName(arg);
        ScopedFile stream(name.empty() ? nullptr : fopen(name.c_str(), "r"));
        if (stream == nullptr) {
            throw LauncherException(PlatformImpl::getMessageText(MSG_INPUT_FILE_OPEN_FAILED));
        }
        SString logLine("Loading input file ");
        logLine += arg;
        Launcher::logMessage(logLine, LOG_INFO);
        inputFile.load(stream.get(), arg, 0, -1);
        Launcher::setLogFileName(inputFile.getTagValue("LOGFILE", 0));
    } catch (const LauncherException& e) {
        PlatformImpl::showUIMessage(messageWithPrefix(MSG_INPUT_FILE_LOAD_FAILED, e.message));
        throw LauncherException(e.message);
    }
}

void takeFilesFromInputFile(const TagFile& inputFile) {
    try {
        Launcher::m_inputFiles.load(inputFile);
    } catch (const LauncherException& e) {
        PlatformImpl::showUIMessage(e.message);
        throw;
    }
}

// Performs the input file's "ACTION". Returns false when the instruction
// program is not to run afterwards.
bool performAction(const TagFile& inputFile, bool showProgress, bool showFailMsg, int& result) {
    SString action = inputFile.getTagValue("ACTION", 0);
    if (isOption(action, "RUN_INSTRUCTIONS")) {
        return true;
    }
    if (isOption(action, "SEARCH")) {
        Launcher::search(showProgress, showFailMsg);
    } else if (isOption(action, "SEARCH_ALL")) {
        Launcher::searchAll(showProgress, showFailMsg);
    } else if (isOption(action, "VERIFY_JVM")) {
        SString jvmFile = inputFile.getTagValue("VERIFY_JVM_FILE", 0);
        SString javaHome = inputFile.getTagValue("VERIFY_JVM_HOME", 0);
        if (jvmFile.empty() || javaHome.empty()) {
            Launcher::logMessage(
                "TO execute the VERIFY_JVM action, you must also provide values in the input "
                "file for VERIFY_JVM_FILE and VERIFY_JVM_HOME.",
                LOG_ERROR);
            result = -1;
            return false;
        }
        Launcher::verifyJVM(showProgress, showFailMsg, jvmFile, javaHome);
    } else if (isOption(action, "INSTALL_JVM")) {
        SString installer = inputFile.getTagValue("INSTALL_JVM_EXE", 0);
        SString destination = inputFile.getTagValue("INSTALL_JVM_DEST", 0);
        if (!installer.empty() && !destination.empty()) {
            Launcher::installJVM(showProgress, showFailMsg, installer, destination);
        }
    } else {
        SString text = messageWithPrefix(MSG_INVALID_ACTION, action);
        PlatformImpl::showUIMessage(text);
        throw LauncherException(text);
    }
    PlatformImpl::setUIProgress(100);
    return false;
}

// "-cv:in FILE": read the input tag file, take the files it names, then
// perform its action. Returns whether the instruction program is to run.
bool processInputFile(const SString& arg, int& result) {
    TagFile inputFile;
    readInputFile(arg, inputFile);
    takeFilesFromInputFile(inputFile);
    loadPayload(true);

    bool showProgress = inputFile.getBoolTagValue("SHOW_PROGRESS", false);
    bool showFailMsg = inputFile.getBoolTagValue("SHOW_FAIL_MSG", false);
    if (showProgress || showFailMsg) {
        PlatformImpl::showUI();
    } else {
        PlatformImpl::hideUI(0);
    }
    if (showProgress) {
        PlatformImpl::setUIProgress(0);
    }
    return performAction(inputFile, showProgress, showFailMsg, result);
}

}  // namespace

Launcher::Launcher() {}

Launcher::~Launcher() {
    try {
        PlatformImpl::cleanup();
    } catch (...) {
        // Cleanup problems never change the outcome of the run.
    }
}

int Launcher::process(StringDeque& args, const SString& launcherFileName) {
    try {
        m_launcherFileName = launcherFileName;
        m_origLauncherFileName = launcherFileName;
        for (long i = 0; i < args.count; ++i) {
            m_args.push_back(args.at(i));
        }
        return processCmdLine(args);
    } catch (const LauncherException& e) {
        PlatformImpl::showUIMessage(e.message);
        logMessage(e.message, LOG_ERROR);
        return -1;
    }
}

int Launcher::processCmdLine(const StringDeque& args) {
    int result = 0;
    bool runInstructions = true;
    PlatformImpl::m_deleteLauncher = false;
    PlatformImpl::setUIProgress(0);

    for (long i = 0; i < args.count; ++i) {
        const SString& arg = args.at(i);
        bool hasValue = i + 1 < args.count;
        if (isOption(arg, "-cv:log")) {
            if (hasValue) {
                setLogFileName(args.at(++i));
            } else {
                result = -1;
                PlatformImpl::showUIMessage(
                    PlatformImpl::getMessageText(MSG_LOG_FILE_NAME_MISSING));
            }
        } else if (isOption(arg, "-cv:orig")) {
            if (hasValue) {
                m_origLauncherFileName = args.at(++i);
                PlatformImpl::m_deleteLauncher = true;
            } else {
                result = -1;
                PlatformImpl::showUIMessage("Missing original launcher file name.");
            }
        } else if (isOption(arg, "-cv:tempdir")) {
            if (hasValue) {
                PlatformImpl::setSystemTempDir(args.at(++i));
            }
        } else if (isOption(arg, "-cv:silent")) {
            PlatformImpl::setSilent(true);
        } else if (isOption(arg, "-cv:javahome")) {
            if (hasValue) {
                m_userJavaHome = args.at(++i);
            }
        } else if (isOption(arg, "-cv:extract")) {
            extractPayload();
            runInstructions = false;
        } else if (isOption(arg, "-cv:in")) {
            if (hasValue) {
                runInstructions = processInputFile(args.at(++i), result);
            } else {
                PlatformImpl::showUIMessage(
                    PlatformImpl::getMessageText(MSG_INPUT_FILE_NAME_MISSING));
                runInstructions = false;
                result = -1;
            }
        } else if (isOption(arg, "-cv:version")) {
            PlatformImpl::showUIMessage(kVersion);
            runInstructions = false;
        } else if (isOption(arg, "-cv:javaconsole")) {
            m_showJavaConsole = true;
        } else {
            m_passThroughArgs.push_back(arg);
        }
    }

    if (runInstructions) {
        loadPayload(true);
        result = run();
        PlatformImpl::setUIProgress(100);
    }
    return result;
}

int Launcher::run() {
    if (m_inputFiles.m_instructions == nullptr) {
        return -1;
    }
    try {
        return m_inputFiles.m_instructions->execute();
    } catch (const InstructionsException& e) {
        SString text("Error in instructions. ");
        text += e.message;
        text += " Line number (";
        text += convertToString(e.line);
        text += ")";
        throw LauncherException(text);
    }
}

int Launcher::getLauncherPurpose(const char* path) {
    bool ownFile = m_launcherFileName.compare(path) == 0;
    if (ownFile && m_launcherPurpose != -1) {
        return m_launcherPurpose;
    }
    int purpose = -1;
    ScopedFile file(fopen(path, "rb"));
    if (file != nullptr && fseek(file.get(), -9, SEEK_END) == 0) {
        purpose = fgetc(file.get());
    }
    if (ownFile) {
        m_launcherPurpose = purpose;
    }
    return purpose;
}
