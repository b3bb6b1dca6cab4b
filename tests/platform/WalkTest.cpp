// Directory walks (FileNavigator, FindFiles) and the JVM search locations.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <dirent.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Console.h"
#include "platform/DeleteFullDir.h"
#include "platform/FileFindListener.h"
#include "platform/FileNavigator.h"
#include "platform/FindFiles.h"
#include "platform/PlatformImpl.h"
#include "platform/PlatformTempDirTest.h"
#include "support/ScopedEnv.h"

namespace {

using testsupport::listOf;
using testsupport::writeFile;

std::string parentOf(const std::string& path) {
    return path.substr(0, path.rfind('/'));
}

// Records what the walk hands out; asks to stop after `stopAfter` files.
class RecordingWalk : public FileNavigator {
  public:
    explicit RecordingWalk(bool cancelable = false, size_t stopAfter = 0)
        : FileNavigator(cancelable), m_stopAfter(stopAfter) {}
    bool processFile(const SString& path) override {
        files.push_back(path.c_str());
        return files.size() == m_stopAfter;
    }
    std::vector<std::string> visited() const { return listOf(m_sdqVisitedDirs); }

    std::vector<std::string> files;

  private:
    size_t m_stopAfter;
};

class RecordingListener : public FileFindListener {
  public:
    explicit RecordingListener(size_t stopAfter = 0) : m_stopAfter(stopAfter) {}
    bool foundFile(const SString& path) override {
        found.push_back(path.c_str());
        return found.size() == m_stopAfter;
    }
    std::vector<std::string> sorted() const {
        std::vector<std::string> result = found;
        std::sort(result.begin(), result.end());
        return result;
    }

    std::vector<std::string> found;

  private:
    size_t m_stopAfter;
};

class InspectableFindFiles : public FindFiles {
  public:
    using FindFiles::FindFiles;
    size_t visitedCount() const { return static_cast<size_t>(m_sdqVisitedDirs.count); }
};

struct Walk {
    std::vector<std::string> dirs;
    std::vector<std::string> files;
};

// The walk as defined, with one lstat per entry and no entry types.
Walk referenceWalk(const std::string& root) {
    Walk walk;
    std::vector<std::string> pending{root};
    while (!pending.empty()) {
        std::string dir = pending.back();
        pending.pop_back();
        walk.dirs.push_back(dir);
        DIR* stream = opendir(dir.c_str());
        if (stream == nullptr) {
            continue;
        }
        while (const dirent* entry = readdir(stream)) {
            std::string name = entry->d_name;
            if (name == "." || name == "..") {
                continue;
            }
            std::string child = dir + (dir.back() == '/' ? "" : "/") + name;
            struct stat info;
            if (lstat(child.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
                pending.push_back(child);
            } else {
                walk.files.push_back(child);
            }
        }
        closedir(stream);
    }
    return walk;
}

// nftw without following links, as an independent account of what is there.
std::set<std::string> g_ftwDirs;
std::set<std::string> g_ftwFiles;
int recordFtwEntry(const char* path, const struct stat*, int type, FTW*) {
    (type == FTW_D ? g_ftwDirs : g_ftwFiles).insert(path);
    return 0;
}

class FileNavigatorTest : public PlatformTempDirTest {
  protected:
    // root/ f1 f2 fifo linkdir->a linkfile->f1 dangling a/{a1 aa/{aa1} ab/} b/{b1} c/
    std::string makeTree() {
        std::string root = path("root");
        makeDir(root);
        for (const char* dir : {"a", "a/aa", "a/ab", "b", "c"}) {
            makeDir(root + "/" + dir);
        }
        for (const char* file : {"f1", "f2", "a/a1", "a/aa/aa1", "b/b1"}) {
            writeFile(root + "/" + file, file);
        }
        EXPECT_EQ(mkfifo((root + "/fifo").c_str(), 0644), 0);
        EXPECT_EQ(symlink((root + "/a").c_str(), (root + "/linkdir").c_str()), 0);
        EXPECT_EQ(symlink("f1", (root + "/linkfile").c_str()), 0);
        EXPECT_EQ(symlink("nowhere", (root + "/dangling").c_str()), 0);
        return root;
    }
};

TEST_F(FileNavigatorTest, WalkEqualsOneLstatPerEntry) {
    std::string root = makeTree();
    RecordingWalk walk;
    EXPECT_FALSE(walk.process(root.c_str()));
    Walk expected = referenceWalk(root);
    EXPECT_EQ(walk.visited(), expected.dirs);
    EXPECT_EQ(walk.files, expected.files);

    g_ftwDirs.clear();
    g_ftwFiles.clear();
    ASSERT_EQ(nftw(root.c_str(), recordFtwEntry, 16, FTW_PHYS), 0);
    std::vector<std::string> visited = walk.visited();
    EXPECT_EQ(std::set<std::string>(visited.begin(), visited.end()), g_ftwDirs);
    EXPECT_EQ(std::set<std::string>(walk.files.begin(), walk.files.end()), g_ftwFiles);
    EXPECT_EQ(walk.files.size(), 9u);  // the fifo and the three links included
}

TEST_F(FileNavigatorTest, WalkIsDepthFirstWithFilesBeforeSubdirectories) {
    std::string root = makeTree();
    RecordingWalk walk;
    walk.process(root.c_str());
    std::vector<std::string> dirs = walk.visited();
    ASSERT_EQ(dirs.front(), root);
    std::map<std::string, size_t> order;
    for (size_t i = 0; i < dirs.size(); ++i) {
        order[dirs[i]] = i;
    }
    // Each directory comes after its parent, and right after a directory
    // comes a child of it or of one of its ancestors (subtrees stay together).
    for (size_t i = 1; i < dirs.size(); ++i) {
        SCOPED_TRACE(dirs[i]);
        std::string parent = parentOf(dirs[i]);
        ASSERT_TRUE(order.count(parent));
        EXPECT_LT(order[parent], i);
        EXPECT_EQ(dirs[i - 1].compare(0, parent.size(), parent), 0);
    }
    // A directory's files all come before those of later directories.
    size_t previous = 0;
    for (const std::string& file : walk.files) {
        SCOPED_TRACE(file);
        size_t index = order.at(parentOf(file));
        EXPECT_GE(index, previous);
        previous = index;
    }
}

TEST_F(FileNavigatorTest, RootThatIsNoDirectoryIsOnlyRecorded) {
    writeFile(path("plain"), "");
    for (const std::string& root : {path("plain"), path("missing")}) {
        SCOPED_TRACE(root);
        RecordingWalk walk;
        EXPECT_FALSE(walk.process(root.c_str()));
        EXPECT_EQ(walk.visited(), std::vector<std::string>{root});
        EXPECT_TRUE(walk.files.empty());
    }
}

TEST_F(FileNavigatorTest, StopRequestEndsTheWalk) {
    std::string root = makeTree();
    RecordingWalk walk(false, 1);
    EXPECT_TRUE(walk.process(root.c_str()));
    EXPECT_EQ(walk.files.size(), 1u);
    EXPECT_EQ(walk.visited().size(), 1u);

    // A new walk starts afresh.
    RecordingWalk full;
    full.process(root.c_str());
    EXPECT_EQ(full.files.size(), 9u);
}

TEST_F(FileNavigatorTest, CancelStopsOnlyCancelableWalks) {
    std::string root = makeTree();
    PlatformImpl::m_canceled = true;
    RecordingWalk cancelable(true);
    EXPECT_FALSE(cancelable.process(root.c_str()));
    RecordingWalk deletion(false);
    deletion.process(root.c_str());
    PlatformImpl::deleteFile(root.c_str());
    EXPECT_TRUE(cancelable.files.empty());
    EXPECT_EQ(deletion.files.size(), 9u);
    EXPECT_FALSE(testsupport::fileExists(root));
}

// Making thousands of files is slow on some disks; an installed tree that
// holds enough of them serves as well.
TEST_F(FileNavigatorTest, ProgressAdvancesOncePerThousandFiles) {
    PlatformImpl::m_silent = false;
    int start = ui_progress;
    RecordingWalk walk;
    walk.process("/usr/include");
    int marks = ui_progress - start;
    if (walk.files.size() < 1000) {
        GTEST_SKIP() << "fewer than 1000 files below /usr/include";
    }
    EXPECT_EQ(marks, static_cast<int>(walk.files.size() / 1000));
}

class FindFilesTest : public FileNavigatorTest {};

TEST_F(FindFilesTest, NameMatchesOnlyAfterASeparator) {
    std::string root = path("root");
    for (const char* dir : {"", "/jdk", "/jdk/bin", "/jdk/xbin", "/bin"}) {
        makeDir(root + dir);
    }
    for (const char* file : {"/jdk/bin/java", "/jdk/xbin/java", "/java", "/javax", "/bin/javac"}) {
        writeFile(root + file, "");
    }
    StringDeque wanted;
    wanted.push_back("bin/java");
    wanted.push_back("java");
    RecordingListener listener;
    FindFiles finder(wanted, listener);
    EXPECT_FALSE(finder.process(root.c_str()));
    EXPECT_EQ(listener.sorted(),
              (std::vector<std::string>{root + "/java", root + "/jdk/bin/java",
                                        root + "/jdk/bin/java", root + "/jdk/xbin/java"}));

    // A path no longer than the name never matches it.
    RecordingListener direct;
    FindFiles exact(wanted, direct);
    EXPECT_FALSE(exact.processFile("java"));
    EXPECT_FALSE(exact.processFile("bin/java"));
    EXPECT_EQ(direct.found, std::vector<std::string>{"bin/java"});
}

TEST_F(FindFilesTest, ListenerStopsTheSearch) {
    std::string root = path("root");
    for (const char* dir : {"", "/a", "/b", "/c"}) {
        makeDir(root + dir);
        writeFile(root + dir + "/java", "");
    }
    StringDeque wanted;
    wanted.push_back("java");
    wanted.push_back("/java");
    RecordingListener listener(1);
    InspectableFindFiles finder(wanted, listener);
    EXPECT_TRUE(finder.process(root.c_str()));
    EXPECT_EQ(listener.found.size(), 1u);
    EXPECT_EQ(finder.visitedCount(), 1u);
}

TEST_F(FindFilesTest, TempDirAndVarTmpAreNotSearched) {
    for (const char* slash : {"", "/"}) {
        SCOPED_TRACE(slash);
        testsupport::TempDir fresh;
        std::string root = fresh.path();
        for (const char* dir : {"/tmp", "/tmp/bin", "/keep"}) {
            makeDir(root + dir);
        }
        writeFile(root + "/tmp/bin/java", "");
        writeFile(root + "/keep/java", "");
        PlatformImpl::setSystemTempDir((root + "/tmp" + slash).c_str());
        StringDeque wanted;
        wanted.push_back("java");
        RecordingListener listener;
        FindFiles finder(wanted, listener);
        finder.process(root.c_str());
        EXPECT_EQ(listener.found, std::vector<std::string>{root + "/keep/java"});
        EXPECT_TRUE(finder.skipDirectory("/var/tmp"));
        EXPECT_TRUE(finder.skipDirectory("/var/tmp/"));
        EXPECT_FALSE(finder.skipDirectory("/var"));
        EXPECT_FALSE(finder.skipDirectory(root.c_str()));
    }
}

TEST_F(FindFilesTest, KernelFileSystemsAreNotSearched) {
    StringDeque wanted;
    RecordingListener listener;
    FindFiles finder(wanted, listener);
    bool any = false;
    for (const char* dir : {"/proc", "/proc/self", "/sys", "/sys/kernel", "/dev/pts"}) {
        if (access(dir, R_OK) != 0) {
            continue;
        }
        SCOPED_TRACE(dir);
        any = true;
        EXPECT_TRUE(finder.skipDirectory(dir));
    }
    if (!any) {
        GTEST_SKIP() << "no kernel file systems mounted here";
    }
    makeDir(path("plain"));
    EXPECT_FALSE(finder.skipDirectory(path("plain").c_str()));
    EXPECT_FALSE(finder.skipDirectory("/"));
}

TEST(PlatformImplSearchTest, HintSplitsAtEveryColon) {
    struct Case {
        const char* value;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"/a::/b:", {"/a", "", "/b", ""}},
        {":", {"", ""}},
        {"/only", {"/only"}},
        {"", {}},
        {nullptr, {}},
    };
    testsupport::ScopedEnv hint;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value != nullptr ? c.value : "unset");
        hint.set("CVJ_HINT_TEST", c.value);
        StringDeque list;
        list.push_back("old");
        PlatformImpl::getPlatformHint(list, "CVJ_HINT_TEST");
        EXPECT_EQ(listOf(list), c.expected);
    }

    StringDeque list;
    list.push_back("old");
    PlatformImpl::getPlatformHint(list, "");
    EXPECT_EQ(list.count, 0);
}

TEST(PlatformImplSearchTest, JVMPathsAreThePathDirectories) {
    testsupport::ScopedEnv path("PATH", "/x/bin:/y/bin");
    StringDeque list;
    PlatformImpl::getPlatformJVMPaths(list);
    EXPECT_EQ(listOf(list), (std::vector<std::string>{"/x/bin", "/y/bin"}));
}

TEST(PlatformImplSearchTest, SearchRootIsAppendedEachTime) {
    StringDeque list;
    list.push_back("first");
    PlatformImpl::getJVMSearchPartitions(list);
    PlatformImpl::getJVMSearchPartitions(list);
    EXPECT_EQ(listOf(list), (std::vector<std::string>{"first", "/", "/"}));
}

TEST_F(FindFilesTest, CanceledSearchReportsNothing) {
    StringDeque wanted;
    wanted.push_back("sh");
    RecordingListener listener;
    PlatformImpl::m_canceled = true;
    PlatformImpl::findFiles(wanted, listener);
    EXPECT_TRUE(listener.found.empty());
}

// Each row changes a fresh p/h/bin/java (the home h in p) with a shell
// command and names the part that others could have changed, or nothing.
class PlantedFileRiskTest : public PlatformTempDirTest {};

TEST_F(PlantedFileRiskTest, NamesWhatOthersCouldChange) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "giving files to another user takes root";
    }
    const struct {
        const char* change;
        std::string subject;  // relative to the row's directory
        const char* reason;
    } rows[] = {
        {":", "", ""},
        {"chmod 777 p/h", "p/h", " is writable by others"},
        {"chmod 1777 p/h", "p/h", " is writable by others"},
        {"chmod 775 p/h/bin", "", ""},
        {"chgrp 65534 p/h/bin && chmod 775 p/h/bin", "p/h/bin", " is writable by others"},
        {"chmod 1777 p", "", ""},
        {"chmod 777 p", "p", " is writable by others"},
        {"chown 65534 p/h/bin/java", "p/h/bin/java", " is owned by user 65534"},
        {"mkdir -m 777 w && mv p/h/bin/java w && ln -s ../../../w/java p/h/bin", "w",
         " is writable by others"},
        {"rm p/h/bin/java", "", ""},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; ++i) {
        SCOPED_TRACE(rows[i].change);
        std::string row = path("row" + std::to_string(i));
        makeDir(row);
        testsupport::ProcessOptions inRow;
        inRow.workingDir = row;
        ASSERT_EQ(testsupport::runInShell("mkdir -p -m 755 p/h/bin && touch p/h/bin/java && " +
                                              std::string(rows[i].change),
                                          {}, inRow)
                      .status,
                  0);
        std::string expected = rows[i].subject.empty() ? "" : row + "/" + rows[i].subject;
        EXPECT_EQ(text(PlatformImpl::plantedFileRisk((row + "/p/h/bin/java").c_str(), 2)),
                  expected + (expected.empty() ? "" : rows[i].reason));
    }
}

}  // namespace
