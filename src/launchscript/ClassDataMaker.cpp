#include "launchscript/ClassDataMaker.h"

#include <cstdio>
#include <cstring>

#include "base/ScopedFile.h"
#include "base/TextUtils.h"
#include "launcher/Launcher.h"
#include "launcher/LauncherException.h"
#include "launchscript/ArchiveOptions.h"
#include "platform/CacheStore.h"
#include "platform/PlatformImpl.h"

namespace {

const char* const kJobMark = "cvlaunch class-data job 1";
// A static dump of a large application takes some seconds; one that takes
// this long is stuck.
const long kJVMTimeLimitMs = 10 * 60 * 1000;

SString fileOf(const SString& entry, const char* kind) {
    return joinText(entry, kind);
}

// The store's names are checksums, so an entry named by a caller cannot lead
// out of the store.
bool isEntryName(const SString& entry) {
    return !entry.empty() && entry.find_first_not_of("0123456789abcdef-") == SString::npos;
}

SString readFile(const SString& path) {
    SString text;
    readWholeFile(path, text);
    return text;
}

// Writes `text` as the store file `fileName`, in place only once complete.
bool writeStoreFile(const CacheStore& store, const SString& fileName, const SString& text) {
    SString runFile = store.createRunFile(fileName);
    ScopedFile file(runFile.empty() ? nullptr : fopen(runFile.c_str(), "wb"));
    bool written = file && fwrite(text.c_str(), 1, text.length(), file.get()) == text.length();
    written = file && closeWrittenFile(file) == 0 && written;
    written = written && store.commit(runFile, fileName) == 0;
    if (!written && !runFile.empty()) {
        PlatformImpl::deleteFile(runFile);
    }
    return written;
}

// The last line of `text` that is not blank, for a reason.
SString lastLine(const SString& text) {
    SString trimmed = text;
    trim(trimmed, whitespaceChars);
    unsigned int newline = trimmed.rfind('\n');
    return newline == SString::npos ? trimmed : trimmed.substr(newline + 1);
}

}  // namespace

bool ClassDataMaker::writeJob(const CacheStore& store, const SString& entry, const Job& job) {
    // Fields end with a zero byte, so that any path or option fits.
    SString text = joinText(kJobMark, '\0', job.java, '\0', job.classpath, '\0');
    for (const SString& option : job.options) {
        text += option;
        text += '\0';
    }
    return writeStoreFile(store, fileOf(entry, ".job"), text);
}

bool ClassDataMaker::readJob(const CacheStore& store, const SString& entry, Job& job) {
    SString text = readFile(store.path(fileOf(entry, ".job")));
    std::vector<SString> fields;
    for (unsigned int start = 0; start < text.length();) {
        unsigned int end = text.find('\0', start);
        if (end == SString::npos) {
            return false;
        }
        fields.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    if (fields.size() < 3 || fields[0].compare(kJobMark) != 0) {
        return false;
    }
    job.java = fields[1];
    job.classpath = fields[2];
    job.options.assign(fields.begin() + 3, fields.end());
    return true;
}

bool ClassDataMaker::hasValidArchive(const CacheStore& store, const SString& entry) {
    SString identity = PlatformImpl::fileIdentity(store.path(fileOf(entry, ".jsa")));
    if (identity.empty() || store.fileSize(fileOf(entry, ".ok")) <= 0) {
        return false;
    }
    return readFile(store.path(fileOf(entry, ".ok"))).compare(identity) == 0;
}

int ClassDataMaker::make(const SString& entry, bool wait) {
    CacheStore store("cds");
    if (!store.usable() || !isEntryName(entry)) {
        Launcher::logInfo("No class-data archive is made for ", entry, ": ",
                          store.usable() ? SString("that is no entry") : store.failure());
        return 1;
    }
    FileLock lock;
    if (!store.lock(entry, wait, lock)) {
        Launcher::logInfo("Another maker is at work on the class-data archive ", entry);
        return 1;
    }
    if (hasValidArchive(store, entry)) {
        return 0;
    }
    Job job;
    SString failure =
        readJob(store, entry, job) ? build(store, entry, job) : SString("its job cannot be read");
    store.removeFile(fileOf(entry, ".classlist"));
    store.removeFile(fileOf(entry, ".job"));
    if (!failure.empty()) {
        store.reject(entry, failure);
        Launcher::logMessage(
            joinText("No class-data archive for ", entry, " for a week: ", failure), LOG_WARNING);
        return 1;
    }
    Launcher::logInfo("Made the class-data archive ", store.path(fileOf(entry, ".jsa")));
    return 0;
}

SString ClassDataMaker::build(const CacheStore& store, const SString& entry, const Job& job) {
    SString runFile = store.createRunFile(fileOf(entry, ".jsa"));
    if (runFile.empty()) {
        return "its file cannot be made";
    }
    std::vector<SString> dump = {
        job.java, "-Xshare:dump",
        joinText("-XX:SharedClassListFile=", store.path(fileOf(entry, ".classlist"))),
        joinText("-XX:SharedArchiveFile=", runFile)};
    std::vector<SString> validate = {job.java, "-Xshare:on", "-XX:+VerifySharedSpaces",
                                     joinText("-XX:SharedArchiveFile=", runFile)};
    for (std::vector<SString>* command : {&dump, &validate}) {
        command->insert(command->end(), job.options.begin(), job.options.end());
        command->push_back("-cp");
        command->push_back(job.classpath);
    }
    validate.push_back("-version");
    SString failure = runJVM(dump, false);
    if (failure.empty()) {
        // Warnings about an archive go to standard output.
        failure = runJVM(validate, true);
        failure = failure.empty() ? failure : joinText("it did not validate: ", failure);
    }
    if (failure.empty() && store.commit(runFile, fileOf(entry, ".jsa")) != 0) {
        failure = "it cannot be put in place";
    }
    SString identity = PlatformImpl::fileIdentity(store.path(fileOf(entry, ".jsa")));
    if (failure.empty() && !writeStoreFile(store, fileOf(entry, ".ok"), identity)) {
        failure = "its identity cannot be recorded";
    }
    PlatformImpl::deleteFile(runFile);
    return failure;
}

SString ClassDataMaker::runJVM(const std::vector<SString>& arguments, bool silent) {
    StringDeque command;
    for (const SString& argument : arguments) {
        command.push_back(argument);
    }
    ProcessOptions options;
    options.timeLimitMs = kJVMTimeLimitMs;
    options.nullInput = true;
    options.killGroupAtEnd = true;
    options.captureLimit = 64 << 10;
    SString output;
    SString errors;
    int status;
    std::vector<SString> saved;
    for (const char* variable : ArchiveOptions::kOptionVariables) {
        saved.push_back(PlatformImpl::getEnvironmentVariable(variable));
        PlatformImpl::setEnvironmentVariable(variable, SString());
    }
    try {
        status = PlatformImpl::runCaptured(command, SString(), &output, &errors, options);
    } catch (const LauncherException& e) {
        status = 1;
        errors = e.message;
    }
    for (size_t i = 0; i < saved.size(); ++i) {
        PlatformImpl::setEnvironmentVariable(ArchiveOptions::kOptionVariables[i], saved[i]);
    }
    Launcher::logInfo("Ran ", arguments[0], " ", arguments[1], ": status ", convertToString(status),
                      "\n", output, errors);
    if (status == kProcessTimedOut) {
        return "the JVM did not end in time";
    }
    if (status != 0) {
        return joinText("the JVM ended with status ", convertToString(status), ": ",
                        lastLine(joinText(output, '\n', errors)));
    }
    return !silent || output.empty() ? SString() : joinText("the JVM said: ", lastLine(output));
}
