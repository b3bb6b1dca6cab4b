#pragma once

// A launch script: the command template that starts the Java program, and
// how it runs (output shown or captured, working directory).
//
// The launch script file is a tag file; the first value of each key is used:
//   COMMAND               the command template; required
//   DISPLAY_CONSOLE       boolean: let the output reach the console (false)
//   AUTO_SET_WORKING_DIR  boolean: run in the launcher's directory (true)
//   DESC                  description of what is launched (empty)
//   ARCHIVE               extra class path entry, see CP (empty)
//
// The command is expanded in three passes: the "%" functions, then the "@"
// tags of the JVM description file, then the "#" environment variables (see
// MacroHandler.h for the scanning rules). The text a function produces may
// thus hold "@" and "#" macros. Every value that does not come from the
// template or the JVM file (the launcher's paths, temporary paths, JVM_HOME,
// side-file lines, environment values) is put in as data (CommandText.h): no
// later pass and no shell reads it as text. An environment value outside
// quotes is split at blanks, as an unquoted shell variable is.
//
// A function call is %NAME%(args):
//   args   := ws "(" ws [ arg { ws "," ws arg } [ ws "," ] ] ws ")"
//   arg    := '"' { any character but '"' | '""' } '"'     ('""' is one '"')
//   ws     := { blank | tab | line feed | carriage return }
// The list also ends when the text ends right after an argument. Arguments
// are taken as written: their macros are not expanded by the "%" pass.
// Example: %SYSTEMPROP%("app.home", "@JVM_HOME@") gives -Dapp.home=<home>
// with a JVM file whose SYSTEM is -D and SYSTEM_SEPARATOR is =.
//
// The functions, names compared exactly:
//   REPLACE(search, replacement, subject)  subject with every search text
//       replaced, left to right, inserted text never searched again; search
//       and replacement have their "@" macros replaced first; an empty search
//       text changes nothing
//   RUNTIME_SYSTEMPROP()    the properties of the ".sp" side file
//   RUNTIME_JAVAARGS()      the Java arguments of the ".ja" side file, then
//                           those of the user's own ".ja" file (below)
//   SYSTEMPROP(name, value) SYSTEM, name, SYSTEM_SEPARATOR, value ("@" replaced)
//   CP(entries...)          the class path (see below)
//   IF_EXISTS(tag, text)    text ("@" replaced) when the tag has a non-empty
//                           first value, else nothing
//   LAUNCHER_FILE()         the running launcher file
//   LAUNCHER_DIR()          the directory of the original launcher
//   APPLICATION_ARCHIVE([name])  the extracted application archive
//   TEMP_DIR()              the temporary directory
//   CLASS_DATA_ARCHIVE()    the JVM options of a class-data archive for the
//                           JVM and the class path of this launch, or
//                           nothing (ClassDataArchive.h); with it, the
//                           payload's class path archives are extracted once
//                           into the cache, and verification asks for
//                           java.version
//
// CP joins with CLASSPATH_SEPARATOR, skipping empty pieces: the ".cp1" side
// file, JVM_CLASSPATH, ".cp", the arguments, ARCHIVE (its "%" functions
// replaced), the extracted class path archives of the payload, ".cp2"; the
// result is CLASSPATH followed by the class path, or nothing when it is empty.
// A JVM file without CLASSPATH gives "-cp ", one without CLASSPATH_SEPARATOR
// ":"; a tag that is there keeps its value, an empty one too.
// Each side-file line and each archive is one whole entry. When
// USE_CP_ENV_VAR is "1", the class path (its "@" macros replaced) goes into
// the environment variable named by CP_ENV_VAR instead (one pair of
// surrounding double quotes is stripped from each argument and from ARCHIVE),
// and the call leaves no text.
//
// A ".sp" line name=value gives one argument; a ".ja" line gives the words
// that a shell would make of it, with nothing evaluated ("-Da=\"x y\" -Xss1m"
// gives -Da=x y and -Xss1m).
//
// Side files lie next to the original launcher: its name with the extension
// (from the last "." after the last "/" or "\") replaced by ".cp1", ".cp",
// ".cp2", ".sp" (name=value per line) or ".ja" (Java arguments per line).
// Without such an extension, and for a name without any "/" or "\", the
// suffix is appended: /opt/x/setup.bin gives /opt/x/setup.cp1, /opt/rel.2/setup
// gives /opt/rel.2/setup.cp1, setup.bin gives setup.bin.cp1. A missing file is
// empty. The user's own ".ja" file bears the name of the ".ja" side file in
// $XDG_CONFIG_HOME/cvlaunch (~/.config/cvlaunch when XDG_CONFIG_HOME is not
// absolute; none when HOME is not absolute either): /opt/x/setup.bin reads
// ~/.config/cvlaunch/setup.ja after /opt/x/setup.ja, with the same rules.
//
// Invalid, each throws LauncherException "Launch script error: " + message
// after logging "Launch command:" and the text being expanded:
//   a wrong number of arguments   ("REPLACE function requires 3 arguments." ...)
//   an unknown name               "Invalid function name (NAME)."
//   a malformed argument list     "Expected left parenthesis.", "Expected
//       string arg." or "Expected right parenthesis.", each followed by
//       " (near character N)", N the position where the failing step began
//   an endless expansion          "Macro expansion does not end."
//   no command                    "The launch script has no COMMAND." (the
//       key is missing or blank), "The COMMAND of the launch script expands
//       to nothing."
// An argument without its closing quote throws the message of
// parseStringArgument as it stands.

#include <memory>

#include "base/SString.h"
#include "base/StringDeque.h"
#include "launchscript/ClassDataArchive.h"
#include "launchscript/MacroHandler.h"
#include "platform/PlatformImpl.h"

class JVMFile;
class TagFile;

class LaunchScript : public MacroHandler {
  public:
    // From a launch script file; archives are extracted for CP.
    LaunchScript(const TagFile& script, bool captureOutput);
    // From a command text: no console display, runs in the launcher's
    // directory, no description, no ARCHIVE.
    LaunchScript(const SString& command, bool captureOutput, bool extractArchives);
    ~LaunchScript() override;

    // Expands the command against `jvm`, appends each extra argument as an
    // argument of its own, sets JAVA_HOME to the JVM's home and, for launcher
    // purposes 0 and 2, the JVM file's SET_ENV_FOR_WIZARD variables, and runs
    // the command (CommandText.h): directly when it is a plain command,
    // otherwise through /bin/sh. With m_autoSetWorkingDir the command runs in
    // the launcher's directory; the launcher's own stays. Captured output is
    // appended to m_stdOut and m_stdErr. JAVA_HOME gets its earlier value
    // back (empty when it was not set); the SET_ENV_FOR_WIZARD variables
    // stay. `options` go to the process start (a launch has neither time
    // limit nor /dev/null input). Returns the command's exit code, or
    // kProcessTimedOut when the time limit stopped it; throws
    // LauncherException when there is no command (nothing runs then) or it
    // cannot be expanded or started.
    int execute(const JVMFile& jvm, const StringDeque* extraArguments, bool showConsole,
                const ProcessOptions& options = ProcessOptions());

    // The command with all three kinds of macro replaced, against `jvm`, its
    // values marked as data (CommandText::plain writes them in).
    SString resolve(const JVMFile& jvm);
    using MacroHandler::resolve;

    // True when the command or ARCHIVE calls CLASS_DATA_ARCHIVE.
    bool usesClassDataArchive() const;

    // With "#", the environment variable named by the macro; with any other
    // delimiter, the function named by it, with its argument list.
    void processMacro(SString& text, char delimiter, unsigned int start,
                      unsigned int& end) const override;

    // Reads the argument list that begins at `position` (see the grammar) and
    // leaves `position` just after its ")", or at the end of the text when the
    // text ends right after the last argument.
    void getArguments(const SString& text, unsigned int& position, StringDeque& arguments) const;

    SString makeSystemProp(const JVMFile* jvm, const SString& name, const SString& value) const;
    // The entries of the side file with `suffix`, joined.
    SString buildRuntimeClasspath(const JVMFile* jvm, const char* suffix) const;
    // JVM_CLASSPATH of the JVM file in use, its "@" macros still in it.
    SString buildJVMClasspath() const;
    // The class path archives of the payload, each extracted anew into a new
    // temporary directory; empty when archives are not extracted.
    SString buildJARClasspath() const;
    // Appends a non-empty entry, after CLASSPATH_SEPARATOR (":" when the JVM
    // file has none) unless the class path is empty.
    void addToClasspath(const JVMFile* jvm, SString& classpath, const SString& entry) const;
    SString buildRuntimeSystemProps(const JVMFile* jvm) const;
    SString buildRuntimeJavaArgs(const JVMFile* jvm) const;

    // Logs "Launch command:" and `text`, then throws LauncherException
    // "Launch script error: " + message.
    [[noreturn]] void throwException(const SString& text, const char* message) const;

    // Read by the creator after execute; every run appends.
    SString m_stdOut;
    SString m_stdErr;
    // Shown as the display title by the payload loader.
    SString m_description;

    // "" when `name` is a function that takes `count` arguments; otherwise
    // the message of the error ("Invalid function name (NAME).", or the
    // function's own for a wrong count). The packer checks templates with it.
    static SString functionError(const SString& name, unsigned int count);

  private:
    using Function = SString (LaunchScript::*)(const StringDeque& arguments) const;
    SString functionReplace(const StringDeque& arguments) const;
    SString functionRuntimeSystemProp(const StringDeque& arguments) const;
    SString functionRuntimeJavaArgs(const StringDeque& arguments) const;
    SString functionSystemProp(const StringDeque& arguments) const;
    SString functionCP(const StringDeque& arguments) const;
    SString functionIfExists(const StringDeque& arguments) const;
    SString functionLauncherFile(const StringDeque& arguments) const;
    SString functionLauncherDir(const StringDeque& arguments) const;
    SString functionApplicationArchive(const StringDeque& arguments) const;
    SString functionTempDir(const StringDeque& arguments) const;
    SString functionClassDataArchive(const StringDeque& arguments) const;
    // One function of the table in LaunchScript.cpp: its name, how many
    // arguments it takes, the message when the count is wrong.
    struct FunctionEntry {
        const char* name;
        unsigned int minArguments;
        unsigned int maxArguments;
        const char* countError;
        Function function;
    };
    static const FunctionEntry kFunctions[];
    // The entry of `name`, or null.
    static const FunctionEntry* findFunction(const SString& name);
    // Checks the argument count of the function `name` and calls it; `text`
    // is the text being expanded, for the log of an error.
    SString callFunction(const SString& text, const SString& name,
                         const StringDeque& arguments) const;
    // ARCHIVE with its "%" functions replaced.
    SString expandArchive() const;
    // Sets the CP_ENV_VAR variable to the class path, or logs why it cannot.
    void exportClasspath(const SString& classpath) const;
    // The directory of the running launcher file, without a trailing "/".
    SString launcherDirectory() const;
    void applyWizardEnvironment(const JVMFile& jvm) const;
    // Puts the archive's options where CLASS_DATA_ARCHIVE stood, once the
    // rest of the command is known.
    SString insertClassDataOptions(const SString& text) const;

    SString m_command;
    bool m_captureOutput;
    bool m_displayConsole;
    bool m_autoSetWorkingDir;
    const JVMFile* m_jvmFile;  // set only while resolve runs
    bool m_extractArchives;
    SString m_archive;
    // Set while ARCHIVE is expanded: a CP inside ARCHIVE would expand
    // ARCHIVE again, without end.
    mutable bool m_expandingArchive;
    // Set while a command that calls CLASS_DATA_ARCHIVE is resolved and run.
    std::unique_ptr<ClassDataArchive> m_classData;
};

// Removes one double quote at the start and one at the end of `text`.
void stripQdDuotes(SString& text);
