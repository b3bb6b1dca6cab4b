#include "cvinstall/EntryRules.h"

#include <archive_entry.h>

#include "base/TextUtils.h"
#include "launcher/LauncherException.h"

const char EntryRules::kDescriptionFile[] = "jvm";

namespace {

// The components of `path` without "" and "."; true in `climbs` when one is "..".
std::vector<SString> componentsOf(const SString& path, bool& climbs) {
    std::vector<SString> components;
    climbs = false;
    unsigned int start = 0;
    while (start <= path.length()) {
        unsigned int end = path.find('/', start);
        if (end == SString::npos) {
            end = path.length();
        }
        SString component(path, start, end - start);
        climbs = climbs || component.compare("..") == 0;
        if (!component.empty() && component.compare(".") != 0) {
            components.push_back(component);
        }
        start = end + 1;
    }
    return components;
}

SString joined(const std::vector<SString>& components, size_t count) {
    SString path;
    for (size_t i = 0; i < count; ++i) {
        path += joinText(i == 0 ? "" : "/", components[i]);
    }
    return path;
}

// "" for the kinds that are unpacked, else what the entry is.
const char* unsupportedKind(archive_entry* entry) {
    switch (archive_entry_filetype(entry)) {
        case AE_IFREG:
        case AE_IFDIR:
        case AE_IFLNK:
            return "";
        case AE_IFIFO:
            return "a fifo";
        case AE_IFSOCK:
            return "a socket";
        case AE_IFCHR:
            return "a character device";
        case AE_IFBLK:
            return "a block device";
        default:
            return "of an unknown kind";
    }
}

SString problemOf(archive_entry* entry, const SString& name, const std::vector<SString>& components,
                  bool climbs) {
    if (name.length() > 0 && name[0] == '/') {
        return "its name is absolute";
    }
    if (climbs) {
        return "its name holds \"..\"";
    }
    if (components.empty()) {
        return "it names the destination itself";
    }
    if (archive_entry_hardlink(entry) != nullptr) {
        return joinText("it is a hard link (to ", archive_entry_hardlink(entry), ")");
    }
    const char* kind = unsupportedKind(entry);
    if (*kind != '\0') {
        return joinText("it is ", kind,
                        "; only files, directories and symbolic links are unpacked");
    }
    bool descriptionFile = components[0].compare(EntryRules::kDescriptionFile) == 0;
    if (descriptionFile && (components.size() > 1 || archive_entry_filetype(entry) != AE_IFREG)) {
        return "the name jvm is kept for the runtime's description file, a plain file at the top";
    }
    return "";
}

}  // namespace

SString EntryRules::admit(archive_entry* entry) {
    const char* pathname = archive_entry_pathname(entry);
    SString name(pathname != nullptr ? pathname : "");
    bool climbs = false;
    std::vector<SString> components = componentsOf(name, climbs);
    SString problem = problemOf(entry, name, components, climbs);
    if (problem.empty()) {
        SString link = linkOnTheWay(components);
        if (!link.empty()) {
            problem = joinText("it lies beyond the symbolic link ", link);
        }
    }
    if (problem.empty() && archive_entry_filetype(entry) == AE_IFLNK) {
        const char* target = archive_entry_symlink(entry);
        problem = linkProblem(components, target != nullptr ? target : "");
        m_links.insert(joined(components, components.size()).c_str());
    }
    if (!problem.empty()) {
        throw LauncherException(joinText("the entry \"", name, "\" is refused: ", problem));
    }
    return joined(components, components.size());
}

SString EntryRules::linkProblem(const std::vector<SString>& components, const SString& target) {
    if (target.empty()) {
        return "it is a symbolic link without a target";
    }
    if (target[0] == '/') {
        return joinText("it is a symbolic link to the absolute path ", target);
    }
    // The depth below the destination, from the link's own directory.
    long depth = static_cast<long>(components.size()) - 1;
    bool afterName = false;
    bool climbs = false;
    for (const SString& step : componentsOf(target, climbs)) {
        if (step.compare("..") != 0) {
            afterName = true;
            ++depth;
        } else if (afterName) {
            return joinText("its target ", target, " climbs with \"..\" after a name");
        } else if (--depth < 0) {
            return joinText("its target ", target, " leads out of the destination");
        }
    }
    return "";
}

SString EntryRules::linkOnTheWay(const std::vector<SString>& components) const {
    for (size_t count = 1; count < components.size(); ++count) {
        SString prefix = joined(components, count);
        if (m_links.count(prefix.c_str()) != 0) {
            return prefix;
        }
    }
    return "";
}
