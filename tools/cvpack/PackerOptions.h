#pragma once

// The command line of cvpack.
//
//   cvpack [FILE OPTIONS] [--stub FILE] [--purpose N] -o OUTPUT
//   cvpack --main-jar JAR [APPLICATION OPTIONS] [FILE OPTIONS] -o OUTPUT
//   cvpack --main-jar JAR [APPLICATION OPTIONS] --print-config DIR [-o OUTPUT]
//   cvpack --list LAUNCHER
//   cvpack --help
//   cvpack --version
//
// File options add one embedded file each, in index order:
//   --instructions FILE         type 0, the instruction program (tag file)
//   --jvm FILE                  type 1, a JVM description file (tag file)
//   --launch-script FILE        type 2, the launch script (tag file)
//   --classpath-archive FILE    type 3
//   --jvm-installer FILE        type 4
//   --verify-archive FILE       type 5, replaces the default verify.jar
//   --app-archive FILE          type 6
//   --embedded-launcher FILE    type 7
//   --file TYPE:PATH[:ID[:NAME]]
//                               any type, by number (0 to 7) or by the name of
//                               its option ("jvm", "app-archive", ...); PATH
//                               must not hold ":" in this form
// Modifiers apply to the file named just before them:
//   --id N                      file id (default: the position in the index)
//   --name NAME                 entry name (default, also for an empty NAME:
//                               the file's base name)
//   --compressed FILES:BYTES    the file is an archive that expands to FILES
//                               files of BYTES bytes in all (for the launcher's
//                               free-space check)
// Other options:
//   --no-verify-archive         embed no verification archive
//   --stub FILE                 the launcher program (default: cvlaunch beside cvpack)
//   --purpose N                 the purpose byte, 0 to 255 (default 1)
//   -o, --output FILE           the launcher file to write
// Application mode (--main-jar): cvpack generates the instruction program,
// the launch script and the JVM description file (see ApplicationConfig.h):
//   --main-jar JAR              the application's jar, first on the class path
//   --class-path JAR            another jar for the class path (repeatable)
//   --main-class NAME           the main class (default: Main-Class of the
//                               main jar's manifest)
//   --java RANGE                the Java versions accepted: 17, 17+ or 11-21
//   --java-option OPTION        one argument for java (repeatable)
//   --name TEXT                 the application's name, for messages
//                               (default, also for an empty TEXT: the main
//                               jar's base name without ".jar"); in this mode
//                               --name names no file
//   --title TEXT                the title that the launcher shows when it
//                               starts (default: none)
//   --search-disk               walk the whole file system when no hint
//                               leads to a JVM
//   --no-class-data-archive     no %CLASS_DATA_ARCHIVE%() in the command
//   --no-manifest-class-path    embed only the jars given, as they are, not
//                               the jars that their manifests' Class-Path
//                               headers name
//   --print-config DIR          write the generated files into DIR instead of
//                               packing, and print the cvpack command that
//                               packs them with the jars and every other
//                               option given (-o names its output)
//   --runtime JDK_HOME          carry a runtime linked from that JDK (see
//                               RuntimeLinker.h) as the JVM installer
//   --runtime-modules LIST      its modules, comma-separated, instead of those
//                               that jdeps finds; +LIST adds them
//   --runtime-compression LEVEL the zstd level of the runtime, 1 (fast) to 19
//                               (smallest, the default)
//   --prefer-runtime            run the carried runtime even when an
//                               installed JVM fits
// With --runtime or --jvm-installer, the launcher carries its runtime: the
// instruction program installs it when no installed JVM fits.
// The generated files take the place of --instructions, --launch-script and
// --jvm, which this mode refuses; the other file options add files as usual.
//
// Every option takes its value from the next argument, or after "=" in the
// long form ("--jvm=a.jvm"). An unknown option, a missing or malformed value
// (an empty one but for --name and --title), a modifier without a file before
// it, a missing output, --list mixed with options that pack, an
// application option without --main-jar, --runtime with --jvm-installer,
// --runtime-modules or --runtime-compression without --runtime, an empty
// module name in the list of --runtime-modules,
// --prefer-runtime without a carried runtime, or --search-disk with one, is
// a usage error (UsageError). The --java range is checked when the files are
// generated.

#include <vector>

#include "base/SString.h"

// A command line that cvpack cannot act on. The message says what is wrong,
// without the program name.
class UsageError {
  public:
    explicit UsageError(const SString& message) : message(message) {}
    SString message;
};

// One file to embed, as the command line describes it.
struct PayloadFile {
    long type = 0;
    SString path;
    bool hasId = false;
    long id = 0;
    SString name;  // empty: the base name of path
    bool compressed = false;
    long expandedFiles = 0;
    long expandedSize = 0;
};

// What application mode generates its files from.
struct ApplicationOptions {
    SString mainJar;  // empty: not application mode
    std::vector<SString> classPath;
    SString mainClass;  // empty: from the manifest
    SString javaRange;  // empty: any version
    std::vector<SString> javaOptions;
    SString name;   // empty: from the main jar's name
    SString title;  // empty: none
    bool searchDisk = false;
    bool classDataArchive = true;
    bool manifestClassPath = true;
    SString configDirectory;     // --print-config
    SString runtimeHome;         // --runtime: the JDK that the carried runtime is linked from
    SString runtimeModules;      // --runtime-modules, as given: LIST or +LIST
    int runtimeCompression = 0;  // --runtime-compression; 0: the smallest
    bool preferRuntime = false;
    bool carriesRuntime = false;  // --runtime or --jvm-installer
};

// The purpose byte of an application launcher: it does not apply the
// "SET_ENV_FOR_WIZARD" values of JVM description files (0 and 2 do).
const long kDefaultPurpose = 1;

class PackerOptions {
  public:
    // Reads argv[1] to argv[argc - 1]. Throws UsageError.
    void parse(int argc, char** argv);

    // The text of "cvpack --help", made from the table of the options.
    static SString usage();

    // The name of a file type as the options spell it ("jvm"), or "unknown".
    static const char* typeName(long type);

    bool help = false;
    bool version = false;
    SString listFile;  // --list: the launcher file to list
    std::vector<PayloadFile> files;
    bool noVerifyArchive = false;
    SString stub;
    long purpose = kDefaultPurpose;
    SString output;
    ApplicationOptions application;

  private:
    void apply(int kind, long fileType, const SString& option, const SString& value);
    void applyApplicationOption(int kind, const SString& option, const SString& value);
    void checkApplicationMode();
    void checkRuntimeOptions();
    static void checkModuleList(const SString& list);
    void addFile(long type, const SString& path);
    void parseFileOption(const SString& value);
    static void parseCompressed(PayloadFile& file, const SString& value);
    PayloadFile& lastFile(const SString& option);

    bool m_applicationMode = false;  // --main-jar is given
    SString m_applicationOption;     // the first option that needs --main-jar
};
