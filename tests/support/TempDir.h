#pragma once

#include <string>
#include <vector>

namespace testsupport {

// A fresh directory for one test, by default a new one under /tmp; the
// destructor removes the whole tree. A test that gives it to the code under test as a place for
// temporary files checks with checkLeftovers that nothing was left there.
class TempDir {
  public:
    // Makes the directory at `path` (whose parent must exist), or without a
    // path a uniquely named one under /tmp.
    explicit TempDir(const std::string& path = "");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    // Names of the entries directly inside the directory, sorted.
    std::vector<std::string> entries() const;
    bool isEmpty() const { return entries().empty(); }

    // Declares an entry (a name directly inside the directory) that the test
    // leaves there by design.
    void expectLeft(const std::string& name);
    // Adds a test failure unless the directory holds exactly the entries
    // declared with expectLeft.
    void checkLeftovers() const;

  private:
    std::string path_;
    std::vector<std::string> expectedLeft_;
};

}  // namespace testsupport
