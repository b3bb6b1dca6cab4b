// Temporary directory, unique names, cleanup lists, deletion of trees, free
// space and the small file operations.
#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "launcher/Launcher.h"
#include "launcher/LauncherException.h"
#include "platform/DeleteFullDir.h"
#include "platform/PlatformImpl.h"
#include "platform/PlatformTempDirTest.h"
#include "support/ScopedEnv.h"

namespace {

using testsupport::fileExists;
using testsupport::listOf;
using testsupport::writeFile;

bool isDir(const std::string& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

class PlatformImplFilesTest : public PlatformTempDirTest {
  protected:
    // Log entries written from now on go to a file of their own.
    void startLog() {
        Launcher::m_logFileInitialized = true;  // no separator line
        Launcher::setLogFileName(path("log").c_str());
    }

    std::vector<std::string> logLines() const {
        return testsupport::linesOf(testsupport::readFile(path("log")));
    }

    static std::string warning(const std::string& file, int error) {
        return "WARNING: Could not delete " + file + " :  " + strerror(error);
    }
};

// A given directory that cannot be used is an error that names it.
TEST_F(PlatformImplFilesTest, TempDirIsTheGivenUsableDirectory) {
    writeFile(path("file"), "");
    struct Case {
        std::string given;
        int error;
    };
    for (const Case& c : {Case{path("file"), ENOTDIR}, Case{path("missing"), ENOENT}}) {
        SCOPED_TRACE(c.given);
        try {
            PlatformImpl::setSystemTempDir(c.given.c_str());
            ADD_FAILURE() << "no exception";
        } catch (const LauncherException& e) {
            EXPECT_EQ(text(e.message), "The temporary directory " + c.given +
                                           " (-cv:tempdir) cannot be used: " + strerror(c.error));
        }
    }
    PlatformImpl::setSystemTempDir("");
    EXPECT_EQ(text(PlatformImpl::getSystemTempDirectory()), tempDir());

    makeDir(path("other"));
    PlatformImpl::setSystemTempDir((path("other") + "/").c_str());
    EXPECT_EQ(text(PlatformImpl::getSystemTempDirectory()), path("other") + "/");
}

TEST_F(PlatformImplFilesTest, RelativeTempDirIsMadeAbsolute) {
    makeDir(path("rel"));
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    PlatformImpl::setSystemTempDir("rel");
    char cwd[PATH_MAX];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    EXPECT_EQ(text(PlatformImpl::getSystemTempDirectory()), std::string(cwd) + "/rel");
}

TEST_F(PlatformImplFilesTest, WithoutGivenDirectoryTmpdirThenVarTmp) {
    testsupport::ScopedEnv tmpdir;
    struct Case {
        std::string tmpdir;
        std::string expected;  // or the reason why TMPDIR cannot be used
    };
    writeFile(path("file"), "");
    const Case cases[] = {
        {dir.path(), dir.path()},
        {path("missing"), strerror(ENOENT)},
        {path("file"), strerror(ENOTDIR)},
        {"", "/var/tmp/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tmpdir);
        tmpdir.set("TMPDIR", c.tmpdir.c_str());
        PlatformImpl::m_tempDir = "";
        if (c.expected[0] == '/') {
            EXPECT_EQ(text(PlatformImpl::getSystemTempDirectory()), c.expected);
            continue;
        }
        try {
            PlatformImpl::getSystemTempDirectory();
            ADD_FAILURE() << "no exception";
        } catch (const LauncherException& e) {
            EXPECT_EQ(text(e.message), "The temporary directory " + c.tmpdir +
                                           " (TMPDIR) cannot be used: " + c.expected);
        }
    }
}

TEST_F(PlatformImplFilesTest, UniqueNamesAreNewAndInsideTheTempDir) {
    std::string prefix = tempDir() + "/cvj";
    SString file1 = PlatformImpl::createTempFile();
    SString file2 = PlatformImpl::createTempFile();
    SString dir1 = PlatformImpl::createTempSubDirectory();
    SString dir2 = PlatformImpl::createTempSubDirectory();
    for (const SString* name : {&file1, &file2, &dir1, &dir2}) {
        SCOPED_TRACE(name->c_str());
        EXPECT_EQ(text(*name).compare(0, prefix.size(), prefix), 0);
        EXPECT_EQ(text(*name).find('/', prefix.size()), std::string::npos);
    }
    EXPECT_NE(text(file1), text(file2));
    EXPECT_NE(text(dir1), text(dir2));
    EXPECT_EQ(testsupport::readFile(file1.c_str()), "");
    EXPECT_TRUE(isDir(dir1.c_str()));
    EXPECT_EQ(listOf(PlatformImpl::m_sdqCreatedFiles),
              (std::vector<std::string>{file1.c_str(), file2.c_str()}));
    EXPECT_EQ(listOf(PlatformImpl::m_sdqCreatedDrs),
              (std::vector<std::string>{dir1.c_str(), dir2.c_str()}));
}

TEST_F(PlatformImplFilesTest, CreationFailuresNameTheirCause) {
    makeDir(path("gone"));
    PlatformImpl::setSystemTempDir(path("gone").c_str());
    ASSERT_EQ(rmdir(path("gone").c_str()), 0);
    try {
        PlatformImpl::createTempSubDirectory();
        ADD_FAILURE() << "no exception for the directory";
    } catch (const LauncherException& e) {
        EXPECT_EQ(text(e.message), "Error creating tmp directory " + path("gone") +
                                       "/cvjXXXXXX: " + strerror(ENOENT));
    }
    try {
        PlatformImpl::createTempFile();
        ADD_FAILURE() << "no exception for the file";
    } catch (const LauncherException& e) {
        EXPECT_EQ(text(e.message),
                  "Error creating tmp file " + path("gone") + "/cvjXXXXXX: " + strerror(ENOENT));
    }
    EXPECT_EQ(PlatformImpl::m_sdqCreatedFiles.count, 0);
    EXPECT_EQ(PlatformImpl::m_sdqCreatedDrs.count, 0);
}

TEST_F(PlatformImplFilesTest, CleanupRemovesEverythingListedOnce) {
    SString file = PlatformImpl::createTempFile();
    std::string subDir = PlatformImpl::createTempSubDirectory().c_str();
    makeDir(subDir + "/sub");
    writeFile(subDir + "/sub/f", "x");
    // A file-list entry that names a directory: the tree goes all the same.
    makeDir(path("listed-as-file"));
    writeFile(path("listed-as-file/g"), "y");
    PlatformImpl::addFileToCleanupList(path("listed-as-file").c_str());

    PlatformImpl::cleanup();
    EXPECT_TRUE(state.temp().isEmpty());
    EXPECT_TRUE(dir.isEmpty());
    EXPECT_EQ(PlatformImpl::m_sdqCreatedFiles.count, 0);
    EXPECT_EQ(PlatformImpl::m_sdqCreatedDrs.count, 0);

    // What is listed later is deleted by a later call; nothing is deleted twice.
    SString later = PlatformImpl::createTempFile();
    writeFile(file.c_str(), "recreated by someone else");
    PlatformImpl::cleanup();
    EXPECT_FALSE(fileExists(later.c_str()));
    EXPECT_TRUE(fileExists(file.c_str()));
    unlink(file.c_str());
}

TEST_F(PlatformImplFilesTest, RemovingFromListTakesOneEntry) {
    PlatformImpl::addFileToCleanupList("/a");
    PlatformImpl::addFileToCleanupList("/b");
    PlatformImpl::addFileToCleanupList("/a");
    PlatformImpl::removeFileFromCleanupList("/a");
    PlatformImpl::removeFileFromCleanupList("/A");
    EXPECT_EQ(listOf(PlatformImpl::m_sdqCreatedFiles), (std::vector<std::string>{"/b", "/a"}));

    PlatformImpl::m_sdqCreatedDrs.push_back("/d");
    PlatformImpl::m_sdqCreatedDrs.push_back("/d");
    PlatformImpl::removeDirFromCleanupList("/d");
    PlatformImpl::removeDirFromCleanupList("/e");
    EXPECT_EQ(listOf(PlatformImpl::m_sdqCreatedDrs), (std::vector<std::string>{"/d"}));
}

// Only a copy in a private "cvj" directory goes; any other launcher file is
// kept, with a warning.
TEST_F(PlatformImplFilesTest, CleanupDeletesOnlyALauncherCopy) {
    startLog();
    const struct {
        const char* dir;
        mode_t mode;
        const char* refusal;  // null: deleted
    } cases[] = {{"cvjA1", 0700, nullptr},
                 {"copies", 0700, " is not a temporary \"cvj\" directory."},
                 {"cvjA2", 0755, " has the mode 0755, not 0700."}};
    std::vector<std::string> warnings;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dir);
        std::string launcher = path(c.dir) + "/setup";
        ASSERT_EQ(mkdir(path(c.dir).c_str(), 0700), 0);
        ASSERT_EQ(chmod(path(c.dir).c_str(), c.mode), 0);
        writeFile(launcher, "launcher");
        Launcher::m_launcherFileName = launcher.c_str();
        PlatformImpl::m_deleteLauncher = true;
        PlatformImpl::cleanup();
        EXPECT_FALSE(PlatformImpl::m_deleteLauncher);
        EXPECT_EQ(fileExists(launcher), c.refusal != nullptr);
        EXPECT_EQ(isDir(path(c.dir)), c.refusal != nullptr);
        if (c.refusal != nullptr) {
            warnings.push_back("WARNING: Keeping the launcher file " + launcher +
                               " despite -cv:orig: its directory " + path(c.dir) + c.refusal);
        }
    }
    EXPECT_EQ(logLines(), warnings);
}

TEST_F(PlatformImplFilesTest, DeleteLauncherKeepsANonEmptyDirectory) {
    ASSERT_EQ(mkdir(path("cvjD").c_str(), 0700), 0);
    writeFile(path("cvjD/setup"), "");
    writeFile(path("cvjD/other"), "");
    Launcher::m_launcherFileName = path("cvjD/setup").c_str();
    PlatformImpl::deleteLauncher();
    EXPECT_FALSE(fileExists(path("cvjD/setup")));
    EXPECT_TRUE(fileExists(path("cvjD/other")));

    // A bare name is unlinked in the current directory, and nothing else.
    ASSERT_EQ(chdir(path("cvjD").c_str()), 0);
    Launcher::m_launcherFileName = "other";
    PlatformImpl::deleteLauncher();
    EXPECT_FALSE(fileExists(path("cvjD/other")));
    EXPECT_TRUE(isDir(path("cvjD")));
}

TEST_F(PlatformImplFilesTest, DeletingATreeDoesNotFollowLinks) {
    makeDir(path("outside"));
    writeFile(path("outside/keep"), "k");
    makeDir(path("tree"));
    makeDir(path("tree/sub"));
    writeFile(path("tree/sub/f"), "f");
    ASSERT_EQ(symlink(path("outside").c_str(), path("tree/sub/dirlink").c_str()), 0);
    ASSERT_EQ(symlink(path("outside/keep").c_str(), path("tree/filelink").c_str()), 0);
    ASSERT_EQ(symlink(path("nowhere").c_str(), path("tree/dangling").c_str()), 0);
    startLog();

    PlatformImpl::deleteFile(path("tree").c_str());
    EXPECT_FALSE(fileExists(path("tree")));
    EXPECT_EQ(testsupport::readFile(path("outside/keep")), "k");
    EXPECT_EQ(logLines(), std::vector<std::string>{});

    // A link given itself is removed, not its target.
    ASSERT_EQ(symlink(path("outside").c_str(), path("link").c_str()), 0);
    PlatformImpl::deleteFile(path("link").c_str());
    EXPECT_FALSE(fileExists(path("link")));
    EXPECT_TRUE(fileExists(path("outside/keep")));
}

TEST_F(PlatformImplFilesTest, MissingPathIsPassedOverSilently) {
    startLog();
    PlatformImpl::deleteFile(path("missing").c_str());
    EXPECT_FALSE(deleteOneFile(path("missing").c_str()));
    EXPECT_EQ(logLines(), std::vector<std::string>{});
}

// root/xy/locked/f cannot be removed: warnings for f and locked only; xy and
// root stay silently; every other file and directory goes, the sibling "x"
// included although its name is a prefix of "xy".
TEST_F(PlatformImplFilesTest, TreeWithUndeletableFileKeepsOnlyThePathToIt) {
    std::string root = path("root");
    makeDir(root);
    makeDir(root + "/x");
    writeFile(root + "/x/a", "");
    makeDir(root + "/xy");
    writeFile(root + "/xy/b", "");
    makeDir(root + "/xy/locked");
    writeFile(root + "/xy/locked/f", "");
    makeDir(root + "/z");
    std::string locked = root + "/xy/locked";
    int fileError = EACCES;
    int dirError = ENOTEMPTY;
    std::string unlock;
    if (geteuid() != 0) {
        ASSERT_EQ(chmod(locked.c_str(), 0555), 0);
    } else {
        // Permissions do not stop root; the immutable attribute does.
        if (system(("chattr +i " + locked + " 2>/dev/null").c_str()) != 0) {
            GTEST_SKIP() << "running as root without chattr support here";
        }
        unlock = "chattr -i " + locked;
        fileError = EPERM;
        dirError = EPERM;
    }
    startLog();
    PlatformImpl::deleteFile(root.c_str());
    if (unlock.empty()) {
        chmod(locked.c_str(), 0755);
    } else {
        ASSERT_EQ(system(unlock.c_str()), 0);
    }

    EXPECT_EQ(logLines(), (std::vector<std::string>{warning(locked + "/f", fileError),
                                                    warning(locked, dirError)}));
    EXPECT_TRUE(fileExists(locked + "/f"));
    EXPECT_FALSE(fileExists(root + "/xy/b"));
    EXPECT_FALSE(fileExists(root + "/x"));
    EXPECT_FALSE(fileExists(root + "/z"));
}

TEST_F(PlatformImplFilesTest, FileExistsFollowsLinks) {
    writeFile(path("f"), "");
    ASSERT_EQ(symlink(path("f").c_str(), path("good").c_str()), 0);
    ASSERT_EQ(symlink(path("none").c_str(), path("bad").c_str()), 0);
    EXPECT_TRUE(PlatformImpl::fileExists(path("f").c_str()));
    EXPECT_TRUE(PlatformImpl::fileExists(path("good").c_str()));
    EXPECT_TRUE(PlatformImpl::fileExists(dir.path().c_str()));
    EXPECT_FALSE(PlatformImpl::fileExists(path("bad").c_str()));
    EXPECT_FALSE(PlatformImpl::fileExists(path("none").c_str()));
}

TEST_F(PlatformImplFilesTest, ResolvePathFollowsLinksAndDotDot) {
    makeDir(path("sub"));
    writeFile(path("target"), "");
    ASSERT_EQ(symlink("target", path("link").c_str()), 0);
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    SString here = PlatformImpl::getCurrentDirectory();
    ASSERT_FALSE(here.empty());
    EXPECT_EQ(text(PlatformImpl::resolvePath("sub/../link")), text(here) + "/target");
    EXPECT_EQ(text(PlatformImpl::resolvePath(".")), text(here));
    EXPECT_EQ(text(PlatformImpl::resolvePath("missing")), "");
}

TEST_F(PlatformImplFilesTest, SetFileExecutableAddsExecuteForEveryone) {
    writeFile(path("f"), "", 0640);
    PlatformImpl::setFileExecutable(path("f").c_str());
    struct stat info;
    ASSERT_EQ(stat(path("f").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0751u);
    PlatformImpl::setFileExecutable(path("missing").c_str());
    EXPECT_FALSE(fileExists(path("missing")));
}

TEST(HasFreeSpaceTest, RoundsBytesToFragmentsPerFileCount) {
    struct Case {
        long bytes;
        long files;
        double fragmentsNeeded;
    };
    const Case cases[] = {
        {1025, 1, 2}, {1024, 1, 1},  {0, 1, 0},    {1025, 3, 4},
        {1025, 0, 1}, {1025, -2, 1}, {2048, 2, 4}, {1023, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.bytes) + " bytes in " + std::to_string(c.files));
        // Exactly enough passes, one fragment less does not.
        EXPECT_TRUE(hasFreeSpace(1024, c.fragmentsNeeded, c.bytes, c.files));
        if (c.fragmentsNeeded > 0) {
            EXPECT_FALSE(hasFreeSpace(1024, c.fragmentsNeeded - 1, c.bytes, c.files));
        }
    }
}

TEST_F(PlatformImplFilesTest, CheckFreeSpaceQueriesTheFileSystem) {
    EXPECT_TRUE(PlatformImpl::checkFreeSpace(dir.path().c_str(), 1, 1));
    EXPECT_FALSE(PlatformImpl::checkFreeSpace(dir.path().c_str(), LONG_MAX, 1));
    try {
        PlatformImpl::checkFreeSpace(path("missing").c_str(), 1, 1);
        ADD_FAILURE() << "no exception";
    } catch (const LauncherException& e) {
        EXPECT_EQ(text(e.message), strerror(ENOENT));
    }
}

TEST_F(PlatformImplFilesTest, RelativeOrEmptyPathMeasuresTheCurrentDirectory) {
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    EXPECT_TRUE(PlatformImpl::checkFreeSpace("", 1, 1));
    // Not an error: the given path is not the one measured.
    EXPECT_TRUE(PlatformImpl::checkFreeSpace("no/such/dir", 1, 1));
}

}  // namespace
