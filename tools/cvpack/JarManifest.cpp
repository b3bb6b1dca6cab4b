#include "JarManifest.h"

#include <strings.h>
#include <zip.h>

#include <memory>

#include "LauncherException.h"
#include "TextUtils.h"

namespace {

const char g_manifestName[] = "META-INF/MANIFEST.MF";

struct ArchiveCloser {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
struct EntryCloser {
    void operator()(zip_file_t* entry) const { zip_fclose(entry); }
};
using Archive = std::unique_ptr<zip_t, ArchiveCloser>;
using Entry = std::unique_ptr<zip_file_t, EntryCloser>;

// Sets value from one logical manifest line when the line is the attribute.
void takeAttribute(const SString& line, const char* name, SString& value) {
    unsigned int colon = line.find(':');
    if (colon != SString::npos && strcasecmp(line.substr(0, colon).c_str(), name) == 0) {
        value = line.substr(colon + 1);
        trim(value, whitespaceChars);
    }
}

Archive openJar(const SString& jar) {
    int error = 0;
    Archive archive(zip_open(jar.c_str(), ZIP_RDONLY, &error));
    if (archive == nullptr) {
        zip_error_t reason;
        zip_error_init_with_code(&reason, error);
        SString message = joinText("cannot read the jar ", jar, ": ", zip_error_strerror(&reason));
        zip_error_fini(&reason);
        throw LauncherException(message);
    }
    return archive;
}

SString readManifest(const SString& jar) {
    Archive archive = openJar(jar);
    zip_int64_t index = zip_name_locate(archive.get(), g_manifestName, ZIP_FL_NOCASE);
    Entry entry(index < 0 ? nullptr : zip_fopen_index(archive.get(), index, 0));
    if (entry == nullptr) {
        throw LauncherException(joinText(jar, " has no readable manifest (", g_manifestName,
                                         ") to name its main class; give the main class with "
                                         "--main-class NAME"));
    }
    SString text;
    char buffer[8192];
    zip_int64_t count;
    while ((count = zip_fread(entry.get(), buffer, sizeof buffer)) > 0) {
        text.append(buffer, static_cast<unsigned int>(count));
    }
    if (count < 0) {
        throw LauncherException(
            joinText("cannot read the manifest of ", jar, ": ", zip_file_strerror(entry.get())));
    }
    return text;
}

}  // namespace

SString JarManifest::attribute(const SString& manifest, const char* name) {
    SString value;
    SString line;
    unsigned int position = 0;
    while (position < manifest.length()) {
        unsigned int end = manifest.find_first_of("\r\n", position);
        end = end == SString::npos ? manifest.length() : end;
        SString physical = manifest.substr(position, end - position);
        position = end + (manifest.compare(end, 2, "\r\n") == 0 ? 2 : 1);
        if (physical.empty()) {
            break;
        }
        if (physical[0] == ' ') {
            line += physical.substr(1);
            continue;
        }
        takeAttribute(line, name, value);
        line = physical;
    }
    takeAttribute(line, name, value);
    return value;
}

SString JarManifest::mainClass(const SString& jar) {
    SString mainClass = attribute(readManifest(jar), "Main-Class");
    if (mainClass.empty()) {
        throw LauncherException(joinText("the manifest of ", jar,
                                         " names no Main-Class; give the main class with "
                                         "--main-class NAME"));
    }
    return mainClass;
}
