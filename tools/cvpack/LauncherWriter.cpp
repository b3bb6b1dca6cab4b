#include "cvpack/LauncherWriter.h"

#include <cerrno>
#include <cstdio>
#include <string>

#include "base/ScopedFile.h"
#include "base/SystemError.h"
#include "base/TextUtils.h"
#include "cvpack/PayloadChecks.h"
#include "launcher/LauncherException.h"
#include "payload/FileIndexEntry.h"
#include "payload/LauncherInputFiles.h"
#include "payload/PayloadFormat.h"
#include "platform/PlatformImpl.h"
#include "platform/ReplacementFile.h"
#include "tagfile/TagFile.h"

namespace {

// The macro characters of launch scripts and JVM files, and the characters
// that a shell reads as code or patterns. Blanks are common in names, and the
// launcher and quoted shell words keep them.
const char kSpecialNameCharacters[] = "%@#\"'`$\\;&|<>*?()[]{}";

// A failed system call on `path`: `what`, the path, ": " and the reason.
[[noreturn]] void throwPathError(const char* what, const SString& path, int error) {
    throwSystemError(joinText(what, path, ": "), error);
}

LauncherException fileError(const SString& path, const SString& problem) {
    return LauncherException(joinText(path, ": ", problem));
}

void warn(const SString& text) {
    fprintf(stderr, "cvpack: warning: %s\n", text.c_str());
}

// Opens path for reading and reads its first byte, so that a directory or an
// unreadable file is reported here rather than halfway through writing.
void checkReadable(const SString& path) {
    ScopedFile file(fopen(path.c_str(), "rb"));
    if (file == nullptr) {
        int error = errno;
        throwPathError("cannot read ", path, error);
    }
    fgetc(file.get());
    if (ferror(file.get())) {
        int error = errno;
        throwPathError("cannot read ", path, error);
    }
}

void checkStub(const SString& stub) {
    checkReadable(stub);
    LauncherInputFiles payload;
    try {
        payload.load(stub, false);
    } catch (const LauncherException& e) {
        throw fileError(stub, joinText("the stub carries a damaged payload (", e.message,
                                       "); give the plain launcher program with --stub"));
    }
    if (payload.m_fileIndex.count > 0) {
        throw fileError(stub,
                        "the stub already carries a payload; give the plain launcher program "
                        "(cvlaunch) with --stub");
    }
}

void checkTagFile(const PayloadFile& file) {
    if (file.type > FILE_LAUNCH_SCRIPT) {
        return;
    }
    try {
        TagFile tagFile(file.path);
    } catch (const LauncherException& e) {
        throw e.withContext(joinText(file.path, ": not a valid ",
                                     PackerOptions::typeName(file.type), " tag file: "));
    }
    checkPayloadFile(file.path, file.type);
}

// The launcher writes an entry to its directory + "/" + name and refuses
// names that would leave that directory.
void checkName(const PayloadFile& file) {
    SString name = LauncherWriter::entryName(file);
    if (name.empty() || name.length() > kMaxNameLength) {
        throw fileError(file.path, "the entry name must be 1 to 32767 bytes long");
    }
    if (name.find('\n') != SString::npos) {
        throw fileError(file.path, "the entry name must not hold a line feed");
    }
    if (name[0] == '/' || joinText('/', name, '/').find("/../") != SString::npos) {
        throw fileError(file.path, "the entry name must be a relative path without \"..\"");
    }
    if (name.find('/') != SString::npos) {
        warn(joinText("the entry name ", name,
                      " holds \"/\": the launcher extracts it only where that directory exists"));
    }
    unsigned int special = name.find_first_of(kSpecialNameCharacters);
    if (special != SString::npos) {
        warn(joinText("the entry name ", name, " holds \"", name[special],
                      "\": the launcher takes its path as a plain name, but a script or shell "
                      "that is given the path may read it as a macro or as code"));
    }
}

void warnAboutIndex(const std::vector<PayloadFile>& files) {
    long instructions = 0;
    long launchScripts = 0;
    for (size_t i = 0; i < files.size(); i++) {
        instructions += files[i].type == FILE_INSTRUCTIONS ? 1 : 0;
        launchScripts += files[i].type == FILE_LAUNCH_SCRIPT ? 1 : 0;
        long id = LauncherWriter::entryId(files[i], static_cast<long>(i));
        for (size_t j = 0; j < i; j++) {
            if (LauncherWriter::entryId(files[j], static_cast<long>(j)) == id) {
                warn(joinText("file id ", convertToString(id),
                              " is used twice; the launcher finds only the first"));
            }
        }
    }
    if (instructions == 0) {
        warn("no instruction program: the launcher will do nothing and exit with 255");
    }
    if (instructions > 1) {
        warn("only the first instruction program is used by the launcher");
    }
    if (launchScripts > 1) {
        warn("only the first launch script is used by the launcher");
    }
}

// Appends the whole file at path to out; position counts the bytes of out.
// Returns the number of bytes copied.
long appendFile(FILE* out, const SString& path, long& position) {
    ScopedFile in(fopen(path.c_str(), "rb"));
    if (in == nullptr) {
        int error = errno;
        throwPathError("cannot read ", path, error);
    }
    // One byte more than fits tells a file that is too large.
    CopyResult result = copyBytes(in.get(), 0, out, kMaxLauncherSize - position + 1, CopySteps());
    if (result.readError != 0) {
        throwPathError("cannot read ", path, result.readError);
    }
    if (result.writeError != 0) {
        throwPathError("cannot write ", "the launcher file", result.writeError);
    }
    position += result.copied;
    if (position > kMaxLauncherSize) {
        throw LauncherException(
            "the launcher file would exceed 2 GiB - 1 bytes, "
            "the most that its file index can address");
    }
    return result.copied;
}

// The index entry of the file at position, whose bytes were written at offset.
void describe(FileIndexEntry& entry, const PayloadFile& file, long position, long offset,
              long length) {
    entry.m_fileType = file.type;
    entry.m_fileId = LauncherWriter::entryId(file, position);
    entry.m_length = length;
    entry.m_offset = offset;
    entry.m_fileName = LauncherWriter::entryName(file);
    entry.m_compressed = file.compressed;
    entry.m_decompressedFileCount = file.compressed ? file.expandedFiles : 0;
    entry.m_decompressedSize = file.compressed ? file.expandedSize : 0;
}

void writeLauncher(FILE* out, const SString& stub, const std::vector<PayloadFile>& files,
                   long purpose) {
    long position = 0;
    appendFile(out, stub, position);
    std::vector<FileIndexEntry> entries(files.size());
    std::vector<const FileIndexEntry*> index;
    for (size_t i = 0; i < files.size(); i++) {
        long offset = position;
        long length = appendFile(out, files[i].path, position);
        describe(entries[i], files[i], static_cast<long>(i), offset, length);
        index.push_back(&entries[i]);
    }
    std::string tail;
    PayloadFormat::appendIndex(tail, index, purpose, position);
    fwrite(tail.data(), 1, tail.size(), out);
}

}  // namespace

SString LauncherWriter::entryName(const PayloadFile& file) {
    if (!file.name.empty()) {
        return file.name;
    }
    return lastPathComponent(file.path);
}

long LauncherWriter::entryId(const PayloadFile& file, long position) {
    return file.hasId ? file.id : position;
}

void LauncherWriter::check(const SString& stub, const std::vector<PayloadFile>& files) {
    checkStub(stub);
    for (const PayloadFile& file : files) {
        checkReadable(file.path);
        checkTagFile(file);
        checkName(file);
    }
    warnAboutIndex(files);
}

void LauncherWriter::checkOutput(const SString& output, const std::vector<SString>& inputs) {
    SString kind = PlatformImpl::specialFileKind(output);
    if (!kind.empty()) {
        throw LauncherException(joinText(output, " is ", kind,
                                         ", not a regular file: cvpack replaces only regular "
                                         "files"));
    }
    for (const SString& input : inputs) {
        if (PlatformImpl::isSameFile(input, output)) {
            throw LauncherException(joinText("-o ", output, " would replace ", input,
                                             ", a file that it packs; write the launcher file "
                                             "elsewhere"));
        }
    }
}

void LauncherWriter::write(const SString& stub, const std::vector<PayloadFile>& files, long purpose,
                           const SString& output) {
    ReplacementFile out;
    int error = out.open(parentDirectory(output), lastPathComponent(output));
    if (error != 0) {
        throwPathError("cannot create ", output, error);
    }
    writeLauncher(out.stream(), stub, files, purpose);
    if (ferror(out.stream())) {
        throwPathError("cannot write ", output, errno);
    }
    error = out.commit(true);
    if (error != 0) {
        throwPathError("cannot write ", output, error);
    }
}
