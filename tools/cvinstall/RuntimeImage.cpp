#include "cvinstall/RuntimeImage.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <memory>
#include <string>

#include "base/ScopedFile.h"
#include "base/SystemError.h"
#include "base/TextUtils.h"
#include "cvinstall/EntryRules.h"
#include "cvinstall/ZstdSink.h"
#include "launcher/LauncherException.h"
#include "payload/RuntimeTrailer.h"
#include "platform/PlatformImpl.h"

namespace {

struct ReaderFreer {
    void operator()(archive* reader) const { archive_read_free(reader); }
};
struct WriterFreer {
    void operator()(archive* writer) const { archive_write_free(writer); }
};
struct EntryFreer {
    void operator()(archive_entry* entry) const { archive_entry_free(entry); }
};
using ArchiveReader = std::unique_ptr<archive, ReaderFreer>;
using ArchiveWriter = std::unique_ptr<archive, WriterFreer>;
using ArchiveEntry = std::unique_ptr<archive_entry, EntryFreer>;

const size_t kChunkSize = 1 << 16;
// The largest description file and "release" file that are read into memory.
const long long kSmallFileLimit = 1 << 20;
const char kReleaseFile[] = "release";

SString archiveError(archive* handle) {
    const char* text = archive_error_string(handle);
    return text != nullptr ? SString(text) : SString("unknown error");
}

// ---- Where the image lies ---------------------------------------------------

struct ImageRange {
    SString file;
    uint64_t start = 0;  // absolute position of the image in the file
    uint64_t size = 0;
    RuntimeTrailer trailer;
};

ScopedFile openForReading(const SString& file) {
    ScopedFile stream(fopen(file.c_str(), "rb"));
    if (stream == nullptr) {
        throwSystemError(joinText("cannot read ", file, ": "), errno);
    }
    return stream;
}

void seekTo(FILE* stream, const SString& file, uint64_t position) {
    if (fseek(stream, static_cast<long>(position), SEEK_SET) != 0) {
        throwSystemError(joinText("cannot read ", file, ": "), errno);
    }
}

// The runtime installer that is `length` bytes at `offset` in `file`.
ImageRange locateImage(const SString& file, uint64_t offset, uint64_t length) {
    ImageRange range;
    range.file = file;
    unsigned char bytes[RuntimeTrailer::kSize];
    ScopedFile stream = openForReading(file);
    bool read = length >= RuntimeTrailer::kSize;
    if (read) {
        seekTo(stream.get(), file, offset + length - RuntimeTrailer::kSize);
        read = fread(bytes, 1, sizeof bytes, stream.get()) == sizeof bytes;
    }
    if (!read || !range.trailer.parse(bytes, length)) {
        throw LauncherException(
            joinText(file, " carries no runtime image: it does not end with a runtime trailer"));
    }
    range.start = offset + range.trailer.imageOffset;
    range.size = length - RuntimeTrailer::kSize - range.trailer.imageOffset;
    return range;
}

uint64_t fileSize(const SString& file) {
    ScopedFile stream = openForReading(file);
    long size = -1;
    if (fseek(stream.get(), 0, SEEK_END) != 0 || (size = ftell(stream.get())) < 0) {
        throwSystemError(joinText("cannot read ", file, ": "), errno);
    }
    return static_cast<uint64_t>(size);
}

// The image's bytes one chunk at a time, for the checksum and for the archive
// reader, which calls `supply` from C code and so learns of a failure only by
// its result.
class ImageStream {
  public:
    explicit ImageStream(const ImageRange& range)
        : m_stream(openForReading(range.file)), m_left(range.size), m_buffer(kChunkSize) {
        seekTo(m_stream.get(), range.file, range.start);
    }

    // The next chunk: its size, 0 at the end, -1 when the file cannot be read.
    long next(const char** chunk) {
        size_t want = static_cast<size_t>(std::min<uint64_t>(m_left, m_buffer.size()));
        size_t got = fread(m_buffer.data(), 1, want, m_stream.get());
        m_left -= got;
        *chunk = m_buffer.data();
        return got == want ? static_cast<long>(got) : -1;
    }

    static la_ssize_t supply(archive* reader, void* self, const void** chunk) {
        long size = static_cast<ImageStream*>(self)->next(reinterpret_cast<const char**>(chunk));
        if (size < 0) {
            archive_set_error(reader, EIO, "the runtime image ends early");
        }
        return size;
    }

  private:
    ScopedFile m_stream;
    uint64_t m_left;
    std::vector<char> m_buffer;
};

void verifyChecksum(const ImageRange& range) {
    ImageStream stream(range);
    uint64_t checksum = kHashStart;
    const char* chunk = nullptr;
    long size = 0;
    while ((size = stream.next(&chunk)) > 0) {
        checksum = hashBytes(checksum, chunk, static_cast<size_t>(size));
    }
    if (size < 0 || checksum != range.trailer.checksum) {
        throw LauncherException(joinText("the runtime image is damaged: its checksum is ",
                                         hashText(checksum), ", the trailer names ",
                                         range.trailer.key()));
    }
}

ArchiveReader openImage(ImageStream& stream) {
    ArchiveReader reader(archive_read_new());
    archive_read_support_filter_zstd(reader.get());
    archive_read_support_format_tar(reader.get());
    if (archive_read_open(reader.get(), &stream, nullptr, ImageStream::supply, nullptr) !=
        ARCHIVE_OK) {
        throw LauncherException(
            joinText("cannot read the runtime image: ", archiveError(reader.get())));
    }
    return reader;
}

// The next entry, or null at the end of the archive.
archive_entry* nextEntry(archive* reader) {
    archive_entry* entry = nullptr;
    int result = archive_read_next_header(reader, &entry);
    if (result == ARCHIVE_EOF) {
        return nullptr;
    }
    if (result < ARCHIVE_WARN) {
        throw LauncherException(joinText("cannot read the runtime image: ", archiveError(reader)));
    }
    return entry;
}

// The data of a small entry (a description or release file).
SString readSmallEntry(archive* reader, archive_entry* entry, const SString& name) {
    if (archive_entry_size(entry) > kSmallFileLimit) {
        throw LauncherException(
            joinText("the entry \"", name, "\" is refused: it is larger than 1 MiB"));
    }
    SString data(static_cast<unsigned int>(archive_entry_size(entry)), '\0');
    la_ssize_t got = archive_read_data(reader, &data[0], data.length());
    if (got != static_cast<la_ssize_t>(data.length())) {
        throw LauncherException(joinText("cannot read ", name, " in the runtime image: ",
                                         got < 0 ? archiveError(reader) : SString("too short")));
    }
    return data;
}

// JAVA_VERSION and MODULES of a "release" file.
void readRelease(const SString& text, RuntimeImageInfo& info) {
    info.javaVersion = RuntimeImage::releaseValue(text, "JAVA_VERSION");
    SString modules = RuntimeImage::releaseValue(text, "MODULES");
    unsigned int position = 0;
    bool end = false;
    for (SString module = getTokenFromString(modules, position, end); !end;
         module = getTokenFromString(modules, position, end)) {
        info.modules.push_back(module);
    }
}

void countEntry(archive_entry* entry, RuntimeImageInfo& info) {
    ++info.files;
    info.bytes += archive_entry_size(entry);
}

// ---- Writing ------------------------------------------------------------------

// Writes the archive of a runtime home into a ZstdSink, every entry checked
// by the rules of the installer first.
class ImageWriter {
  public:
    explicit ImageWriter(ZstdSink& sink)
        : m_writer(archive_write_new()), m_disk(archive_read_disk_new()) {
        // Restricted pax: plain ustar headers, with pax extensions only for
        // what ustar cannot hold (long names and link targets).
        archive_write_set_format_pax_restricted(m_writer.get());
        archive_write_set_bytes_in_last_block(m_writer.get(), 1);
        archive_read_disk_set_symlink_physical(m_disk.get());
        archive_read_disk_set_behavior(m_disk.get(),
                                       ARCHIVE_READDISK_NO_XATTR | ARCHIVE_READDISK_NO_ACL |
                                           ARCHIVE_READDISK_NO_FFLAGS | ARCHIVE_READDISK_NO_SPARSE);
        if (archive_write_open(m_writer.get(), &sink, nullptr, put, nullptr) != ARCHIVE_OK) {
            fail("cannot start the runtime image: ");
        }
    }

    void addFile(const SString& name, const SString& content, time_t mtime) {
        ArchiveEntry entry(archive_entry_new());
        archive_entry_copy_pathname(entry.get(), name.c_str());
        archive_entry_set_filetype(entry.get(), AE_IFREG);
        archive_entry_set_perm(entry.get(), 0644);
        archive_entry_set_mtime(entry.get(), mtime, 0);
        archive_entry_set_size(entry.get(), content.length());
        addHeader(entry.get());
        addData(content.data(), content.length());
    }

    // Every file, directory and link below `directory`, as `prefix`/name,
    // in the order of their names.
    void addTree(const SString& directory, const SString& prefix) {
        for (const std::string& name : sortedNames(directory)) {
            SString source = pathInDirectory(directory, name.c_str());
            ArchiveEntry entry = entryOf(source, pathInDirectory(prefix, name.c_str()));
            addHeader(entry.get());
            if (archive_entry_filetype(entry.get()) == AE_IFREG) {
                addContent(source, archive_entry_size(entry.get()));
            } else if (archive_entry_filetype(entry.get()) == AE_IFDIR) {
                addTree(source, archive_entry_pathname(entry.get()));
            }
        }
    }

    time_t mtimeOf(const SString& path) { return archive_entry_mtime(entryOf(path, "").get()); }

    void close() {
        if (archive_write_close(m_writer.get()) != ARCHIVE_OK) {
            fail("cannot write the runtime image: ");
        }
    }

    const RuntimeImageInfo& info() const { return m_info; }

  private:
    static la_ssize_t put(archive* writer, void* sink, const void* bytes, size_t size) {
        ZstdSink* target = static_cast<ZstdSink*>(sink);
        if (!target->write(bytes, size)) {
            archive_set_error(writer, EIO, "%s", target->error().c_str());
            return -1;
        }
        return static_cast<la_ssize_t>(size);
    }

    [[noreturn]] void fail(const char* what) {
        throw LauncherException(joinText(what, archiveError(m_writer.get())));
    }

    static std::vector<std::string> sortedNames(const SString& directory) {
        std::error_code error;
        std::vector<std::string> names;
        for (std::filesystem::directory_iterator it(directory.c_str(), error), end;
             !error && it != end; it.increment(error)) {
            names.push_back(it->path().filename().string());
        }
        if (error) {
            throwSystemError(joinText("cannot read the directory ", directory, ": "),
                             error.value());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    // The entry `name` for the file `source`: its kind, permissions,
    // modification time, size and link target, and nothing that differs from
    // one machine, user or reading to another (owner, access time, inode).
    ArchiveEntry entryOf(const SString& source, const SString& name) {
        ArchiveEntry found(archive_entry_new());
        archive_entry_copy_sourcepath(found.get(), source.c_str());
        if (archive_read_disk_entry_from_file(m_disk.get(), found.get(), -1, nullptr) !=
            ARCHIVE_OK) {
            throw LauncherException(
                joinText("cannot read ", source, ": ", archiveError(m_disk.get())));
        }
        ArchiveEntry entry(archive_entry_new());
        archive_entry_copy_pathname(entry.get(), name.c_str());
        archive_entry_set_filetype(entry.get(), archive_entry_filetype(found.get()));
        archive_entry_set_perm(entry.get(), archive_entry_perm(found.get()));
        archive_entry_set_mtime(entry.get(), archive_entry_mtime(found.get()), 0);
        if (archive_entry_filetype(found.get()) == AE_IFREG) {
            archive_entry_set_size(entry.get(), archive_entry_size(found.get()));
        }
        archive_entry_copy_symlink(entry.get(), archive_entry_symlink(found.get()));
        return entry;
    }

    void addHeader(archive_entry* entry) {
        m_rules.admit(entry);
        if (archive_write_header(m_writer.get(), entry) != ARCHIVE_OK) {
            fail("cannot write the runtime image: ");
        }
        countEntry(entry, m_info);
    }

    void addData(const char* bytes, size_t size) {
        if (archive_write_data(m_writer.get(), bytes, size) != static_cast<la_ssize_t>(size)) {
            fail("cannot write the runtime image: ");
        }
    }

    void addContent(const SString& source, long long size) {
        ScopedFile stream = openForReading(source);
        std::vector<char> buffer(kChunkSize);
        long long total = 0;
        size_t got = 0;
        while ((got = fread(buffer.data(), 1, buffer.size(), stream.get())) > 0) {
            total += static_cast<long long>(got);
            if (total > size) {
                break;
            }
            addData(buffer.data(), got);
        }
        if (ferror(stream.get())) {
            throwSystemError(joinText("cannot read ", source, ": "), errno);
        }
        if (total != size) {
            throw LauncherException(joinText(source, " changed while it was packed"));
        }
    }

    ArchiveWriter m_writer;
    ArchiveReader m_disk;
    EntryRules m_rules;
    RuntimeImageInfo m_info;
};

void writeImage(const SString& home, const std::vector<std::pair<SString, SString>>& extraFiles,
                ZstdSink& sink, RuntimeImageInfo& info) {
    ImageWriter writer(sink);
    time_t homeTime = writer.mtimeOf(home);
    for (const auto& file : extraFiles) {
        if (PlatformImpl::fileExists(pathInDirectory(home, file.first))) {
            throw LauncherException(joinText("the runtime home ", home, " already holds ",
                                             file.first, ", which the image adds"));
        }
        writer.addFile(file.first, file.second, homeTime);
    }
    writer.addTree(home, "");
    writer.close();
    if (!sink.finish()) {
        throw LauncherException(sink.error());
    }
    info = writer.info();
}

void copyInstaller(const SString& installer, FILE* output, const SString& outputName) {
    ScopedFile program = openForReading(installer);
    CopyResult result = copyBytes(program.get(), 0, output, kCopyToEnd, CopySteps());
    if (result.readError != 0) {
        throwSystemError(joinText("cannot read ", installer, ": "), result.readError);
    }
    if (result.writeError != 0) {
        throwSystemError(joinText("cannot write ", outputName, ": "), result.writeError);
    }
}

RuntimeImageInfo writeInstaller(const SString& installer, const SString& home,
                                const std::vector<std::pair<SString, SString>>& extraFiles,
                                const SString& output, int level) {
    ScopedFile stream(fopen(output.c_str(), "wb"));
    if (stream == nullptr) {
        throwSystemError(joinText("cannot create ", output, ": "), errno);
    }
    copyInstaller(installer, stream.get(), output);
    long imageOffset = ftell(stream.get());
    if (imageOffset < 0) {
        throwSystemError(joinText("cannot write ", output, ": "), errno);
    }
    ZstdSink sink(stream.get(), level);
    RuntimeImageInfo info;
    writeImage(home, extraFiles, sink, info);
    RuntimeTrailer trailer;
    trailer.imageOffset = static_cast<uint64_t>(imageOffset);
    trailer.checksum = sink.checksum();
    unsigned char bytes[RuntimeTrailer::kSize];
    trailer.format(bytes);
    int error = fwrite(bytes, 1, sizeof bytes, stream.get()) == sizeof bytes ? 0 : errno;
    if (error != 0 || (error = closeWrittenFile(stream)) != 0) {
        throwSystemError(joinText("cannot write ", output, ": "), error);
    }
    SString release;
    readWholeFile(pathInDirectory(home, kReleaseFile), release);
    readRelease(release, info);
    info.packedBytes = static_cast<long long>(sink.size());
    info.key = trailer.key();
    return info;
}

// ---- Unpacking ----------------------------------------------------------------

const int kSecureFlags = ARCHIVE_EXTRACT_SECURE_SYMLINKS | ARCHIVE_EXTRACT_SECURE_NODOTDOT;

// A writer to disk that restores permissions, times and links, and no owner,
// access control lists, extended attributes or file flags.
ArchiveWriter diskWriter(const SString& directory, int flags) {
    ArchiveWriter disk(archive_write_disk_new());
    flags |= ARCHIVE_EXTRACT_PERM | ARCHIVE_EXTRACT_TIME | kSecureFlags;
    // The names are checked to be relative before they are put into the
    // destination; the library's own check of the joined name holds only for
    // a relative destination.
    if (directory.empty() || directory[0] != '/') {
        flags |= ARCHIVE_EXTRACT_SECURE_NOABSOLUTEPATHS;
    }
    archive_write_disk_set_options(disk.get(), flags);
    return disk;
}

void failEntry(archive* handle, const SString& name) {
    throw LauncherException(joinText("cannot unpack ", name, ": ", archiveError(handle)));
}

void copyEntryData(archive* reader, archive* disk, const SString& name) {
    const void* block = nullptr;
    size_t size = 0;
    la_int64_t offset = 0;
    int result = ARCHIVE_OK;
    while ((result = archive_read_data_block(reader, &block, &size, &offset)) == ARCHIVE_OK) {
        if (archive_write_data_block(disk, block, size, offset) < ARCHIVE_OK) {
            failEntry(disk, name);
        }
    }
    if (result != ARCHIVE_EOF) {
        failEntry(reader, name);
    }
}

void writeEntry(archive* reader, archive* disk, archive_entry* entry, const SString& path,
                const SString& name) {
    archive_entry_copy_pathname(entry, path.c_str());
    if (archive_write_header(disk, entry) < ARCHIVE_WARN) {
        failEntry(disk, name);
    }
    if (archive_entry_size(entry) > 0) {
        copyEntryData(reader, disk, name);
    }
    if (archive_write_finish_entry(disk) < ARCHIVE_WARN) {
        failEntry(disk, name);
    }
}

// The description file, under a temporary name renamed into place by the
// library, so that "jvm" appears whole or not at all.
void writeDescriptionFile(archive_entry* entry, const SString& content, const SString& directory) {
    ArchiveWriter disk = diskWriter(directory, ARCHIVE_EXTRACT_SAFE_WRITES);
    archive_entry_copy_pathname(entry,
                                pathInDirectory(directory, EntryRules::kDescriptionFile).c_str());
    if (archive_write_header(disk.get(), entry) < ARCHIVE_WARN ||
        archive_write_data(disk.get(), content.data(), content.length()) !=
            static_cast<la_ssize_t>(content.length()) ||
        archive_write_close(disk.get()) < ARCHIVE_WARN) {
        failEntry(disk.get(), EntryRules::kDescriptionFile);
    }
}

}  // namespace

SString RuntimeImage::releaseValue(const SString& release, const char* key) {
    SString prefix = joinText(key, '=');
    unsigned int index = 0;
    while (index < release.length()) {
        SString line;
        readLineFromString(release, index, line);
        if (line.compare(0, prefix.length(), prefix.c_str()) == 0) {
            SString value = line.substr(prefix.length());
            trim(value, "\"");
            return value;
        }
    }
    return SString();
}

RuntimeImageInfo RuntimeImage::write(const SString& installer, const SString& home,
                                     const std::vector<std::pair<SString, SString>>& extraFiles,
                                     const SString& output, int level) {
    try {
        RuntimeImageInfo info = writeInstaller(installer, home, extraFiles, output, level);
        PlatformImpl::setFileExecutable(output);
        return info;
    } catch (const LauncherException& e) {
        PlatformImpl::deleteFile(output);
        throw e.withContext(joinText("cannot pack the runtime home ", home, ": "));
    }
}

RuntimeImageInfo RuntimeImage::describe(const SString& file, uint64_t offset, uint64_t length) {
    ImageRange range = locateImage(file, offset, length);
    ImageStream stream(range);
    ArchiveReader reader = openImage(stream);
    RuntimeImageInfo info;
    while (archive_entry* entry = nextEntry(reader.get())) {
        countEntry(entry, info);
        if (SString(archive_entry_pathname(entry)).compare(kReleaseFile) == 0) {
            readRelease(readSmallEntry(reader.get(), entry, kReleaseFile), info);
        }
    }
    info.packedBytes = static_cast<long long>(range.size);
    info.key = range.trailer.key();
    return info;
}

void RuntimeImage::unpack(const SString& file, const SString& directory) {
    ImageRange range = locateImage(file, 0, fileSize(file));
    verifyChecksum(range);
    ImageStream stream(range);
    ArchiveReader reader = openImage(stream);
    ArchiveWriter disk = diskWriter(directory, 0);
    EntryRules rules;
    ArchiveEntry description;
    SString descriptionContent;
    while (archive_entry* entry = nextEntry(reader.get())) {
        SString name = rules.admit(entry);
        if (name.compare(EntryRules::kDescriptionFile) == 0) {
            descriptionContent = readSmallEntry(reader.get(), entry, name);
            description.reset(archive_entry_clone(entry));
        } else {
            writeEntry(reader.get(), disk.get(), entry, pathInDirectory(directory, name), name);
        }
    }
    // Directories get their permissions and times only now.
    if (archive_write_close(disk.get()) < ARCHIVE_WARN) {
        failEntry(disk.get(), directory);
    }
    if (description != nullptr) {
        writeDescriptionFile(description.get(), descriptionContent, directory);
    }
}
