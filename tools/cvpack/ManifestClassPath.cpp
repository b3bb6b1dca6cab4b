#include "cvpack/ManifestClassPath.h"

#include <strings.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>

#include "base/TextUtils.h"
#include "cvpack/JarFile.h"
#include "cvpack/JarManifest.h"
#include "launcher/LauncherException.h"

namespace {

namespace fs = std::filesystem;

const char kClassPath[] = "Class-Path";

// A jar still to be read, and the jar whose Class-Path names it (empty for
// the jars given).
struct Pending {
    SString path;
    SString namedBy;
};

// A warning about the entry `entry` of the Class-Path of `namedBy`.
void warn(const SString& entry, const SString& namedBy, const SString& problem) {
    fprintf(stderr, "cvpack: warning: %s, in the Class-Path of %s, %s\n", entry.c_str(),
            namedBy.c_str(), problem.c_str());
}

// `text` with each "%XX" replaced by the byte that the hex digits XX encode.
std::string percentDecoded(const std::string& text) {
    std::string decoded;
    for (size_t i = 0; i < text.size(); ++i) {
        bool escape = text[i] == '%' && i + 2 < text.size() &&
                      isxdigit(static_cast<unsigned char>(text[i + 1])) &&
                      isxdigit(static_cast<unsigned char>(text[i + 2]));
        if (escape) {
            decoded += static_cast<char>(strtol(text.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        } else {
            decoded += text[i];
        }
    }
    return decoded;
}

// The path of a Class-Path entry of the jar `namedBy`; false for a URL of
// another scheme than "file".
bool entryPath(const std::string& entry, const SString& namedBy, SString& path) {
    std::string url = entry;
    size_t colon = url.find(':');
    if (colon != std::string::npos && colon < url.find('/')) {
        if (strncasecmp(url.c_str(), "file:", 5) != 0) {
            return false;
        }
        url.erase(0, 5);
        if (url.compare(0, 2, "//") == 0) {
            url.erase(0, url.find('/', 2));
        }
    }
    fs::path file(percentDecoded(url));
    if (file.is_relative()) {
        file = fs::path(namedBy.c_str()).parent_path() / file;
    }
    path = file.lexically_normal().c_str();
    return true;
}

// The words of a Class-Path value.
std::vector<std::string> entriesOf(const std::string& value) {
    std::vector<std::string> entries;
    size_t start = value.find_first_not_of(" \t");
    while (start != std::string::npos) {
        size_t end = value.find_first_of(" \t", start);
        entries.push_back(value.substr(start, end - start));
        start = value.find_first_not_of(" \t", end);
    }
    return entries;
}

// Whether a jar named by a Class-Path can be embedded; warns when not.
bool isEmbeddable(const Pending& jar) {
    std::error_code error;
    fs::file_status status = fs::status(jar.path.c_str(), error);
    if (fs::is_directory(status) || stringEndsWith(jar.path, "/") != SString::npos) {
        warn(jar.path, jar.namedBy, "is a directory: not embedded (pack its classes into a jar)");
        return false;
    }
    if (!fs::exists(status)) {
        warn(jar.path, jar.namedBy, "does not exist: not embedded");
        return false;
    }
    return true;
}

class Follower {
  public:
    explicit Follower(const std::vector<SString>& jars) {
        for (auto jar = jars.rbegin(); jar != jars.rend(); ++jar) {
            m_pending.push_back({*jar, SString()});
        }
    }

    std::vector<ManifestClassPath::Jar> follow() {
        while (!m_pending.empty()) {
            Pending next = m_pending.back();
            m_pending.pop_back();
            if (firstVisit(next.path) && (next.namedBy.empty() || isEmbeddable(next))) {
                add(next);
            }
        }
        return m_jars;
    }

  private:
    bool firstVisit(const SString& path) {
        std::error_code error;
        fs::path absolute = fs::absolute(path.c_str(), error);
        return m_seen.insert(absolute.lexically_normal().string()).second;
    }

    void add(const Pending& next) {
        ManifestClassPath::Jar jar;
        jar.path = next.path;
        std::unique_ptr<JarFile> file;
        try {
            file.reset(new JarFile(next.path));
        } catch (const LauncherException& e) {
            // A jar given on the command line is packed whatever it holds.
            if (!next.namedBy.empty()) {
                warn(next.path, next.namedBy,
                     joinText("is no jar: not embedded (", e.message, ")"));
                return;
            }
        }
        if (!next.namedBy.empty()) {
            fprintf(stderr, "cvpack: adding %s to the class path, from the Class-Path of %s\n",
                    next.path.c_str(), next.namedBy.c_str());
        }
        if (file != nullptr) {
            readClassPath(*file, jar);
        }
        m_jars.push_back(jar);
    }

    void readClassPath(const JarFile& file, ManifestClassPath::Jar& jar) {
        JarManifest manifest(file.manifest());
        if (!manifest.has(kClassPath)) {
            return;
        }
        std::vector<Pending> named;
        for (const std::string& entry : entriesOf(manifest.attribute(kClassPath))) {
            SString path;
            if (entryPath(entry, jar.path, path)) {
                named.push_back({path, jar.path});
            } else {
                warn(entry.c_str(), jar.path, "is not a local file: not embedded");
            }
        }
        m_pending.insert(m_pending.end(), named.rbegin(), named.rend());
        if (file.isSigned()) {
            fprintf(stderr,
                    "cvpack: warning: %s is signed: its embedded copy keeps its Class-Path, "
                    "which the signature covers, so the JVM may also read the jars it names on "
                    "the user's machine\n",
                    jar.path.c_str());
            return;
        }
        jar.rewritten = true;
        jar.manifest = manifest.without(kClassPath);
    }

    std::vector<Pending> m_pending;  // the next one last
    std::set<std::string> m_seen;
    std::vector<ManifestClassPath::Jar> m_jars;
};

}  // namespace

std::vector<ManifestClassPath::Jar> ManifestClassPath::follow(const std::vector<SString>& jars) {
    return Follower(jars).follow();
}
