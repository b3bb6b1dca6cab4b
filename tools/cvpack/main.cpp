// cvpack: builds launcher files from the cvlaunch program and the files to
// embed, and lists what a launcher file carries. See PackerOptions.h for the
// command line. Exit status: 0 done, 1 failed, 2 usage error.
#include <cstdio>
#include <cstring>

#include "base/ScopedFile.h"
#include "base/TextUtils.h"
#include "base/Version.h"
#include "cvpack/ApplicationConfig.h"
#include "cvpack/LauncherWriter.h"
#include "cvpack/PackerOptions.h"
#include "cvpack/PayloadChecks.h"
#include "cvpack/PayloadLister.h"
#include "jvm/VerifyArchive.h"
#include "launcher/LauncherException.h"
#include "payload/FileIndexEntry.h"
#include "platform/PlatformImpl.h"

namespace {

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

// A new directory for the generated files while they are packed, in the
// temporary directory the launcher uses, removed with everything in it at
// the end.
class ScratchDirectory {
  public:
    ScratchDirectory() : m_path(PlatformImpl::createTempSubDirectory()) {}
    ~ScratchDirectory() {
        PlatformImpl::deleteFile(m_path);
        PlatformImpl::removeDirFromCleanupList(m_path);
    }
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
        fputs(PackerOptions::usage().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        printf("cvpack %s\n", kProgramVersion);
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
