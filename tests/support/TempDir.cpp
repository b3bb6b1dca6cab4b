#include "support/TempDir.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "support/TestSupport.h"

namespace testsupport {

TempDir::TempDir(const std::string& path) : path_(path) {
    char pattern[] = "/tmp/cvtest-XXXXXX";
    if (path_.empty() && mkdtemp(pattern) != nullptr) {
        path_ = pattern;
    } else if (path_.empty() || mkdir(path_.c_str(), 0700) != 0) {
        throw std::runtime_error("cannot make the directory " + path_);
    }
}

// A test may have taken the write permission of a directory away.
TempDir::~TempDir() {
    std::error_code error;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path_, error)) {
        if (entry.is_directory(error) && !entry.is_symlink(error)) {
            std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, error);
        }
    }
    std::filesystem::remove_all(path_, error);
}

std::vector<std::string> TempDir::entries() const {
    return entriesOf(path_);
}

void TempDir::expectLeft(const std::string& name) {
    expectedLeft_.push_back(name);
    std::sort(expectedLeft_.begin(), expectedLeft_.end());
}

void TempDir::checkLeftovers() const {
    EXPECT_EQ(entries(), expectedLeft_) << "left behind in " << path_;
}

}  // namespace testsupport
