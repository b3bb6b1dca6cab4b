// The spine of a run: the command line, the input-file actions, the payload
// and the instruction program, or the usage of the program without a payload.
#include <cstdio>
#include <utility>
#include <vector>

#include "base/ScopedFile.h"
#include "base/TextUtils.h"
#include "base/Version.h"
#include "instructions/Instructions.h"
#include "instructions/InstructionsException.h"
#include "launcher/FinderCommand.h"
#include "launcher/Launcher.h"
#include "launcher/LauncherException.h"
#include "launchscript/ClassDataMaker.h"
#include "payload/LauncherInputFiles.h"
#include "platform/PlatformImpl.h"
#include "tagfile/TagFile.h"

StringDeque Launcher::m_args;
StringDeque Launcher::m_passThroughArgs;
SString Launcher::m_userJavaHome;
bool Launcher::m_showJavaConsole = false;
LauncherInputFiles Launcher::m_inputFiles;
int Launcher::m_launcherPurpose = -1;

namespace {

// What the program without a payload says about itself, for "--help" and
// for a command line that asks it nothing it can do.
const char* const kUsage =
    "Usage: cvlaunch --find [RANGE] [--jdk] [--explain]\n"
    "  or:  cvlaunch --list [RANGE] [--jdk] [--json] [--explain]\n"
    "  or:  cvlaunch --prune-runtimes\n"
    "  or:  cvlaunch [OPTION]... -cv:in FILE\n"
    "  or:  cvlaunch --help | --version\n"
    "\n"
    "cvlaunch finds a Java Virtual Machine and runs Java programs. A launcher file\n"
    "is cvlaunch with a payload appended (made with cvpack); this copy has none,\n"
    "so it finds JVMs, or performs the action of an input file.\n"
    "\n"
    "  --find             print the home of JAVA_HOME's JVM when it fits RANGE, else\n"
    "                     of the newest JVM found that fits; status 1 when none does\n"
    "  --list             print every JVM found that fits RANGE: version, vendor,\n"
    "                     architecture, kind (JDK, JRE, runtime), home, where found\n"
    "  RANGE              17 (that version), 17+ (it or a newer one), 11-21; any\n"
    "                     version without one\n"
    "  --jdk              only JVMs with a compiler (bin/javac)\n"
    "  --json             --list as one JSON document for programs\n"
    "  --explain          tell on standard error every home looked at, and why it\n"
    "                     was taken or not\n"
    "  --prune-runtimes   remove the runtimes of the runtime store that no running\n"
    "                     program uses, printing their homes\n"
    "\n"
    "  export JAVA_HOME=$(cvlaunch --find 17+)\n"
    "\n"
    "Input files:\n"
    "\n"
    "  -cv:in FILE        perform the ACTION of the input tag FILE: SEARCH,\n"
    "                     SEARCH_ALL, VERIFY_JVM, INSTALL_JVM or RUN_INSTRUCTIONS\n"
    "  -cv:log FILE       append a log of the run to FILE\n"
    "  -cv:tempdir DIR    put temporary files in DIR (else TMPDIR, else /var/tmp)\n"
    "  -cv:javahome DIR   try this JVM home first\n"
    "  -cv:silent         show nothing on the console\n"
    "  -cv:javaconsole    let the Java program's output reach the console\n"
    "  -cv:extract        write the payload and an input.tag into this directory\n"
    "  -cv:version        print the version on standard error\n"
    "  --help             print this text\n"
    "  --version          print the version\n"
    "\n"
    "An input file for a search, with the JVM description file to satisfy:\n"
    "\n"
    "  ACTION: SEARCH\n"
    "  JVM: /opt/app/java17.jvm\n"
    "\n"
    "prints 1, the JVM home and its match file, or 0. README.md of the cvlaunch\n"
    "sources describes the input files, the description files and cvpack.";

bool isOption(const SString& arg, const char* option) {
    return arg.compare(option) == 0;
}

// A temporary directory that cannot be used fails the run at once, with a
// message that names it, rather than the first step that needs it (a search
// would read as finding no JVM).
void chooseTempDirectory() {
    PlatformImpl::getSystemTempDirectory();
}

// Loads the payload of the launcher's own file; failures get the file-index
// prefix so the user learns that the launcher file itself is at fault.
void loadPayload(bool withTagFiles) {
    try {
        Launcher::m_inputFiles.load(withTagFiles);
    } catch (const LauncherException& e) {
        throw e.withContext(PlatformImpl::getMessageText(MSG_FILE_INDEX_LOAD_FAILED));
    }
}

void extractPayload() {
    loadPayload(false);
    try {
        Launcher::m_inputFiles.extractAll();
    } catch (const LauncherException& e) {
        throw e.withContext(PlatformImpl::getMessageText(MSG_EXTRACT_FAILED));
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
        Launcher::logInfo("Loading input file ", arg);
        inputFile.load(stream.get(), arg, 0, -1);
        Launcher::setLogFileName(inputFile.getTagValue("LOGFILE", 0));
    } catch (const LauncherException& e) {
        PlatformImpl::showUIMessage(
            joinText(PlatformImpl::getMessageText(MSG_INPUT_FILE_LOAD_FAILED), e.message));
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
            PlatformImpl::writeResultLine("0");
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
        SString text = joinText(PlatformImpl::getMessageText(MSG_INVALID_ACTION), action);
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
    chooseTempDirectory();
    return performAction(inputFile, showProgress, showFailMsg, result);
}

// What the options of one command line have decided so far.
struct CmdLineRun {
    int result = 0;
    bool runInstructions = true;
};

// An option of the launcher's own. One that takes a value takes the next
// argument, whatever it is; `apply` gets it, or null when the command line
// ends first. An action runs only after the whole command line has been
// read, so that it sees every setting, wherever that stands.
struct LauncherOption {
    const char* name;
    bool takesValue;
    bool action;
    void (*apply)(const SString* value, CmdLineRun& run);
};

// Shows `message` and makes the run end with -1.
void failRun(CmdLineRun& run, const SString& message) {
    run.result = -1;
    PlatformImpl::showUIMessage(message);
}

const LauncherOption kOptions[] = {
    {"-cv:log", true, false,
     [](const SString* value, CmdLineRun& run) {
         if (value == nullptr) {
             failRun(run, PlatformImpl::getMessageText(MSG_LOG_FILE_NAME_MISSING));
         } else {
             Launcher::setLogFileName(*value);
         }
     }},
    {"-cv:orig", true, false,
     [](const SString* value, CmdLineRun& run) {
         if (value == nullptr) {
             failRun(run, "Missing original launcher file name.");
         } else {
             Launcher::m_origLauncherFileName = *value;
             PlatformImpl::m_deleteLauncher = true;
         }
     }},
    {"-cv:tempdir", true, false,
     [](const SString* value, CmdLineRun&) {
         if (value != nullptr) {
             PlatformImpl::setSystemTempDir(*value);
         }
     }},
    {"-cv:silent", false, false,
     [](const SString*, CmdLineRun&) { PlatformImpl::setSilent(true); }},
    {"-cv:javahome", true, false,
     [](const SString* value, CmdLineRun&) {
         if (value != nullptr) {
             Launcher::m_userJavaHome = *value;
         }
     }},
    {"-cv:extract", false, true,
     [](const SString*, CmdLineRun& run) {
         extractPayload();
         run.runInstructions = false;
     }},
    {"-cv:in", true, true,
     [](const SString* value, CmdLineRun& run) {
         if (value == nullptr) {
             failRun(run, PlatformImpl::getMessageText(MSG_INPUT_FILE_NAME_MISSING));
             run.runInstructions = false;
         } else {
             run.runInstructions = processInputFile(*value, run.result);
         }
     }},
    {"-cv:version", false, true,
     [](const SString*, CmdLineRun& run) {
         PlatformImpl::showUIMessage(kProgramVersion);
         run.runInstructions = false;
     }},
    {"-cv:javaconsole", false, false,
     [](const SString*, CmdLineRun&) { Launcher::m_showJavaConsole = true; }},
    // The class-data archive maker that a launch started in the background.
    {"-cv:make-class-data", true, true,
     [](const SString* value, CmdLineRun& run) {
         run.runInstructions = false;
         run.result = value == nullptr ? -1 : ClassDataMaker::make(*value, false);
     }},
};

// The option named exactly `arg`, or null for an argument that is passed on.
const LauncherOption* findOption(const SString& arg) {
    for (const LauncherOption& option : kOptions) {
        if (isOption(arg, option.name)) {
            return &option;
        }
    }
    return nullptr;
}

// The program without a payload has nothing to run: it answers "--help",
// "--version" and the finder's commands, and shows its usage for any other
// command line.
int answerBareProgram(const StringDeque& args) {
    const SString& first = args.at(0);
    if (isOption(first, "--help")) {
        PlatformImpl::writeResultLine(kUsage);
        return 0;
    }
    if (isOption(first, "--version")) {
        PlatformImpl::writeResultLine(joinText("cvlaunch ", kProgramVersion));
        return 0;
    }
    if (FinderCommand::isFinderCommand(args)) {
        return FinderCommand::run(args, kUsage);
    }
    PlatformImpl::showUIMessage(
        args.count == 0 ? SString(kUsage)
                        : joinText("cvlaunch: unknown argument ", first, "\n\n", kUsage));
    return 2;
}

bool isBareProgram() {
    return Launcher::m_inputFiles.m_instructions == nullptr &&
           Launcher::m_inputFiles.m_fileIndex.count == 0;
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
    CmdLineRun state;
    PlatformImpl::m_deleteLauncher = false;
    PlatformImpl::setUIProgress(0);

    std::vector<std::pair<const LauncherOption*, const SString*>> actions;
    for (long i = 0; i < args.count; ++i) {
        const LauncherOption* option = findOption(args.at(i));
        if (option == nullptr) {
            m_passThroughArgs.push_back(args.at(i));
            continue;
        }
        bool hasValue = option->takesValue && i + 1 < args.count;
        const SString* value = hasValue ? &args.at(++i) : nullptr;
        if (option->action) {
            actions.emplace_back(option, value);
        } else {
            option->apply(value, state);
        }
    }
    for (const auto& [option, value] : actions) {
        option->apply(value, state);
    }

    if (state.runInstructions) {
        loadPayload(true);
        state.result = isBareProgram() ? answerBareProgram(m_passThroughArgs) : run();
        PlatformImpl::setUIProgress(100);
    }
    return state.result;
}

int Launcher::run() {
    if (m_inputFiles.m_instructions == nullptr) {
        return -1;
    }
    chooseTempDirectory();
    try {
        return m_inputFiles.m_instructions->execute();
    } catch (const InstructionsException& e) {
        throw LauncherException(joinText("Error in instructions. ", e.message, " Line number (",
                                         convertToString(e.line), ")"));
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
