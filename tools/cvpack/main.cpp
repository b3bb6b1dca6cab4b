// cvpack: builds launcher files from the cvlaunch program and the files to
// embed, and lists what a launcher file carries. See PackerOptions.h for the
// command line. Exit status: 0 done, 1 failed, 2 usage error.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ApplicationConfig.h"
#include "LauncherWriter.h"
#include "PackerOptions.h"
#include "PayloadChecks.h"
#include "PayloadLister.h"
#include "base/ScopedFile.h"
#include "base/SystemError.h"
#include "base/TextUtils.h"
#include "jvm/VerifyArchive.h"
#include "launcher/LauncherException.h"
#include "payload/FileIndexEntry.h"
#include "platform/DeleteFullDir.h"
#include "platform/PlatformImpl.h"

namespace {

const char g_help[] =
    "Usage: cvpack [FILE OPTIONS] [--stub FILE] [--purpose N] -o OUTPUT\n"
    "       cvpack --main-jar JAR [APPLICATION OPTIONS] [OTHER OPTIONS] -o OUTPUT\n"
    "       cvpack --main-jar JAR [APPLICATION OPTIONS] --print-config DIR\n"
    "       cvpack --list LAUNCHER\n"
    "       cvpack --check FILE...\n"
    "Builds a launcher file: the cvlaunch program with the given files embedded.\n"
    "\n"
    "Application options (one command for a Java application; cvpack writes the\n"
    "instruction program, the launch script and the JVM description file):\n"
    "  --main-jar JAR              the application's jar, embedded first on the class path\n"
    "  --class-path JAR            another jar for the class path (repeatable)\n"
    "  --main-class NAME           the main class (default: Main-Class of the\n"
    "                              main jar's manifest)\n"
    "  --java RANGE                the Java versions to accept: 17 (exactly 17),\n"
    "                              17+ (17 or newer), 11-21 (11 to 21); default: any\n"
    "  --java-option OPTION        one argument for java before the main class\n"
    "                              (repeatable)\n"
    "  --name TEXT                 the application's name, for messages (default:\n"
    "                              the main jar's name without .jar)\n"
    "  --title TEXT                a title that the launcher shows when it starts\n"
    "                              (default: none)\n"
    "  --search-disk               walk the whole file system when no usual place\n"
    "                              holds a suitable JVM\n"
    "  --no-class-data-archive     do not keep a class-data archive of the\n"
    "                              application in the user's cache\n"
    "  --no-manifest-class-path    embed only the jars given, not those that the\n"
    "                              Class-Path of their manifests names\n"
    "  --print-config DIR          write program.tag, launch.tag, java.jvm and the\n"
    "                              jars whose Class-Path is dropped (classpath/) into\n"
    "                              DIR instead, and print the command that packs them\n"
    "With --main-jar, --instructions, --launch-script and --jvm are refused, and\n"
    "--name names the application rather than a file.\n"
    "\n"
    "Files to embed, in index order (each option may be repeated):\n"
    "  --instructions FILE         the instruction program (tag file)\n"
    "  --jvm FILE                  a JVM description file (tag file)\n"
    "  --launch-script FILE        the launch script (tag file)\n"
    "  --classpath-archive FILE    an archive for the class path of the program\n"
    "  --jvm-installer FILE        a program that installs a bundled JVM\n"
    "  --verify-archive FILE       the verification archive (default: verify.jar\n"
    "                              beside cvpack, or in ../share/cvlaunch)\n"
    "  --app-archive FILE          the application archive\n"
    "  --embedded-launcher FILE    another launcher, started in place of this one\n"
    "  --file TYPE:PATH[:ID[:NAME]]\n"
    "                              any file; TYPE is 0 to 7 or one of the names\n"
    "                              above without \"--\" (PATH must not hold \":\")\n"
    "Modifiers of the file named just before them:\n"
    "  --id N                      file id (default: its position, from 0)\n"
    "  --name NAME                 entry name (default: the file's base name)\n"
    "  --compressed FILES:BYTES    an archive that expands to FILES files and\n"
    "                              BYTES bytes (used for the free-space check)\n"
    "Other options:\n"
    "  --no-verify-archive         embed no verification archive\n"
    "  --stub FILE                 the launcher program (default: cvlaunch beside cvpack)\n"
    "  --purpose N                 the purpose byte, 0 to 255 (default 1, an\n"
    "                              application launcher; 0 and 2 apply the\n"
    "                              SET_ENV_FOR_WIZARD values of JVM description files)\n"
    "  -o, --output FILE           the launcher file to write (made executable)\n"
    "  --list LAUNCHER             show the files that a launcher file carries\n"
    "  --check FILE...             check tag files as packing does, and pack nothing\n"
    "  -h, --help                  show this help\n"
    "\n"
    "Tag files are checked before anything is written: what the launcher would\n"
    "reject (unknown instructions, wrong arguments, missing labels, unknown %\n"
    "functions, malformed version ranges) is refused, what it would misread is\n"
    "warned about.\n"
    "Exit status: 0 done, 1 failed, 2 usage error.\n";

// The directory of the running cvpack; "." when it cannot be found.
SString programDirectory() {
    SString self = PlatformImpl::resolvePath("/proc/self/exe");
    return self.empty() ? SString(".") : parentDirectory(self);
}

bool isReadable(const SString& path) {
    return ScopedFile(fopen(path.c_str(), "rb")) != nullptr;
}

SString defaultStub() {
    SString stub = pathInDirectory(programDirectory(), "cvlaunch");
    if (!isReadable(stub)) {
        throw LauncherException(
            joinText("no launcher program: ", stub, " is missing; give one with --stub FILE"));
    }
    return stub;
}

// A launcher without the verification archive can verify no JVM, so a
// missing one is an error unless the packager says otherwise.
SString defaultVerifyArchive() {
    SString directory = programDirectory();
    SString archive = findInstalledVerifyArchive(directory);
    if (!archive.empty()) {
        return archive;
    }
    StringDeque places;
    installedVerifyArchivePlaces(directory, places);
    SString looked;
    for (long i = 0; i < places.count; ++i) {
        looked += joinText(i == 0 ? "" : " and ", places.at(i));
    }
    throw LauncherException(
        joinText("the verification archive verify.jar is missing (looked for ", looked,
                 "); give one with --verify-archive FILE, or --no-verify-archive"));
}

bool hasFileOfType(const std::vector<PayloadFile>& files, long type) {
    for (const PayloadFile& file : files) {
        if (file.type == type) {
            return true;
        }
    }
    return false;
}

// Packs options.files; `inputs` are other files that the packed ones come
// from, which the output must not replace either.
void pack(PackerOptions& options, std::vector<SString> inputs = {}) {
    SString stub = options.stub.empty() ? defaultStub() : options.stub;
    if (!options.noVerifyArchive && !hasFileOfType(options.files, FILE_VERIFY_ARCHIVE)) {
        PayloadFile verifyArchive;
        verifyArchive.type = FILE_VERIFY_ARCHIVE;
        verifyArchive.path = defaultVerifyArchive();
        options.files.push_back(verifyArchive);
    }
    inputs.push_back(stub);
    for (const PayloadFile& file : options.files) {
        inputs.push_back(file.path);
    }
    LauncherWriter::checkOutput(options.output, inputs);
    LauncherWriter::check(stub, options.files);
    LauncherWriter::write(stub, options.files, options.purpose, options.output);
}

// A new directory for the generated files while they are packed, removed
// with everything in it at the end.
class ScratchDirectory {
  public:
    ScratchDirectory() {
        const char* variable = getenv("TMPDIR");
        SString base(variable != nullptr && variable[0] != '\0' ? variable : "/tmp");
        m_path = pathInDirectory(base, "cvpackXXXXXX");
        if (mkdtemp(&m_path[0]) == nullptr) {
            int error = errno;
            throwSystemError(joinText("cannot create a temporary directory in ", base, ": "),
                             error);
        }
    }
    ~ScratchDirectory() { DeleteFullDir().process(m_path); }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const SString& path() const { return m_path; }

  private:
    SString m_path;
};

// Application mode: the generated files are written into the directory of
// --print-config, or packed with the jars before the other files given.
void packApplication(PackerOptions& options) {
    ApplicationConfig config(options.application);
    const SString& configDirectory = options.application.configDirectory;
    if (!configDirectory.empty()) {
        config.write(configDirectory);
        printf("%s\n", config.packCommand(configDirectory).c_str());
        return;
    }
    ScratchDirectory scratch;
    config.write(scratch.path());
    std::vector<PayloadFile> files = config.payload(scratch.path());
    files.insert(files.end(), options.files.begin(), options.files.end());
    options.files = files;
    pack(options, config.inputs());
}

}  // namespace

// cvpack --check FILE...: the checks of packing alone; 1 when a file would
// be refused.
int checkFiles(int argc, char** argv) {
    int status = 0;
    for (int i = 2; i < argc; ++i) {
        try {
            checkPayloadFile(argv[i], payloadTypeOf(argv[i]));
        } catch (const LauncherException& e) {
            fprintf(stderr, "cvpack: %s\n", e.message.c_str());
            status = 1;
        }
    }
    return status;
}

int main(int argc, char** argv) {
    if (argc > 1 && strcmp(argv[1], "--check") == 0) {
        return checkFiles(argc, argv);
    }
    PackerOptions options;
    try {
        options.parse(argc, argv);
    } catch (const UsageError& e) {
        fprintf(stderr, "cvpack: %s\nTry 'cvpack --help' for more information.\n",
                e.message.c_str());
        return 2;
    }
    if (options.help) {
        fputs(g_help, stdout);
        return 0;
    }
    try {
        if (!options.listFile.empty()) {
            PayloadLister::list(options.listFile, stdout);
        } else if (!options.application.mainJar.empty()) {
            packApplication(options);
        } else {
            pack(options);
        }
    } catch (const LauncherException& e) {
        fprintf(stderr, "cvpack: %s\n", e.message.c_str());
        return 1;
    }
    return 0;
}
