#pragma once

#include <string>
#include <utility>
#include <vector>

#include "cvpack/PackerOptions.h"

namespace testsupport {

// Puts a launcher file together with cvpack's writer: the built cvlaunch
// program, then the files in the order they are added, then the built
// verify.jar as cvpack adds it by default (unless one is added or
// withoutVerifyArchive is called).
//
//   LauncherFileBuilder(work.path())
//       .add(FILE_INSTRUCTIONS, "program.tag")
//       .add(FILE_JVM, "a.jvm").id(10)
//       .write("launcher");
class LauncherFileBuilder {
  public:
    // Files to embed: (type, path) pairs.
    using Files = std::vector<std::pair<long, std::string>>;

    // Relative paths given to add and write are taken in `dir`, when given.
    explicit LauncherFileBuilder(const std::string& dir = "") : dir_(dir) {}

    // Embeds the file at `path`, under its base name and with its position in
    // the index as its id, unless id or name follows.
    LauncherFileBuilder& add(long type, const std::string& path);
    LauncherFileBuilder& add(const Files& files);
    LauncherFileBuilder& id(long id);
    LauncherFileBuilder& name(const std::string& name) {
        files_.back().name = name.c_str();
        return *this;
    }
    LauncherFileBuilder& purpose(long purpose) {
        purpose_ = purpose;
        return *this;
    }
    LauncherFileBuilder& withoutVerifyArchive() {
        verifyArchive_ = false;
        return *this;
    }

    // Writes the launcher file (executable) and returns its path. Throws
    // std::runtime_error with the writer's message when it fails.
    std::string write(const std::string& output) const;

  private:
    std::string resolve(const std::string& path) const;

    std::string dir_;
    std::vector<PayloadFile> files_;
    long purpose_ = kDefaultPurpose;
    bool verifyArchive_ = true;
};

}  // namespace testsupport
