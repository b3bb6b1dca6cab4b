#include "ClassDataArchive.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "CommandText.h"
#include "JVMFile.h"
#include "Launcher.h"
#include "TagFile.h"
#include "support/LauncherUnitTest.h"
#include "support/ScopedEnv.h"
#include "support/TestSupport.h"

using testsupport::fileExists;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

class ClassDataArchiveTest : public testsupport::LauncherUnitTest {
  protected:
    ClassDataArchiveTest() : jvm(tags) {
        testsupport::makeDirectories(dir.file("jdk/bin"));
        testsupport::makeDirectories(dir.file("jdk/lib/server"));
        writeFile(dir.file("jdk/bin/java"), "a JVM", 0755);
        writeFile(dir.file("jdk/lib/server/classes.jsa"), "the JVM's own classes");
        writeFile(dir.file("launcher"), "a payload");
        writeFile(dir.file("app.jar"), "classes");
        Launcher::m_origLauncherFileName = dir.file("launcher").c_str();
        env.set("XDG_CACHE_HOME", dir.file("cache").c_str());
        env.set("CVLAUNCH_CLASS_DATA", nullptr);
        home = dir.file("jdk");
        testsupport::appendTags(tags, {{"JVM_HOME", home.c_str()}, {"JVM_EXE", "bin/java"}});
        setVersion("17.0.15");
    }

    void setVersion(const char* version) { tags.setTagValue("JAVA_VERSION", version); }

    // The options for a launch with `classpath`, values written in.
    std::string optionsOf(ClassDataArchive& archive,
                          const std::vector<std::string>& classpath = {"app.jar"},
                          const char* command = "java Main") {
        StringDeque entries;
        for (const std::string& entry : classpath) {
            entries.push_back(dir.file(entry).c_str());
        }
        return testsupport::str(CommandText::plain(archive.options(entries, command)));
    }
    // The options with the cache directory, the archive's name and the
    // process number as CDS, NAME and PID.
    std::string shapeOf(const std::string& options) const {
        std::string shape = options;
        for (size_t at; (at = shape.find(cds(""))) != std::string::npos;) {
            shape.replace(at, cds("").length(), "CDS/");
        }
        shape = std::regex_replace(shape, std::regex("[0-9a-f]{16}"), "NAME");
        return std::regex_replace(shape, std::regex("\\." + std::to_string(getpid()) + "\\."),
                                  ".PID.");
    }
    std::string cds(const std::string& name) const {
        return dir.file("cache/cvlaunch/cds/" + name);
    }
    // The file that `option` names in the options.
    static std::string valueOf(const std::string& options, const std::string& option) {
        size_t start = options.find(option);
        if (start == std::string::npos) {
            return "";
        }
        start += option.length();
        return options.substr(start, options.find(' ', start) - start);
    }
    // What the cache directory holds besides the class directories.
    std::vector<std::string> cacheFiles() const {
        std::vector<std::string> files;
        for (const std::string& name : testsupport::entriesOf(cds(""))) {
            if (name.find(".classes") == std::string::npos) {
                files.push_back(name);
            }
        }
        return files;
    }

    testsupport::ScopedEnv env;
    TagFile tags;
    JVMFile jvm;
    std::string home;
};

TEST_F(ClassDataArchiveTest, OptionsFollowTheVersionOfTheJvm) {
    const std::string log = " -Xlog:cds*=off -Xlog:cds*=warning:file=CDS/NAME.jsa.run.PID.log";
    struct Row {
        const char* version;
        std::string options;
    } rows[] = {
        {"", ""},
        {"abc", ""},
        {"1.8.0_292", ""},
        {"12.0.2", ""},
        {"13", "-XX:ArchiveClassesAtExit=CDS/NAME.jsa.run.PID.jsa" + log},
        {"18.0.2.1", "-XX:ArchiveClassesAtExit=CDS/NAME.jsa.run.PID.jsa" + log},
        {"19", "-XX:+AutoCreateSharedArchive -XX:SharedArchiveFile=CDS/NAME.jsa.run.PID.jsa" + log},
        {"25.0.1",
         "-XX:+AutoCreateSharedArchive -XX:SharedArchiveFile=CDS/NAME.jsa.run.PID.jsa" + log},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.version);
        setVersion(row.version);
        ClassDataArchive archive(jvm);
        EXPECT_EQ(shapeOf(optionsOf(archive)), row.options);
        EXPECT_EQ(archive.classesDirectory().empty(), row.options.empty());
    }
}

TEST_F(ClassDataArchiveTest, AnArchiveIsPutInPlaceOnlyAfterACleanEndAndUsedThen) {
    std::string archivePath;
    for (int exitCode : {3, 0}) {
        SCOPED_TRACE(exitCode);
        ClassDataArchive archive(jvm);
        std::string run = valueOf(optionsOf(archive), "-XX:ArchiveClassesAtExit=");
        ASSERT_NE(run, "");
        writeFile(run, "archived classes");
        archive.finish(exitCode);
        archivePath = run.substr(0, run.find(".run."));
    }
    EXPECT_EQ(readFile(archivePath), "archived classes");
    EXPECT_EQ(cacheFiles(), std::vector<std::string>{archivePath.substr(cds("").length())});

    // A JVM that only reads the archive maps it where it is; one that may
    // write it gets a link of its own to it.
    for (const char* version : {"17", "25"}) {
        SCOPED_TRACE(version);
        setVersion(version);
        ClassDataArchive again(jvm);
        std::string used = valueOf(optionsOf(again), "-XX:SharedArchiveFile=");
        EXPECT_EQ(used == archivePath, std::string(version) == "17") << used;
        EXPECT_EQ(readFile(used), "archived classes");
        again.finish(0);
        EXPECT_EQ(readFile(archivePath), "archived classes");
        EXPECT_EQ(cacheFiles().size(), 1u);
    }
}

TEST_F(ClassDataArchiveTest, ARejectedArchiveIsDroppedAndNeverMadeAgain) {
    struct Row {
        const char* log;  // what the JVM wrote into the launch's log
        int exitCode;
    } rows[] = {
        {"[0.1s][error  ][cds] An error has occurred while processing the shared archive file.\n",
         0},
        {"[0.1s][warning][cds,dynamic] Unable to use shared archive. The top archive failed\n", 0},
        {"", 134},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.exitCode);
        std::filesystem::remove_all(cds(""));
        {
            ClassDataArchive first(jvm);
            writeFile(valueOf(optionsOf(first), "-XX:ArchiveClassesAtExit="), "archive");
            first.finish(0);
        }
        ClassDataArchive using_(jvm);
        std::string options = optionsOf(using_);
        writeFile(valueOf(options, "warning:file="), row.log);
        using_.finish(row.exitCode);

        std::vector<std::string> files = cacheFiles();
        ASSERT_EQ(files.size(), 1u);
        EXPECT_NE(files[0].find(".rejected"), std::string::npos) << files[0];
        ClassDataArchive after(jvm);
        EXPECT_EQ(optionsOf(after), "");
    }
}

TEST_F(ClassDataArchiveTest, TheNameFollowsTheJvmAndTheClassPath) {
    auto nameNow = [this](const std::vector<std::string>& classpath) {
        ClassDataArchive archive(jvm);
        std::string run = valueOf(optionsOf(archive, classpath), "-XX:ArchiveClassesAtExit=");
        return run.substr(0, run.find(".run."));
    };
    std::vector<std::string> seen = {nameNow({"app.jar"})};
    EXPECT_EQ(nameNow({"app.jar"}), seen[0]);
    // A copy of the payload in the class directory stands for the launcher
    // file: extracting it again changes nothing.
    ClassDataArchive probe(jvm);
    std::string copy = testsupport::str(probe.classesDirectory()) + "/lib.jar";
    writeFile(copy, "x");
    std::string withCopy = nameNow({"app.jar", copy.substr(dir.path().length() + 1)});
    writeFile(copy, "y");
    EXPECT_EQ(nameNow({"app.jar", copy.substr(dir.path().length() + 1)}), withCopy);

    struct Change {
        const char* what;
        std::function<void()> make;
        std::vector<std::string> classpath;
    } changes[] = {
        {"another java",
         [&] { writeFile(dir.file("jdk/bin/java"), "another JVM", 0755); },
         {"app.jar"}},
        {"the JVM's own archive",
         [&] { writeFile(home + "/lib/server/classes.jsa", "other classes of its own"); },
         {"app.jar"}},
        {"a changed jar", [&] { writeFile(dir.file("app.jar"), "other classes"); }, {"app.jar"}},
        {"another entry", [] {}, {"app.jar", "more.jar"}},
        {"another order", [] {}, {"more.jar", "app.jar"}},
        {"another launcher file",
         [&] { writeFile(dir.file("launcher"), "a new payload"); },
         {"more.jar", "app.jar"}},
    };
    seen.push_back(withCopy);
    for (const Change& change : changes) {
        SCOPED_TRACE(change.what);
        change.make();
        std::string name = nameNow(change.classpath);
        EXPECT_EQ(std::find(seen.begin(), seen.end(), name), seen.end()) << name;
        seen.push_back(name);
    }
}

TEST_F(ClassDataArchiveTest, TheArchivesUsedLastAreKeptAndWhatKilledLaunchersLeftGoes) {
    namespace fs = std::filesystem;
    testsupport::makeDirectories(cds(""));
    auto now = fs::file_time_type::clock::now();
    for (int i = 0; i < 40; ++i) {
        std::string name = cds(std::to_string(100 + i) + ".jsa");
        writeFile(name, "archive");
        fs::last_write_time(name, now - std::chrono::minutes(40 - i));
    }
    writeFile(cds("1.jsa.run.7.jsa"), "left by a killed launcher");
    fs::last_write_time(cds("1.jsa.run.7.jsa"), now - std::chrono::hours(25));
    writeFile(cds("2.jsa.run.8.jsa"), "of a launch that runs");

    ClassDataArchive archive(jvm);
    optionsOf(archive);
    archive.finish(1);

    std::vector<std::string> files = cacheFiles();
    EXPECT_EQ(files.size(), 33u);
    EXPECT_FALSE(fileExists(cds("107.jsa")));
    EXPECT_TRUE(fileExists(cds("108.jsa")));
    EXPECT_FALSE(fileExists(cds("1.jsa.run.7.jsa")));
    EXPECT_TRUE(fileExists(cds("2.jsa.run.8.jsa")));
}

TEST_F(ClassDataArchiveTest, NoArchiveWhenSwitchedOffOrWithoutAPrivateCache) {
    struct Row {
        const char* variable;  // null: the command holds `value`
        const char* value;
    } rows[] = {
        {"CVLAUNCH_CLASS_DATA", "0"},
        {"XDG_CACHE_HOME", "/dev/null/cache"},
        {"XDG_CACHE_HOME", "/tmp/a:b"},
        {"JAVA_TOOL_OPTIONS", "-Xmx1g -Xshare:off"},
        {"JDK_JAVA_OPTIONS", "-XX:SharedArchiveFile=/x.jsa"},
        {nullptr, "java -Xshare:off Main"},
        {nullptr, "java -XX:ArchiveClassesAtExit=/x.jsa Main"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.value);
        testsupport::ScopedEnv change;
        if (row.variable != nullptr) {
            change.set(row.variable, row.value);
        }
        ClassDataArchive archive(jvm);
        EXPECT_EQ(optionsOf(archive, {"app.jar"}, row.variable ? "java Main" : row.value), "");
    }
    // A JDK before 19 refuses to start when asked to write an archive on top
    // of none of its own.
    std::filesystem::remove(home + "/lib/server/classes.jsa");
    ClassDataArchive withoutBase(jvm);
    EXPECT_EQ(optionsOf(withoutBase), "");
    tags.setTagValue("JVM_HOME", dir.file("nowhere").c_str());
    ClassDataArchive withoutJava(jvm);
    EXPECT_EQ(optionsOf(withoutJava), "");
}

}  // namespace
