// cvpack: builds launcher files from the cvlaunch program and the files to
// embed, and lists what a launcher file carries. See PackerOptions.h for the
// command line. Exit status: 0 done, 1 failed, 2 usage error.
#include <cstdio>
#include <cstring>
#include <memory>

#include "base/ScopedFile.h"
#include "base/TextUtils.h"
#include "base/Version.h"
#include "cvpack/ApplicationConfig.h"
#include "cvpack/LauncherWriter.h"
#include "cvpack/PackerOptions.h"
#include "cvpack/PayloadChecks.h"
#include "cvpack/PayloadLister.h"
#include "cvpack/RuntimeLinker.h"
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

// A program built with cvpack: beside it, where the build puts it, or in
// `installedIn` (relative to cvpack's directory, "" for none), where a
// package puts it.
SString programOfCvpack(const char* name, const char* installedIn, const char* what,
                        const char* otherwise) {
    SString directory = programDirectory();
    std::vector<SString> places = {pathInDirectory(directory, name)};
    if (*installedIn != '\0') {
        places.push_back(pathInDirectory(pathInDirectory(directory, installedIn), name));
    }
    SString looked;
    for (const SString& place : places) {
        if (isReadable(place)) {
            return place;
        }
        looked += joinText(looked.empty() ? "" : " and ", place);
    }
    throw LauncherException(joinText("no ", what, ": ", looked,
                                     places.size() > 1 ? " are missing; " : " is missing; ",
                                     otherwise));
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
    SString stub = options.stub.empty() ? programOfCvpack("cvlaunch", "", "launcher program",
                                                          "give one with --stub FILE")
                                        : options.stub;
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

// The runtime installer of the linked `image`, written as `output`: the JVM
// installer to embed, with the figures of the launcher's free-space check.
PayloadFile runtimeInstaller(const SString& installer, const SString& image,
                             const ApplicationOptions& options, const SString& application,
                             const SString& output) {
    int level =
        options.runtimeCompression != 0 ? options.runtimeCompression : RuntimeImage::kMaxLevel;
    RuntimeImageInfo info = RuntimeLinker::pack(installer, image, application, output, level);
    PayloadFile file;
    file.type = FILE_JVM_INSTALLER;
    file.path = output;
    file.compressed = true;
    file.expandedFiles = info.files;
    file.expandedSize = static_cast<long>(info.bytes);
    return file;
}

// Application mode: the generated files, and the runtime installer that
// --runtime makes, are written into the directory of --print-config, or
// packed with the jars before the other files given. jdeps and jlink run
// before anything is written, so that their failures leave nothing behind.
void packApplication(PackerOptions& options) {
    const ApplicationOptions& application = options.application;
    std::unique_ptr<RuntimeLinker> runtime;
    if (!application.runtimeHome.empty()) {
        runtime.reset(new RuntimeLinker(application.runtimeHome));
    }
    ApplicationConfig config(application, runtime ? runtime->javaVersion() : SString());
    ScratchDirectory scratch;
    SString installer;
    SString image = pathInDirectory(scratch.path(), "image");
    if (runtime) {
        installer = programOfCvpack("cvinstall", "../lib/cvlaunch", "runtime installer program",
                                    "cvpack --runtime needs the cvinstall built with it");
        runtime->link(runtime->modules(config.inputs(), application.runtimeModules), image);
    }
    const SString& configDirectory = application.configDirectory;
    SString directory = configDirectory.empty() ? scratch.path() : configDirectory;
    config.write(directory);
    if (runtime) {
        options.files.insert(options.files.begin(),
                             runtimeInstaller(installer, image, application, config.name(),
                                              pathInDirectory(directory, "runtime")));
    }
    if (!configDirectory.empty()) {
        printf("%s\n", config.packCommand(configDirectory, options).c_str());
        return;
    }
    std::vector<PayloadFile> files = config.payload(directory);
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
    // The launcher's progress marks, which it shows while a child runs, are
    // no part of cvpack's output (jdeps and jlink run as children).
    PlatformImpl::setSilent(true);
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
