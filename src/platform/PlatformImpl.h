#pragma once

// Everything that is bound to the operating system: child processes and the
// environment, directory walks, temporary files and cleanup, free disk space,
// and the console display. Only the sources of src/platform/ include system
// headers; the rest of the launcher goes through this class.
//
// PlatformImpl is a class of static members only; it is never used as an
// object. Its definitions are split by concern:
//   PlatformImplEnvironment.cpp  environment, directories, separators, byte order
//   PlatformImplProcess.cpp      executeProcess, runCaptured, runAttached
//   PlatformImplCapture.cpp      waiting for a child and capturing its output
//   PlatformImplFiles.cpp        temporary files, cleanup, disk space, resolvePath
//   PlatformImplSearch.cpp       search roots, hints, findFiles, plantedFileRisk
//   PlatformImplConsole.cpp      console display and messages
//   PlatformImplCopy.cpp         copyBytes, from file to file

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstddef>
#include <cstdio>
#include <cwchar>

#include "base/SString.h"
#include "base/StringDeque.h"
#include "base/SystemError.h"

class FileFindListener;
class JVMFile;

// The main status line. Each value is the id of its text in the message
// catalogue (MessageCatalogue.h), which fetches it directly.
enum UIStatus {
    STATUS_INITIALIZING = 1,
    STATUS_RUNNING = 7,
    STATUS_PREPARING_JVM = 8,
    STATUS_SEARCHING_JVM = 9,
};

// The sub-status; the console display prints none of them.
enum UISubStatus {
    SUBSTATUS_NONE,
    SUBSTATUS_SEARCHING,
    SUBSTATUS_SCANNING_DISKS,
    SUBSTATUS_VERIFYING,
};

// The catalogue texts that other parts fetch with getMessageText. Each value
// is the id of its entry in the message catalogue (MessageCatalogue.h).
enum MessageIdentifier {
    MSG_INPUT_FILE_LOAD_FAILED = 19,
    MSG_INSTRUCTIONS_LOAD_FAILED = 20,
    MSG_LAUNCH_SCRIPT_LOAD_FAILED = 21,
    MSG_JVM_FILE_LOAD_FAILED = 22,
    MSG_INVALID_JVM_FILE_ID = 23,
    MSG_INVALID_ACTION = 24,
    MSG_LOG_FILE_NAME_MISSING = 25,
    MSG_EXTRACT_FAILED = 26,
    MSG_FILE_INDEX_LOAD_FAILED = 27,
    MSG_NO_JVM_INSTALLER = 28,
    MSG_INVALID_JVM = 29,
    MSG_INPUT_FILE_NAME_MISSING = 30,
    MSG_NO_SUITABLE_JVM = 31,
    MSG_SEARCH_ALL_FAILED = 32,
    MSG_INPUT_FILE_OPEN_FAILED = 33,
    MSG_FILE_WRITE_ERROR = 36,
    MSG_TEMP_SPACE_HINT = 37,
    MSG_CANCELED = 38,
    MSG_JAVA_NEEDED = 39,
    MSG_JAVA_VERSION = 40,
    MSG_JAVA_OR_NEWER = 41,
    MSG_ANY_JAVA = 42,
    MSG_UNFIT_JAVA_FOUND = 43,
    MSG_NO_JAVA_FOUND = 44,
    MSG_POINT_AT_JAVA = 45,
};

// How executeProcess runs a child, beyond its command. The defaults are those
// of a launch: no time limit, the launcher's own standard input.
struct ProcessOptions {
    // Milliseconds after which the child, with its whole process group, is
    // killed; 0 for no limit.
    long timeLimitMs = 0;
    // Standard input from /dev/null instead of the launcher's; the child does
    // not get the terminal either, so an interrupt at the terminal reaches the
    // launcher, which passes it on.
    bool nullInput = false;
    // A probe: when the child ends, whatever it left is killed, in its
    // process group or not (a process that called setsid, or forked twice),
    // so that nothing of it outlives it.
    bool killGroupAtEnd = false;
    // Bytes of each captured stream that are kept: the beginning and the end,
    // with a line between that says how many bytes were not kept; the rest is
    // read and dropped. 0 keeps everything.
    size_t captureLimit = 8 << 20;
};

// executeProcess's result for a child that was killed at its time limit;
// never an exit code.
const int kProcessTimedOut = -1;

class PlatformImpl {
  public:
    PlatformImpl() {}
    ~PlatformImpl() {}

    // ---- Processes and environment -------------------------------------

    // Runs `command`. With `replace`, the command is split by CmdLine and the
    // launcher's process image is replaced by it (execvp); if that fails,
    // 0 is returned. Otherwise the command runs as runCaptured (with
    // `capture` and `redirect`) or runAttached would run /bin/sh -c command.
    // `showConsole` has no effect on this platform.
    static int executeProcess(const SString& command, const SString& workingDir, bool showConsole,
                              bool capture, bool redirect, SString* stdOut, SString* stdErr,
                              bool replace, const ProcessOptions& options = ProcessOptions());

    // The two ways the launcher starts a program: arguments[0] (looked up in
    // PATH when it holds no "/"; a file that the kernel cannot execute is run
    // by /bin/sh) with every argument byte for byte, in a child that makes
    // `workingDir` (when not empty) its current directory; the launcher's
    // own stays. Both wait for the child's end and return its exit code, or
    // 128 + the signal number when a signal ended it, or kProcessTimedOut when
    // `options` set a time limit that passed (the output read until then is
    // kept). A child that cannot be started is reported, never run: throws
    // LauncherException "Unable to start <program>: " with the system's
    // reason (or "Error setting working directory: <dir> " and the reason),
    // as for a failing pipe, fork or wait.
    //
    // runCaptured appends the child's standard output to *stdOut and its
    // standard error to *stdErr (a null pointer drops that stream); nothing
    // reaches the launcher's own streams.
    static int runCaptured(const StringDeque& arguments, const SString& workingDir, SString* stdOut,
                           SString* stdErr, const ProcessOptions& options = ProcessOptions());
    // runAttached lets the child write to the launcher's standard output and
    // error, and read its standard input and terminal (unless
    // options.nullInput).
    static int runAttached(const StringDeque& arguments, const SString& workingDir,
                           const ProcessOptions& options = ProcessOptions());

    // Starts the program arguments[0] (an exact path) with every argument, in
    // a session of its own at the lowest priority, with its standard input
    // from /dev/null and its standard output and error appended to
    // `logFile`, and returns once it runs, without waiting for its end; the
    // launcher is not its parent. "" or why it could not be started.
    static SString startDetached(const StringDeque& arguments, const SString& logFile);
    // Replaces the launcher's process image with the program arguments[0]
    // (an exact path, no PATH lookup), handing it every argument byte for
    // byte. Standard output and standard error are flushed first. Returns
    // only when the program cannot be started, with the system's reason.
    static SString replaceProcess(const StringDeque& arguments);

    // The value of an environment variable, or "" when it is not set.
    static SString getEnvironmentVariable(const SString& name);
    // Sets a variable for the launcher and every child it starts later.
    static void setEnvironmentVariable(const SString& name, const SString& value);
    // "/", the separator between the names of a file path.
    static SString getPathSeparator();
    // Big-endian signed 32-bit and 16-bit numbers, whatever the host order.
    static long convertToLong(char* bytes);
    static short convertToShort(char* bytes);
    // Hook run just before a Java command; nothing to do on this platform.
    static void preJavaLaunch(int purpose, const JVMFile& jvm);
    // The absolute path of the running launcher file from argv[0]: argv[0]
    // itself when it begins with "/"; the current directory, "/" and argv[0]
    // when it holds a "/" elsewhere (no other normalisation); for a bare name
    // the first PATH directory that holds an executable file of that name, as
    // the shell found it. When that fails, or the current directory is
    // unknown, the target of /proc/self/exe. A path that is a symbolic link
    // is followed to the real file (resolvePath).
    static SString getLauncherPath(const char* argv0);
    // A relative path made absolute against the current directory (no other
    // normalisation); the path unchanged when it is absolute or the current
    // directory cannot be determined.
    static SString getAbsolutePath(const SString& path);
    // The launcher's current directory, or "" when it cannot be determined.
    static SString getCurrentDirectory();
    // Opens /dev/null on each of the standard streams 0, 1 and 2 that the
    // launcher was started without, so that no file it opens later takes
    // their place and gets the display, the result lines or a program's
    // output.
    static void openMissingStandardStreams();

    // ---- Signals -------------------------------------------------------------

    // Installs the signal handlers. SIGINT, SIGTERM, SIGHUP and every other
    // signal that would end the launcher (SIGALRM, SIGXCPU, SIGPOLL, the
    // real-time ones, ...) are passed on to a running child's process group;
    // each is recorded and raises m_canceled, so that walks, extractions and
    // the instruction program wind down, the child is waited for, and main
    // cleans up and ends with 128 + the signal number. SIGQUIT, SIGUSR1 and
    // SIGUSR2 go to a running child only, and end the launcher like SIGTERM
    // when none runs. SIGPIPE is ignored (a failed write reports EPIPE) and
    // SIGXFSZ is caught and does nothing, so that a write past the file size
    // limit fails (EFBIG) and is reported. A signal ignored at the start stays
    // ignored. Once a signal was passed on, the launcher is the reaper of
    // what its children leave.
    static void installSignalHandlers();
    // With `child`, before an exec: the handled signals and SIGPIPE back to
    // what the launcher found at its start, so that a signal held back while
    // a child was started reaches its program. Without, after a failed exec:
    // the launcher's handling again.
    static void setSignalsForChild(bool child);
    // Blocks the signals that the handlers take, saving the mask in
    // `previous`: a signal that comes while a child is being started is
    // delivered once the handler knows the child.
    static void blockEndingSignals(sigset_t& previous);
    // The signal recorded by the handlers, or 0.
    static int pendingSignal();
    // Throws LauncherException "Interrupted by signal N." when a signal is
    // pending; called before anything new is started.
    static void throwIfInterrupted();
    // The child to which the handlers pass a signal on, or 0 for none;
    // executeProcess sets it while it waits for a child.
    static void setRunningChild(int pid);
    // True when the handlers passed a signal on to the running child (or the
    // last one, once it is no longer running).
    static bool childWasSignalled();

    // ---- JVM search locations --------------------------------------------

    // Appends the search roots ("/") to the list, without clearing it.
    static void getJVMSearchPartitions(StringDeque& list);
    // Replaces the list with the ":"-separated directories of the
    // environment variable named `hint` (empty pieces included).
    static void getPlatformHint(StringDeque& list, const SString& hint);
    // getPlatformHint with "PATH".
    static void getPlatformJVMPaths(StringDeque& list);
    // Appends the directories, and links to directories, whose paths match
    // the glob(3) pattern (`*`, `?`, `[...]`; a backslash makes the next
    // character plain), without a trailing "/", in no particular order.
    // Directories that cannot be read narrow the match and are no error.
    static void matchDirectories(const SString& pattern, StringDeque& list);
    // Appends the paths that match the pattern and are not directories (nor
    // links to one), sorted. Nothing is appended when the match fails.
    static void matchFiles(const SString& pattern, StringDeque& list);
    // Walks every search root and reports each file whose path ends in "/"
    // followed by one of `names` to the listener, until it asks to stop.
    static void findFiles(const StringDeque& names, FileFindListener& listener);
    // Why the file `executable` could have been planted or changed by a user
    // other than root and the launcher's own, or "" when it could not. The
    // file, every link it leads through and the file it resolves to are
    // checked, each with every directory above it: each must belong to root
    // or to the user, and none may be writable by others (a group other than
    // root's and the user's own counts as others). A directory with the sticky bit (/tmp) is
    // acceptable above the `ownLevels` directories right above a file, which
    // are the JVM home and the directories inside it. A missing file gives ""
    // (there is nothing to run). The reason reads "<path> is writable by
    // others", "<path> is owned by user <uid>" or "<path> cannot be examined:
    // " and the system's reason.
    static SString plantedFileRisk(const SString& executable, int ownLevels);

    // ---- Temporary files, cleanup and disk space --------------------------

    // Makes the directory given with "-cv:tempdir" (made absolute) the
    // temporary directory; an empty path changes nothing. Throws
    // LauncherException "The temporary directory PATH (-cv:tempdir) cannot
    // be used: " and the reason, when it is no directory in which the user
    // can create files.
    static void setSystemTempDir(const SString& path);
    // The temporary directory, chosen on the first call unless given: TMPDIR
    // when it is set and not empty (which must be usable, as above, else
    // "... (TMPDIR) cannot be used: ..." is thrown), else /var/tmp/, or /tmp/
    // when no directory can be created in /var/tmp/ (a read-only one).
    static SString getSystemTempDirectory();
    // A new uniquely named ("cvj...") directory inside the temporary
    // directory, the current user's with the mode 0700, on the directory
    // cleanup list.
    static SString createTempSubDirectory();
    // A new empty uniquely named ("cvj...") file inside the temporary
    // directory, on the file cleanup list.
    static SString createTempFile();
    static void addFileToCleanupList(const SString& path);
    static void removeFileFromCleanupList(const SString& path);
    static void removeDirFromCleanupList(const SString& path);
    // Deletes everything on both cleanup lists, then the launcher copy when
    // m_deleteLauncher is set. Runs at most once per process.
    static void cleanup();
    // Deletes a file, or a directory with everything below it. Never throws.
    static void deleteFile(const SString& path);
    static bool fileExists(const SString& path);
    // True for a directory (links followed).
    static bool isDirectory(const SString& path);
    // What the file at `path` is when it exists and is no regular file (links
    // followed): "a directory", "a character device", "a block device", "a
    // fifo", "a socket" or "a special file"; "" otherwise.
    static SString specialFileKind(const SString& path);
    // Makes the directory with mode 0777 (less the umask) unless it exists:
    // 0, or the errno of the failure.
    static int makeDirectory(const SString& path);
    // True when both paths exist and name the same file (links followed).
    static bool isSameFile(const SString& first, const SString& second);
    // The absolute path of an existing file with every symbolic link, "."
    // and ".." resolved; "" when it cannot be resolved.
    static SString resolvePath(const SString& path);
    static void setFileExecutable(const SString& path);
    // What a file is: its device, inode, size and the nanoseconds of its
    // last change of content and of status, in one text (links followed);
    // "" when it does not exist. Two texts differ when the file was changed
    // or replaced.
    static SString fileIdentity(const SString& path);
    // True when the file (links followed) begins with the ELF magic bytes: a
    // program that the system loads itself, not a script whose interpreter
    // could run anything.
    static bool isElfFile(const SString& path);
    // Makes the directory `path` (and its missing parents) with mode 0700,
    // unless it exists. "" when it is a directory of the user's that no one
    // else may write to; otherwise why it is not, as the end of a sentence
    // ("it belongs to another user.").
    static SString privateDirectory(const SString& path);
    // True for a regular file (not a link) that the user owns.
    static bool isOwnFile(const SString& path);
    // True when the file system holding `dir` has room for `bytes` written
    // to `files` files. Throws LauncherException when it cannot be queried.
    static bool checkFreeSpace(const SString& dir, long bytes, long files);
    // Deletes the running launcher file and then its directory, if empty,
    // when the file is a copy of an embedded launcher: it lies in a "cvj"
    // directory (as createTempSubDirectory makes them) that belongs to the
    // current user and has the mode 0700. Any other file is kept, and a
    // warning in the log names it and the reason: "Keeping the launcher file
    // FILE despite -cv:orig: its directory DIR " followed by "is not a
    // temporary "cvj" directory.", "belongs to another user.", "has the mode
    // 0755, not 0700." or "cannot be examined: " and the system's reason.
    static void deleteLauncher();

    static SString m_tempDir;
    static StringDeque m_sdqCreatedFiles;
    static StringDeque m_sdqCreatedDrs;
    // Set by "-cv:orig": the launcher is a copy that deletes itself at its end.
    static bool m_deleteLauncher;

    // ---- Console display ---------------------------------------------------

    static void setUIStatus(UIStatus status);
    static void setUISubStatus(UISubStatus status, const SString& text);
    static void advanceUIProgress(long count);
    static void setUIProgress(long value);
    static void showUI();
    static void hideUI(short seconds);
    static bool isUIVisible();
    static void setSilent(bool silent);
    static void showUIMessage(const SString& message);
    // A result line of an input-file action on standard output: never
    // suppressed, and never glued to a row of progress marks. Throws
    // LauncherException when it cannot be written, since the caller would
    // otherwise take a partial result for a complete one.
    static void writeResultLine(const SString& line);
    static void setUITitle(const SString& title);
    static SString promptJVMDestinationDirectory();
    static SString wideToMultiByte(const wchar_t* text);
    static SString getMessageText(MessageIdentifier id);
    // The text with `arg` in the place of its "%s".
    static SString getMessageText(MessageIdentifier id, const SString& arg);

    static bool m_silent;
    static UISubStatus m_subStatus;
    static SString m_subStatusData;
    // Cancel request; the console display offers no way to set it.
    // Written by the signal handlers, hence its type.
    static volatile sig_atomic_t m_canceled;
};

// Reads `stream` to its end (or a read error) in chunks of 4096 bytes,
// appending what it reads to *text (text may be null) and advancing the
// console progress by one mark per read, an empty last read included.
// Returns the size of the last read: below 4096, and 0 when the data ended
// exactly at a chunk boundary.
unsigned int readFromFile(FILE* stream, SString* text);

// Runs `call` (a system call wrapped in a lambda) again for as long as it
// fails with EINTR, and returns its last result. A signal that interrupts a
// blocking call is handled by its handler; the call itself goes on.
template <typename Call>
auto retryOnEintr(Call call) -> decltype(call()) {
    decltype(call()) result;
    do {
        result = call();
    } while (result < 0 && errno == EINTR);
    return result;
}

// The free-space test of checkFreeSpace on a file system with fragments of
// `fragmentSize` bytes of which `freeFragments` are free: a single file is
// rounded up to whole fragments, several files get one spare fragment each.
// True when the space is enough (exactly enough passes).
bool hasFreeSpace(double fragmentSize, double freeFragments, long bytes, long files);

// How copyBytes goes: the size of its steps and what it does between them.
struct CopySteps {
    // Bytes per step: the most that one step copies, and the size of the one
    // buffer of the steps that do not go through the kernel.
    size_t size = 1 << 16;
    // One console progress mark after each step (advanceUIProgress(1)).
    bool progressMarks = false;
    // Stops before a step when PlatformImpl::m_canceled is set.
    bool cancelable = false;
};

// Where copyBytes stopped: the bytes of the steps it completed, and the errno
// of the read or the write that failed (0 for none; at most one is set).
struct CopyResult {
    long copied = 0;
    int readError = 0;
    int writeError = 0;

    int error() const { return readError != 0 ? readError : writeError; }
};

// copyBytes's length for everything up to the end of the source.
const long kCopyToEnd = LONG_MAX;

// Copies up to `length` bytes of `source`, from its absolute position
// `offset`, to `target`, one step at a time: in the kernel (copy_file_range)
// between regular files where the system allows it, otherwise with plain
// reads and writes through one buffer on the streams' file descriptors. Stops
// after `length` bytes, at the end of the source, at the first failed read or
// write, or at a cancel request (see CopySteps). The source's own stream
// position is neither used nor moved. The target is flushed first and written
// at its file position, so that what is written to it afterwards follows the
// copied bytes. Interrupted calls are repeated; a failure is reported in the
// result, never thrown.
CopyResult copyBytes(FILE* source, long offset, FILE* target, long length, const CopySteps& steps);
