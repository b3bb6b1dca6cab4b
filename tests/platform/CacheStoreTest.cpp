#include "platform/CacheStore.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/PlatformImpl.h"
#include "support/LauncherUnitTest.h"
#include "support/ScopedEnv.h"
#include "support/TestSupport.h"

using testsupport::writeFile;

namespace {

class CacheStoreTest : public testsupport::LauncherUnitTest {
  protected:
    CacheStoreTest() {
        env.set("XDG_CACHE_HOME", dir.file("cache").c_str());
        env.set("HOME", dir.file("home").c_str());
    }

    // Gives a file of the store a modification time `age` seconds ago.
    void age(const CacheStore& store, const std::string& name, long seconds) const {
        struct timeval times[2];
        gettimeofday(&times[0], nullptr);
        times[0].tv_sec -= seconds;
        times[1] = times[0];
        ASSERT_EQ(utimes((testsupport::str(store.directory()) + "/" + name).c_str(), times), 0);
    }

    testsupport::ScopedEnv env;
};

TEST_F(CacheStoreTest, OnlyADirectoryThatNoOneElseControlsIsUsed) {
    struct Row {
        const char* name;
        std::function<void(testsupport::ScopedEnv&, const testsupport::TempDir&)> setUp;
        const char* failure;  // part of the reason, or "" for a usable store
    } rows[] = {
        {"the user's own",
         [](auto& env, auto& dir) { env.set("XDG_CACHE_HOME", dir.file("cache").c_str()); }, ""},
        {"under a sticky directory",
         [](auto& env, auto& dir) {
             testsupport::makeDirectories(dir.file("sticky"));
             chmod(dir.file("sticky").c_str(), 01777);
             env.set("XDG_CACHE_HOME", dir.file("sticky/cache").c_str());
         },
         ""},
        {"a relative HOME",
         [](auto& env, auto&) {
             env.set("XDG_CACHE_HOME", nullptr);
             env.set("HOME", "home");
         },
         "neither an absolute XDG_CACHE_HOME nor an absolute HOME"},
        {"a HOME of another user",
         [](auto& env, auto& dir) {
             env.set("XDG_CACHE_HOME", nullptr);
             env.set("HOME", dir.file("home").c_str());
             testsupport::makeDirectories(dir.file("home"));
             ASSERT_EQ(chown(dir.file("home").c_str(), 65534, 65534), 0);
         },
         "is owned by user 65534"},
        {"a directory above that others may write to",
         [](auto& env, auto& dir) {
             testsupport::makeDirectories(dir.file("open"));
             chmod(dir.file("open").c_str(), 0777);
             env.set("XDG_CACHE_HOME", dir.file("open/cache").c_str());
         },
         "is writable by others"},
        {"its directory a link to another user's",
         [](auto& env, auto& dir) {
             env.set("XDG_CACHE_HOME", dir.file("cache").c_str());
             testsupport::makeDirectories(dir.file("theirs/cds"));
             ASSERT_EQ(chown(dir.file("theirs").c_str(), 65534, 65534), 0);
             testsupport::makeDirectories(dir.file("cache"));
             ASSERT_EQ(symlink(dir.file("theirs").c_str(), dir.file("cache/cvlaunch").c_str()), 0);
         },
         "is owned by user 65534"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        testsupport::TempDir place;
        testsupport::ScopedEnv rowEnv;
        row.setUp(rowEnv, place);
        CacheStore store("cds");
        EXPECT_EQ(store.usable(), *row.failure == '\0') << testsupport::str(store.failure());
        EXPECT_NE(testsupport::str(store.failure()).find(row.failure), std::string::npos)
            << testsupport::str(store.failure());
        EXPECT_EQ(store.directory().empty(), !store.usable());
    }
}

TEST_F(CacheStoreTest, TheDataStoreIsInTheUsersDataDirectory) {
    std::string home = testsupport::str(PlatformImpl::resolvePath(dir.path().c_str()));
    struct {
        const char* dataHome;  // null: unset
        const char* homeValue;
        std::string directory;  // "" for a store that cannot be used
    } rows[] = {
        {"data", "home", home + "/data/cvlaunch/runtimes"},
        {nullptr, "home", home + "/home/.local/share/cvlaunch/runtimes"},
        {"relative", "relative", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.homeValue);
        testsupport::ScopedEnv rowEnv;
        std::string data = row.dataHome == nullptr ? "" : dir.file(row.dataHome);
        rowEnv.set("XDG_DATA_HOME", row.dataHome == nullptr ? nullptr
                                    : row.directory.empty() ? row.dataHome
                                                            : data.c_str());
        std::string homeDir = row.directory.empty() ? row.homeValue : dir.file(row.homeValue);
        rowEnv.set("HOME", homeDir.c_str());
        CacheStore store("runtimes", CacheStore::kDataBase);
        EXPECT_EQ(testsupport::str(store.directory()), row.directory);
        if (row.directory.empty()) {
            EXPECT_NE(testsupport::str(store.failure()).find("absolute XDG_DATA_HOME"),
                      std::string::npos);
        }
    }
}

TEST_F(CacheStoreTest, EvictionRemovesWholeEntriesAndIdleGroupsLeastRecentlyUsedFirst) {
    CacheStore store("cds");
    ASSERT_TRUE(store.usable()) << testsupport::str(store.failure());
    std::string base = testsupport::str(store.directory()) + "/";
    // Entries of groups a and b, oldest first, each with two files.
    const char* entries[] = {"a-1", "b-1", "a-2", "b-2"};
    long seconds = 100;
    for (const char* entry : entries) {
        for (const char* kind : {".jsa", ".ok"}) {
            writeFile(base + entry + kind, "1234");
            age(store, std::string(entry) + kind, seconds);
        }
        --seconds;
    }
    testsupport::makeDirectories(base + "a.classes");
    testsupport::makeDirectories(base + "c.classes");
    writeFile(base + "b-3.jsa.run.99", "left by a killed maker");
    age(store, "b-3.jsa.run.99", 2 * 24 * 3600);
    writeFile(base + "b-3.ok.run.98", "a maker at work");

    // The two newest entries stay, and with them their groups' class
    // directory; the idle group c goes, and so does the run file of a day ago.
    store.evict("z", 2, 1 << 20, 0);

    EXPECT_EQ(testsupport::entriesOf(base),
              (std::vector<std::string>{"a-2.jsa", "a-2.ok", "a.classes", "b-2.jsa", "b-2.ok",
                                        "b-3.ok.run.98"}));

    // The group in use keeps its entries whatever the bounds; a locked entry
    // stays too.
    FileLock lock;
    ASSERT_TRUE(store.lock("b-2", false, lock));
    store.evict("a", 0, 0, 0);
    EXPECT_EQ(testsupport::entriesOf(base),
              (std::vector<std::string>{"a-2.jsa", "a-2.ok", "a.classes", "b-2.jsa", "b-2.lock",
                                        "b-2.ok", "b-3.ok.run.98"}));
    FileLock second;
    EXPECT_FALSE(store.lock("b-2", false, second));
}

TEST_F(CacheStoreTest, ARejectionHoldsForAWeek) {
    CacheStore store("cds");
    ASSERT_TRUE(store.usable());
    store.reject("a-1", "the JVM ended with status 1: no");
    EXPECT_EQ(testsupport::str(store.rejection("a-1")), "the JVM ended with status 1: no");
    EXPECT_EQ(testsupport::str(store.rejection("a-2")), "");
    age(store, "a-1.rejected", 8 * 24 * 3600);
    EXPECT_EQ(testsupport::str(store.rejection("a-1")), "");
    EXPECT_FALSE(testsupport::fileExists(testsupport::str(store.path("a-1.rejected"))));
}

}  // namespace
