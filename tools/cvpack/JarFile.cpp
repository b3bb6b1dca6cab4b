#include "cvpack/JarFile.h"

#include <strings.h>

#include <filesystem>
#include <memory>

#include "base/TextUtils.h"
#include "launcher/LauncherException.h"

namespace {

const char kManifestName[] = "META-INF/MANIFEST.MF";
const char kVersionsDirectory[] = "META-INF/versions/";

struct EntryCloser {
    void operator()(zip_file_t* entry) const { zip_fclose(entry); }
};
using Entry = std::unique_ptr<zip_file_t, EntryCloser>;

SString zipErrorText(int code) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    SString text(zip_error_strerror(&error));
    zip_error_fini(&error);
    return text;
}

// Whether `name` is META-INF/versions/N/ followed by `path`.
bool isVersionedEntry(const std::string& name, const std::string& path) {
    size_t prefix = sizeof kVersionsDirectory - 1;
    if (name.compare(0, prefix, kVersionsDirectory) != 0) {
        return false;
    }
    size_t slash = name.find_first_not_of("0123456789", prefix);
    return slash > prefix && slash != std::string::npos && name[slash] == '/' &&
           name.compare(slash + 1, std::string::npos, path) == 0;
}

}  // namespace

JarFile::JarFile(const SString& path) : m_path(path) {
    int error = 0;
    m_archive = zip_open(path.c_str(), ZIP_RDONLY, &error);
    if (m_archive == nullptr) {
        throw LauncherException(joinText("cannot read the jar ", path, ": ", zipErrorText(error)));
    }
}

JarFile::~JarFile() {
    zip_discard(m_archive);
}

zip_int64_t JarFile::manifestIndex() const {
    return zip_name_locate(m_archive, kManifestName, ZIP_FL_NOCASE);
}

bool JarFile::hasManifest() const {
    return manifestIndex() >= 0;
}

std::string JarFile::manifest() const {
    zip_int64_t index = manifestIndex();
    if (index < 0) {
        return std::string();
    }
    LauncherException tooLarge(joinText("the manifest of ", m_path, " is larger than 1 MiB (",
                                        convertToString(static_cast<long>(MAX_MANIFEST_SIZE)),
                                        " bytes), the most that cvpack reads"));
    zip_stat_t stat;
    if (zip_stat_index(m_archive, index, 0, &stat) == 0 && (stat.valid & ZIP_STAT_SIZE) != 0 &&
        stat.size > MAX_MANIFEST_SIZE) {
        throw tooLarge;
    }
    Entry entry(zip_fopen_index(m_archive, index, 0));
    if (entry == nullptr) {
        throw LauncherException(
            joinText("cannot read the manifest of ", m_path, ": ", zip_strerror(m_archive)));
    }
    std::string text;
    char buffer[8192];
    zip_int64_t count = 0;
    while (text.size() <= MAX_MANIFEST_SIZE &&
           (count = zip_fread(entry.get(), buffer, sizeof buffer)) > 0) {
        text.append(buffer, static_cast<size_t>(count));
    }
    if (text.size() > MAX_MANIFEST_SIZE) {
        throw tooLarge;
    }
    if (count < 0) {
        throw LauncherException(
            joinText("cannot read the manifest of ", m_path, ": ", zip_file_strerror(entry.get())));
    }
    return text;
}

bool JarFile::holdsClass(const std::string& path) const {
    return anyEntry([&path](const std::string& name) {
        return name.compare(path) == 0 || isVersionedEntry(name, path);
    });
}

bool JarFile::isSigned() const {
    return anyEntry([](const std::string& name) {
        bool inMetaInf = strncasecmp(name.c_str(), "META-INF/", 9) == 0 &&
                         name.find('/', 9) == std::string::npos;
        return inMetaInf && name.size() > 12 &&
               strcasecmp(name.c_str() + name.size() - 3, ".SF") == 0;
    });
}

bool JarFile::anyEntry(const std::function<bool(const std::string&)>& test) const {
    zip_int64_t count = zip_get_num_entries(m_archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* name = zip_get_name(m_archive, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
        if (name != nullptr && test(name)) {
            return true;
        }
    }
    return false;
}

void JarFile::copyWithManifest(const SString& copy, const std::string& text) const {
    std::error_code error;
    std::filesystem::copy_file(m_path.c_str(), copy.c_str(),
                               std::filesystem::copy_options::overwrite_existing, error);
    if (error) {
        throw LauncherException(
            joinText("cannot copy ", m_path, " to ", copy, ": ", error.message().c_str()));
    }
    int code = 0;
    zip_t* archive = zip_open(copy.c_str(), 0, &code);
    if (archive == nullptr) {
        throw LauncherException(joinText("cannot rewrite ", copy, ": ", zipErrorText(code)));
    }
    zip_int64_t index = zip_name_locate(archive, kManifestName, ZIP_FL_NOCASE);
    zip_source_t* source = zip_source_buffer(archive, text.data(), text.size(), 0);
    bool replaced = source != nullptr && index >= 0 &&
                    zip_file_replace(archive, static_cast<zip_uint64_t>(index), source, 0) == 0;
    if (!replaced && source != nullptr) {
        zip_source_free(source);
    }
    if (!replaced || zip_close(archive) != 0) {
        SString reason(zip_strerror(archive));
        zip_discard(archive);
        throw LauncherException(joinText("cannot rewrite ", copy, ": ", reason));
    }
}
