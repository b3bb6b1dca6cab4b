// A launcher that carries its own Java runtime (cvpack --runtime), run end
// to end with the runtime linked from the JDK 17 of the machine: installed
// once into the user's runtime store, shared by parallel launches, equal to
// what jlink made, and used on a machine without Java.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/BackgroundProcess.h"
#include "support/LauncherProcessTest.h"

namespace {

using testsupport::fileExists;
using testsupport::LauncherResult;
using testsupport::readFile;

const char kJdk[] = "/usr/lib/jvm/java-17-openjdk-amd64";
const std::string kDemoJar = std::string(TEST_BINARY_DIR) + "/examples/hello.jar";
const char kGreeting[] = "Hello from the cvlaunch demo application.\n";
const char kInstalling[] = "Installing the runtime that the launcher carries in ";

// What a tree holds, by relative path: the kind and mode of each entry and
// its content or link target.
std::map<std::string, std::string> treeOf(const std::string& root, const std::string& under = "") {
    std::map<std::string, std::string> tree;
    for (const std::string& name : testsupport::entriesOf(root + under)) {
        std::string relative = under + "/" + name;
        std::string path = root + relative;
        struct stat info;
        lstat(path.c_str(), &info);
        std::string mode = std::to_string(info.st_mode & 07777);
        if (S_ISDIR(info.st_mode)) {
            tree[relative] = "directory " + mode;
            std::map<std::string, std::string> inside = treeOf(root, relative);
            tree.insert(inside.begin(), inside.end());
        } else if (S_ISLNK(info.st_mode)) {
            char target[4096];
            ssize_t length = readlink(path.c_str(), target, sizeof target);
            tree[relative] = "link " + std::string(target, length > 0 ? length : 0);
        } else {
            // The class-data archive that jlink dumps differs from run to run.
            bool dumped =
                relative.size() > 4 && relative.compare(relative.size() - 4, 4, ".jsa") == 0;
            tree[relative] = "file " + mode + " " + (dumped ? "(dumped)" : readFile(path));
        }
    }
    return tree;
}

class RuntimeProcessTest : public testsupport::LauncherProcessTest {
  protected:
    void SetUp() override {
        if (!fileExists(std::string(kJdk) + "/bin/jlink") || !fileExists(kDemoJar)) {
            GTEST_SKIP() << "no JDK 17 with jlink at " << kJdk << ", or no demo application";
        }
    }

    // work_/app: the demo application with a runtime from the JDK.
    void pack(const std::vector<std::string>& options) {
        std::vector<std::string> command = {testsupport::cvpackPath(),
                                            "--main-jar",
                                            kDemoJar,
                                            "--main-class",
                                            "Hello",
                                            "--runtime",
                                            kJdk,
                                            "--runtime-compression",
                                            "1",
                                            "-o",
                                            work_.file("app")};
        command.insert(command.end(), options.begin(), options.end());
        testsupport::ProcessResult packed = testsupport::runProcess(command);
        ASSERT_EQ(packed.status, 0) << packed.err;
    }

    testsupport::LauncherOptions launchOptions(int run) const {
        testsupport::LauncherOptions options = this->options();
        options.env["XDG_DATA_HOME"] = work_.file("data");
        options.env["XDG_CACHE_HOME"] = work_.file("cache");
        options.env["JAVA_HOME"] = testsupport::kUnset;
        options.logFile = work_.file("run" + std::to_string(run) + ".log");
        return options;
    }

    std::string store() const { return work_.file("data/cvlaunch/runtimes"); }
    // The one runtime in the store.
    std::string home() const {
        for (const std::string& name : testsupport::entriesOf(store())) {
            if (name.find('.') == std::string::npos) {
                return store() + "/" + name;
            }
        }
        return "";
    }
};

TEST_F(RuntimeProcessTest, TheCarriedRuntimeIsInstalledOnceAndIsWhatJlinkMade) {
    pack({"--prefer-runtime"});
    std::vector<std::unique_ptr<testsupport::BackgroundProcess>> launches;
    for (int run = 0; run < 2; ++run) {
        testsupport::LauncherOptions options = launchOptions(run);
        launches.emplace_back(new testsupport::BackgroundProcess(
            testsupport::launcherCommand(work_.file("app"), {"--exit", "3"}, options), options));
    }
    std::vector<testsupport::ProcessResult> results;
    for (auto& launch : launches) {
        results.push_back(launch->wait());
    }
    LauncherResult later = run(work_.file("app"), {"--exit", "3"}, launchOptions(2));
    results.push_back(later);

    ASSERT_FALSE(home().empty());
    int installs = 0;
    for (int run = 0; run < 3; ++run) {
        EXPECT_EQ(results[run].status, 3) << results[run].err;
        EXPECT_EQ(results[run].out.find(kGreeting), 0u) << results[run].out;
        EXPECT_NE(results[run].out.find(" in " + home() + "\n"), std::string::npos);
        std::string log = readFile(work_.file("run" + std::to_string(run) + ".log"));
        installs += log.find(kInstalling) != std::string::npos;
    }
    EXPECT_EQ(installs, 1);
    EXPECT_EQ(later.log.find(kInstalling), std::string::npos);

    // jlink, run again with the modules that the runtime names, makes the
    // same files, directories and links, with the same modes.
    std::string release = readFile(home() + "/release");
    size_t start = release.find("MODULES=\"") + 9;
    std::string modules = release.substr(start, release.find('"', start) - start);
    for (char& c : modules) {
        c = c == ' ' ? ',' : c;
    }
    // (jlink's generated classes depend on the order of its options.)
    testsupport::ProcessResult linked = testsupport::runProcess(
        {std::string(kJdk) + "/bin/jlink", "--add-modules", modules, "--strip-debug",
         "--no-man-pages", "--no-header-files", "--generate-cds-archive", "--compress=0",
         "--module-path", std::string(kJdk) + "/jmods", "--output", work_.file("linked")});
    ASSERT_EQ(linked.status, 0) << linked.err;
    std::map<std::string, std::string> installed = treeOf(home());
    EXPECT_EQ(installed.erase("/jvm"), 1u);
    std::map<std::string, std::string> made = treeOf(work_.file("linked"));
    for (const auto& [path, entry] : made) {
        auto copy = installed.find(path);
        EXPECT_TRUE(copy != installed.end() && copy->second == entry)
            << path << ": " << entry.substr(0, 60) << " installed as "
            << (copy == installed.end() ? "nothing" : copy->second.substr(0, 60));
    }
    EXPECT_EQ(installed.size(), made.size());
}

TEST_F(RuntimeProcessTest, AnInstalledJavaComesFirstAndAMachineWithoutJavaGetsTheRuntime) {
    pack({});
    testsupport::LauncherOptions withJava = launchOptions(0);
    withJava.env["JAVA_HOME"] = kJdk;
    LauncherResult installed = run(work_.file("app"), {}, withJava);
    EXPECT_EQ(installed.status, 0) << installed.err << installed.log;
    EXPECT_NE(installed.out.find(std::string(" in ") + kJdk + "\n"), std::string::npos)
        << installed.out;
    EXPECT_FALSE(fileExists(store()));

    if (testsupport::runProcess({"/usr/bin/unshare", "-m", "true"}).status != 0) {
        GTEST_SKIP() << "private mount namespaces are refused here";
    }
    // No JVM under /usr/lib/jvm (where /usr/bin/java leads too), none in
    // JAVA_HOME.
    for (int run = 1; run <= 2; ++run) {
        testsupport::LauncherOptions options = launchOptions(run);
        options.env["PATH"] = "/usr/bin:/bin";
        std::vector<std::string> command = {"/usr/bin/unshare",
                                            "-m",
                                            "sh",
                                            "-c",
                                            "mount -t tmpfs none /usr/lib/jvm && exec \"$@\"",
                                            "sh"};
        std::vector<std::string> launch =
            testsupport::launcherCommand(work_.file("app"), {"x y"}, options);
        command.insert(command.end(), launch.begin(), launch.end());
        testsupport::ProcessResult result = testsupport::runProcess(command, options);
        std::string log = readFile(options.logFile);
        EXPECT_EQ(result.status, 0) << result.err << log;
        EXPECT_EQ(result.out.find(kGreeting), 0u) << result.out;
        EXPECT_NE(result.out.find(" in " + home() + "\nargument 1: [x y]\n"), std::string::npos)
            << result.out;
        EXPECT_EQ(log.find(kInstalling) != std::string::npos, run == 1) << log;
    }
}

}  // namespace
