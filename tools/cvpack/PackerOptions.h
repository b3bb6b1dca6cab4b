#ifndef PACKEROPTIONS_H
#define PACKEROPTIONS_H

// The command line of cvpack.
//
//   cvpack [FILE OPTIONS] [--stub FILE] [--purpose N] -o OUTPUT
//   cvpack --list LAUNCHER
//   cvpack --help
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
//   --name NAME                 entry name (default: the file's base name)
//   --compressed FILES:BYTES    the file is an archive that expands to FILES
//                               files of BYTES bytes in all (for the launcher's
//                               free-space check)
// Other options:
//   --no-verify-archive         embed no verification archive
//   --stub FILE                 the launcher program (default: cvlaunch beside cvpack)
//   --purpose N                 the purpose byte, 0 to 255 (default 1)
//   -o, --output FILE           the launcher file to write
//
// Every option takes its value from the next argument, or after "=" in the
// long form ("--jvm=a.jvm"). An unknown option, a missing or malformed value,
// a modifier without a file before it, a missing output, or --list mixed
// with options that pack, is a usage error (UsageError).

#include <vector>

#include "SString.h"

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

// The purpose byte of an application launcher: it does not apply the
// "SET_ENV_FOR_WIZARD" values of JVM description files (0 and 2 do).
const long DEFAULT_PURPOSE = 1;

class PackerOptions {
  public:
    // Reads argv[1] to argv[argc - 1]. Throws UsageError.
    void parse(int argc, char** argv);

    // The name of a file type as the options spell it ("jvm"), or "unknown".
    static const char* typeName(long type);

    bool help = false;
    SString listFile;  // --list: the launcher file to list
    std::vector<PayloadFile> files;
    bool noVerifyArchive = false;
    SString stub;
    long purpose = DEFAULT_PURPOSE;
    SString output;

  private:
    void apply(int kind, long fileType, const SString& option, const SString& value);
    void addFile(long type, const SString& path);
    void parseFileOption(const SString& value);
    static void parseCompressed(PayloadFile& file, const SString& value);
    PayloadFile& lastFile(const SString& option);
};

#endif
