#pragma once

// The launcher's control: the command line, the log, the variable banks and
// the JVM-level actions that the instruction program and the input-file
// actions call.
//
// Launcher is a class of static members only. main() creates one object for
// the length of the run so that its destructor removes the temporary files.
// Its definitions are split by concern:
//   LauncherCommandLine.cpp  process, processCmdLine, run, getLauncherPurpose
//   LauncherServices.cpp     log, identity, variables
//   LauncherLaunch.cpp       initializeUI, launch, ilaunch
//   LauncherInstall.cpp      installJVM, executeEmbeddedLauncher, the payload's archives
//   LauncherSearch.cpp       findJVM, verifyJVM, search, searchAll

#include <vector>

#include "base/SString.h"
#include "base/StringDeque.h"
#include "base/TextUtils.h"

class FileIndexEntry;
class LauncherInputFiles;
class TagFile;
class VerifyClass;

enum LogMessageType {
    LOG_INFO = 0,
    LOG_WARNING = 1,
    LOG_ERROR = 2,
};

// The argument of the INSTALL_JVM instruction.
enum InstallJVMOption {
    INSTALL_JVM_TEMP_QUIET = 0,  // hidden display, new temporary directory
    INSTALL_JVM_TEMP = 1,        // shown display, new temporary directory
    INSTALL_JVM_PROMPT = 2,      // shown display, directory asked from the user
    INSTALL_JVM_STORE = 3,       // the user's runtime store, installed once and kept
};

class Launcher {
  public:
    Launcher();
    // Runs PlatformImpl::cleanup and swallows whatever it throws.
    ~Launcher();

    // ---- Command line ----------------------------------------------------

    // Records the launcher's names and arguments and runs the command line.
    // A LauncherException is shown, logged and turned into -1.
    static int process(StringDeque& args, const SString& launcherFileName);
    static int processCmdLine(const StringDeque& args);
    // Runs the loaded instruction program; -1 when there is none.
    static int run();
    // The purpose byte of a launcher file's trailer (0 to 255), or -1.
    static int getLauncherPurpose(const char* path);

    // ---- Log -----------------------------------------------------------------

    // Appends one entry to the log file, if one is named; never fails visibly.
    static void logMessage(const char* text, LogMessageType type);
    static void logMessage(const SString& text, LogMessageType type);
    // Logs the parts, joined as by joinText, as one LOG_INFO entry.
    template <typename... Parts>
    static void logInfo(const Parts&... parts) {
        logMessage(joinText(parts...), LOG_INFO);
    }
    // An empty name switches logging off.
    static void setLogFileName(const SString& name);

    // ---- Identity --------------------------------------------------------------

    static SString getLauncherFileName();
    static SString getOriginalLauncherFileName();
    // The directory part of the original launcher's name, without a trailing
    // "/"; empty when the name has no "/".
    static SString getOriginalLauncherDir();

    // ---- Variables S1..S10 and N1..N5 --------------------------------------------

    static bool isValidStringVariable(long n);
    static SString getStringVariable(long n);
    static void setStringVariable(long n, const SString& value);
    static bool isValidLongVariable(long n);
    static long getLongVariable(long n);
    static void setLongVariable(long n, long value);

    // ---- Launch actions --------------------------------------------------------

    static void initializeUI();
    // Runs the launch script against the JVM description file at the path;
    // returns the Java program's exit code, or -1 without a launch script.
    static int launch(const SString& jvmFilePath, short uiSeconds);
    // The same with an embedded JVM description file, by file id.
    static int ilaunch(long fileId, short uiSeconds);

    // ---- Bundled JVM and embedded launcher -----------------------------------

    static void installJVM(InstallJVMOption option);
    static void installJVM(bool showProgress, bool showFailMsg, const SString& installerPath,
                           const SString& destination);
    static void executeEmbeddedLauncher(long position);
    static const SString& getApplicationArchive();
    static const SString& getApplicationArchive(const SString& fileName);
    // The "Verify" class of the last verification archive of the payload,
    // extracted into a new temporary directory when a probe first needs it;
    // without one in the payload, of the archive installed with the running
    // launcher file (VerifyArchive.h), used in place; no class when there is
    // none.
    static VerifyClass getVerifyClass();
    // Extracts every class-path archive of the payload, in index order, into
    // one new temporary directory, made only when there is such an archive,
    // and appends the paths of the copies to `paths`. With `keptDirectory`,
    // the copies go there instead, once: a copy is reused while it is as it
    // was made, which "<keptDirectory>.extracted" records. Where they cannot
    // be kept there, they go to a temporary directory after all, and the
    // result is false.
    static bool extractClasspathArchives(StringDeque& paths,
                                         const SString& keptDirectory = SString());
    static void extractOnce(const std::vector<const FileIndexEntry*>& entries,
                            const SString& directory, StringDeque& paths);

    // ---- JVM search actions ------------------------------------------------------

    static void findJVM(bool showProgress, bool showFailMsg);
    static void verifyJVM(bool showProgress, bool showFailMsg, long fileId);
    static void verifyJVM(bool showProgress, bool showFailMsg, TagFile& jvmTagFile,
                          const SString& javaHome);
    static void verifyJVM(bool showProgress, bool showFailMsg, const SString& jvmFilePath,
                          const SString& javaHome);
    static void search(bool showProgress, bool showFailMsg);
    static void searchAll(bool showProgress, bool showFailMsg);

    // ---- State -------------------------------------------------------------------

    static SString m_logFileName;
    static bool m_logFileInitialized;
    static SString m_launcherFileName;
    static SString m_origLauncherFileName;
    static SString m_stringVariables[10];
    static long m_numericVariables[5];
    static StringDeque m_args;
    static StringDeque m_passThroughArgs;
    static SString m_userJavaHome;
    static bool m_showJavaConsole;
    static LauncherInputFiles m_inputFiles;
    static int m_launcherPurpose;
    static SString m_applicationArchive;
};
