#pragma once

// The rules that keep a runtime image inside its destination. Every entry of
// an image passes them in archive order, when it is written and when it is
// unpacked, so that an image that the installer would refuse is never made.
//
// An entry is refused when
//   - its name is absolute, holds a ".." component or names the destination
//     itself (only "." components);
//   - it is a hard link, or anything but a regular file, a directory or a
//     symbolic link (a fifo, a socket, a device);
//   - it lies beyond a symbolic link that an earlier entry made ("d" a link,
//     then "d/f"), which would write wherever the link leads;
//   - it is a symbolic link whose target is empty or absolute, climbs with
//     ".." after a name ("a/../x": "a" may itself be a link, so the climb
//     could end anywhere), or leads out of the destination from the link's
//     own directory ("../x" at the top);
//   - it is named "jvm" and is no regular file, or lies below "jvm": the
//     runtime's description file, whose presence tells that the installation
//     is complete, is a plain file at the top.

#include <set>
#include <string>
#include <vector>

#include "base/SString.h"

struct archive_entry;

class EntryRules {
  public:
    // The name of the runtime's description file.
    static const char kDescriptionFile[];

    // The entry's name without "." and empty components ("./bin//java" gives
    // "bin/java"). Throws LauncherException "the entry "NAME" is refused: "
    // and the reason when a rule above refuses it.
    SString admit(archive_entry* entry);

  private:
    // Where the link `name` (split into `components`) leads: "" when the
    // target is acceptable, else why not.
    static SString linkProblem(const std::vector<SString>& components, const SString& target);
    // The earlier symbolic link that `components` lie beyond, or "".
    SString linkOnTheWay(const std::vector<SString>& components) const;

    std::set<std::string> m_links;
};
