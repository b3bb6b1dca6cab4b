// The launcher under failure: a full disk, a launcher file that can no longer
// be read, a temporary directory that cannot be written, a Java that hangs or
// is killed while it is verified, and interrupts at each stage of a run. In
// every case the launcher says what went wrong, ends with the documented
// status and leaves nothing in its temporary directory.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "support/FakeJavaHome.h"
#include "support/LauncherProcessTest.h"

namespace {

using testsupport::FakeJavaHome;
using testsupport::LauncherOptions;
using testsupport::LauncherResult;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

const int kFailure = 255;
const char* const kWriteError = "Error writing file = ";

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class FailureProcessTest : public testsupport::LauncherProcessTest {
  protected:
    // A launcher whose program launches the fake Java of home_ directly, with
    // a class path archive of `archiveSize` bytes that is extracted first.
    std::string packLauncher(size_t archiveSize) {
        return packDirectLaunch(home_.path(), testsupport::noise(archiveSize));
    }

    // The options of every run: the log as well.
    LauncherOptions options() const {
        LauncherOptions options = LauncherProcessTest::options();
        options.logFile = log();
        return options;
    }

    std::vector<std::string> command(const std::string& launcher,
                                     const std::vector<std::string>& args = {}) const {
        return testsupport::launcherCommand(launcher, args, options());
    }

    // Runs the launcher under a file size limit of `blocks` blocks of 512
    // bytes: a write past it fails as on a full disk, or, unless the launcher
    // catches SIGXFSZ, ends it at once.
    testsupport::ProcessResult runWithFileSizeLimit(const std::vector<std::string>& argv,
                                                    int blocks, const LauncherOptions& runOptions) {
        return testsupport::runInShell("ulimit -f " + std::to_string(blocks) + "; exec \"$@\"",
                                       argv, runOptions);
    }

    // An input file for SEARCH over the given PATH_HINT homes.
    std::string searchInput(const std::vector<std::string>& homes) {
        std::string jvm =
            "DESC: Fake JVM\nJVM_EXE: bin/java\nJVM_PROPERTIES: java.vendor=Fake\nPATH_HINT:\n";
        for (const std::string& home : homes) {
            jvm += "  " + home.substr(1) + "\n";
        }
        jvm += "/:\n";
        writeFile(work_.file("fake.jvm"), jvm);
        launcherFile({{FILE_JVM, "fake.jvm"}}).write("launcher");
        writeFile(work_.file("input.tag"),
                  "ACTION: SEARCH\nSHOW_PROGRESS: 0\nSHOW_FAIL_MSG: 0\nLOGFILE: " + log() + "\n");
        return work_.file("input.tag");
    }

    // A fake home whose Java runs `body` when it is verified.
    FakeJavaHome makeHome(const std::string& name, const std::string& body) {
        return FakeJavaHome(work_.file(name), body);
    }

    TempDir home_;
    FakeJavaHome java_{home_.path(), "exit 0\n", "java"};
};

// ---- A full disk ---------------------------------------------------------------

TEST_F(FailureProcessTest, DiskFullWhileExtractingEveryFileIsReported) {
    std::string launcher = packLauncher(1 << 20);
    TempDir target;
    LauncherOptions inTarget = options();
    inTarget.workingDir = target.path();
    auto result = runWithFileSizeLimit(command(launcher, {"-cv:extract"}), 256, inTarget);

    EXPECT_EQ(result.status, kFailure) << result.out << result.err;
    EXPECT_TRUE(contains(result.err, kWriteError + std::to_string(EFBIG))) << result.err;
    // The archive that did not fit is not left half written, nor its
    // temporary file.
    EXPECT_EQ(target.entries(), (std::vector<std::string>{"a.jvm", "launch.tag", "program.tag"}));
    EXPECT_TRUE(contains(readFile(log()), "ERROR: ")) << readFile(log());
}

TEST_F(FailureProcessTest, DiskFullWhileExtractingTheClassPathStopsTheLaunch) {
    std::string launcher = packLauncher(1 << 20);
    auto result = runWithFileSizeLimit(command(launcher), 256, options());

    EXPECT_EQ(result.status, kFailure) << result.out << result.err;
    EXPECT_TRUE(contains(result.err, kWriteError + std::to_string(EFBIG))) << result.err;
    EXPECT_FALSE(java_.ran());
}

// The copy of an embedded launcher that did not fit is removed with its
// directory, although a complete copy would be left to the launcher it starts.
TEST_F(FailureProcessTest, DiskFullWhileCopyingTheEmbeddedLauncherLeavesNoCopy) {
    writeFile(work_.file("program.tag"), "INSTRUCTIONS:\n  EXECUTE_LAUNCHER 1\n/:\n");
    writeFile(work_.file("inner"), testsupport::noise(1 << 20), 0755);
    std::string launcher =
        launcherFile({{FILE_INSTRUCTIONS, "program.tag"}, {FILE_EMBEDDED_LAUNCHER, "inner"}})
            .withoutVerifyArchive()
            .write("launcher");

    auto result = runWithFileSizeLimit(command(launcher), 256, options());

    EXPECT_EQ(result.status, kFailure) << result.out << result.err;
    EXPECT_TRUE(contains(result.err, kWriteError + std::to_string(EFBIG))) << result.err;
}

// ---- A launcher file that can no longer be read -----------------------------------

// The big-endian 32-bit number at `at`.
size_t be32At(const std::string& bytes, size_t at) {
    size_t value = 0;
    for (size_t i = 0; i < 4; ++i) {
        value = (value << 8) | static_cast<uint8_t>(bytes[at + i]);
    }
    return value;
}

void putBe32(std::string& bytes, size_t at, size_t value) {
    for (size_t i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<char>(value >> (24 - 8 * i));
    }
}

// Where the file index of a launcher file begins: its trailer says.
size_t indexOffset(const std::string& bytes) {
    return be32At(bytes, bytes.size() - 8);
}

// A copy cut short inside the class path archive, its file index and trailer
// put back after the cut: the archive's declared length no longer fits.
TEST_F(FailureProcessTest, TruncatedLauncherFileIsRefusedBeforeTheLaunch) {
    std::string bytes = readFile(packLauncher(1 << 20));
    size_t trailer = bytes.size() - 8;
    size_t index = indexOffset(bytes);
    size_t cut = index - (1 << 19);
    std::string copy = bytes.substr(0, cut) + bytes.substr(index, trailer - index);
    copy += std::string(4, '\0') + bytes.substr(trailer + 4);
    putBe32(copy, copy.size() - 8, cut);
    writeFile(work_.file("truncated"), copy, 0755);

    LauncherResult result = run(work_.file("truncated"), {}, options());

    EXPECT_EQ(result.status, kFailure) << result.out << result.err;
    EXPECT_TRUE(contains(result.err, "Invalid file length in file index: ")) << result.err;
    EXPECT_TRUE(contains(result.err, " bytes of lib.jar at offset ")) << result.err;
    EXPECT_FALSE(java_.ran());
}

// A forged index that declares more than the file holds is refused with the
// field it got wrong, before any buffer is sized by it: the launcher runs
// with far less memory than the 2 GB tag file it declares.
TEST_F(FailureProcessTest, ForgedIndexIsRefusedBeforeItSizesAnything) {
    std::string bytes = readFile(packLauncher(16));
    size_t index = indexOffset(bytes);
    // The first entry, a JVM description file (a tag file): type, id, length, offset.
    size_t length = index + 4 + 1 + 4;
    size_t offset = length + 4;
    const struct {
        const char* what;
        size_t at;
        size_t value;
        std::string message;
    } cases[] = {
        {"a tag file of 2 GB", length, 0x7ffffff0,
         "Invalid file length in file index: 2147483632 bytes of a.jvm at offset "},
        {"a negative length", length, 0xffffffff,
         "Invalid file length in file index: -1 bytes of a.jvm at offset "},
        {"an offset past the end", offset, bytes.size() + 1,
         "Invalid offset to file bytes in file index: a.jvm at offset " +
             std::to_string(bytes.size() + 1) + " lies outside the launcher file (" +
             std::to_string(bytes.size()) + " bytes)."},
        {"two billion entries", index, 0x7fffffff,
         "Invalid file count in file index: 2147483647 entries do not fit in the launcher "
         "file ("},
    };
    // AddressSanitizer reserves more address space than any such limit.
#ifdef __SANITIZE_ADDRESS__
    const std::string limit = "";
#else
    const std::string limit = "ulimit -v 262144; ";
#endif
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string forged = bytes;
        putBe32(forged, c.at, c.value);
        writeFile(work_.file("forged"), forged, 0755);

        auto result = testsupport::runInShell(limit + "exec \"$@\"", command(work_.file("forged")),
                                              options());

        EXPECT_EQ(result.status, kFailure) << result.out << result.err;
        EXPECT_TRUE(contains(result.err, c.message)) << result.err;
        EXPECT_FALSE(java_.ran());
    }
}

// The verified Java removes the launcher file; the launch that follows can no
// longer extract its class path archive from it.
TEST_F(FailureProcessTest, LauncherFileRemovedDuringTheRunFailsTheLaunch) {
    std::string home = makeHome("jdk", "rm -f \"" + work_.file("launcher") +
                                           "\"\nprintf '%s\\n' 1739021872 Fake\n")
                           .home();
    writeFile(work_.file("fake.jvm"),
              "JVM_EXE: bin/java\nJVM_PROPERTIES: java.vendor=Fake\n"
              "PATH_HINT: " +
                  home.substr(1) + "\n");
    writeFile(work_.file("program.tag"),
              "INSTRUCTIONS:\n  FIND_JVM 0 0\n  LAUNCH \"@S2@\" 0\n/:\n");
    writeFile(work_.file("launch.tag"), "COMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" %CP%()\"\n");
    writeFile(work_.file("lib.jar"), testsupport::noise(10000));
    std::string launcher = launcherFile({{FILE_INSTRUCTIONS, "program.tag"},
                                         {FILE_LAUNCH_SCRIPT, "launch.tag"},
                                         {FILE_JVM, "fake.jvm"},
                                         {FILE_CLASSPATH_ARCHIVE, "lib.jar"}})
                               .write("launcher");

    LauncherResult result = run(launcher, {}, options());

    EXPECT_EQ(result.status, kFailure) << result.out << result.err;
    EXPECT_TRUE(contains(result.err, kWriteError + std::to_string(ENOENT))) << result.err;
    EXPECT_TRUE(contains(result.log, "Found matching JVM at " + home)) << result.log;
}

// ---- A temporary directory that cannot be written ------------------------------------

TEST_F(FailureProcessTest, UnwritableTemporaryDirectoryIsReported) {
    std::string launcher = packLauncher(1000);
    // Root ignores permission bits; an immutable directory refuses even root.
    if (testsupport::runProcess({"/usr/bin/chattr", "+i", temp_.path()}).status != 0) {
        GTEST_SKIP() << "chattr +i is not available here";
    }
    LauncherResult result = run(launcher, {}, options());
    testsupport::runProcess({"/usr/bin/chattr", "-i", temp_.path()});

    EXPECT_EQ(result.status, kFailure) << result.out << result.err;
    EXPECT_EQ(result.err, "The temporary directory " + temp_.path() +
                              " (-cv:tempdir) cannot be used: Operation not permitted\n");
    EXPECT_FALSE(java_.ran());
}

// A default temporary directory in which nothing can be made gives way to
// /tmp; a directory that the user gives must be usable, and the message
// names it, rather than reading as finding no JVM.
TEST_F(FailureProcessTest, ReadOnlyVarTmpGivesWayToTmpUnlessTheUserNamedIt) {
    const char* const kUnshare = "/usr/bin/unshare";
    const char* const kReadOnlyVarTmp = "mount -t tmpfs -o ro none /var/tmp && exec \"$@\"";
    if (testsupport::runProcess({kUnshare, "-m", "true"}).status != 0) {
        GTEST_SKIP() << "unshare -m is refused here: no private mount namespace";
    }
    FakeJavaHome java = makeHome("jdk", "printf '1739021872\\nFake\\n'\n");
    writeFile(work_.file("program.tag"),
              "INSTRUCTIONS:\n  FIND_JVM 0 1\n  JMP0 @N1@ end\n  LAUNCH \"@S2@\" 0\n  :end\n/:\n");
    writeFile(
        work_.file("a.jvm"),
        "JVM_EXE: bin/java\nJVM_PROPERTIES: java.vendor=Fake\nPATH_HINT: " + java.home() + "\n");
    writeFile(work_.file("launch.tag"), "COMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" %CP%()\"\n");
    writeFile(work_.file("lib.jar"), "JAR");
    std::string launcher = launcherFile({{FILE_INSTRUCTIONS, "program.tag"},
                                         {FILE_JVM, "a.jvm"},
                                         {FILE_LAUNCH_SCRIPT, "launch.tag"},
                                         {FILE_CLASSPATH_ARCHIVE, "lib.jar"}})
                               .write("launcher");
    const std::string cannot = "The temporary directory /var/tmp ";
    const std::string readOnly = " cannot be used: Read-only file system\n";
    struct Row {
        std::vector<std::string> args;
        std::string tmpdir;  // kUnset: not set
        int status;
        std::string err;
    } rows[] = {
        {{}, testsupport::kUnset, 0, ""},
        {{}, "", 0, ""},
        {{}, "/var/tmp", kFailure, cannot + "(TMPDIR)" + readOnly},
        {{"-cv:tempdir", "/var/tmp"},
         testsupport::kUnset,
         kFailure,
         cannot + "(-cv:tempdir)" + readOnly},
        {{},
         work_.file("none"),
         kFailure,
         "The temporary directory " + work_.file("none") +
             " (TMPDIR) cannot be used: No such file or directory\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.tmpdir + testing::PrintToString(row.args));
        std::vector<std::string> argv = {kUnshare,        "-m", "sh",    "-c",
                                         kReadOnlyVarTmp, "sh", launcher};
        argv.insert(argv.end(), row.args.begin(), row.args.end());
        testsupport::ProcessOptions options;
        options.env = {{"TMPDIR", row.tmpdir}, {"LANG", testsupport::kUnset}};
        std::remove((java.home() + "/bin/java.args").c_str());
        testsupport::ProcessResult result = testsupport::runProcess(argv, options);
        EXPECT_EQ(result.status, row.status) << result.err;
        EXPECT_EQ(result.err, row.err);
        EXPECT_EQ(java.ran(), row.status == 0);
        if (java.ran()) {
            EXPECT_EQ(java.args().at(1).rfind("/tmp/cvj", 0), 0u) << java.args().at(1);
        }
    }
}

// ---- A Java that hangs or is killed during verification ----------------------------

TEST_F(FailureProcessTest, BrokenJavaDuringVerificationLetsTheSearchGoOn) {
    const struct {
        const char* name;
        const char* java;
        bool timedOut;
    } cases[] = {{"hangs", "exec sleep 30\n", true}, {"is killed", "kill -9 $$\n", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string broken = makeHome(std::string("broken-") + c.name, c.java).home();
        std::string good = makeHome("good", "printf '%s\\n' 1739021872 Fake\n").home();
        std::string input = searchInput({broken, good});
        LauncherOptions withLimit = options();
        withLimit.env["CVLAUNCH_VERIFY_TIME_LIMIT_MS"] = "300";

        auto start = std::chrono::steady_clock::now();
        LauncherResult result = run(work_.file("launcher"), {"-cv:in", input}, withLimit);
        std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;

        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.out.substr(0, 2 + good.size() + 1), "1\n" + good + "\n") << result.out;
        EXPECT_LT(elapsed.count(), 5.0);
        std::string warning = "WARNING: Verification of " + broken +
                              " did not end within 0.3 seconds; it was stopped.";
        EXPECT_EQ(contains(result.log, warning), c.timedOut) << result.log;
        // The match file reported for the good home is the caller's to keep.
        for (const std::string& name : temp_.entries()) {
            testsupport::runProcess({"/bin/rm", "-rf", temp_.file(name)});
        }
    }
}

TEST_F(FailureProcessTest, HangingJavaAloneMeansNoJVMFound) {
    std::string broken = makeHome("broken", "exec sleep 30\n").home();
    std::string input = searchInput({broken});
    LauncherOptions withLimit = options();
    withLimit.env["CVLAUNCH_VERIFY_TIME_LIMIT_MS"] = "200";

    LauncherResult result = run(work_.file("launcher"), {"-cv:in", input}, withLimit);

    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "0\n");
    EXPECT_TRUE(contains(result.log, "did not end within 0.2 seconds")) << result.log;
}

// Whatever the Java of a probe starts ends with the probe: also a process
// that left its group and session, or one whose parent ended before it.
TEST_F(FailureProcessTest, ProbeLeavesNoProcessBehind) {
    const struct {
        const char* name;
        const char* start;
    } cases[] = {
        {"setsid", "setsid sh -c 'echo $$ > \"$pids\"; exec sleep 301' &"},
        {"forked twice", "(setsid sh -c 'echo $$ > \"$pids\"; exec sleep 301' &) &"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string pids = work_.file(std::string("pid-") + c.name);
        std::string home = makeHome(std::string("orphans-") + c.name,
                                    "pids=" + testsupport::shellQuote(pids) + "; export pids\n" +
                                        c.start + "\nwhile [ ! -s \"$pids\" ]; do sleep 0.01; " +
                                        "done\nprintf '%s\\n' 1739021872 Fake\n")
                               .home();
        LauncherOptions noCache = options();
        noCache.env["CVLAUNCH_VERIFY_CACHE"] = "0";

        LauncherResult result =
            run(work_.file("launcher"), {"-cv:in", searchInput({home})}, noCache);

        EXPECT_EQ(result.out.substr(0, 2), "1\n") << result.out << result.err;
        int pid = std::stoi(readFile(pids));
        EXPECT_TRUE(testsupport::processGone(pid)) << pid;
        kill(pid, SIGKILL);
        for (const std::string& name : temp_.entries()) {
            testsupport::runProcess({"/bin/rm", "-rf", temp_.file(name)});
        }
    }
}

// ---- Interrupts at each stage ------------------------------------------------------------
// An interrupt while the program itself runs is tested in InterruptProcessTest.

class InterruptedStageTest : public FailureProcessTest, public ::testing::WithParamInterface<int> {
  protected:
    // Sends the signal once `ready` holds and checks the launcher's end: its
    // status, and no result line, since the search did not end.
    template <typename Ready>
    void interrupt(const std::vector<std::string>& argv, Ready ready) {
        auto start = std::chrono::steady_clock::now();
        testsupport::BackgroundProcess process(argv, options());
        ASSERT_TRUE(ready());
        process.signal(GetParam());
        testsupport::ProcessResult result = process.wait();
        std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(result.status, 128 + GetParam()) << result.out << result.err;
        EXPECT_EQ(result.out, "");
        EXPECT_LT(elapsed.count(), 10.0);
    }
};

TEST_P(InterruptedStageTest, DuringVerification) {
    FakeJavaHome slow = makeHome("slow", "exec sleep 30\n");
    std::string input = searchInput({slow.home()});
    interrupt(command(work_.file("launcher"), {"-cv:in", input}),
              [&slow] { return slow.waitForRun(); });
    EXPECT_TRUE(contains(readFile(log()), "Executing launch script command: ")) << readFile(log());
}

TEST_P(InterruptedStageTest, DuringTheDiskWalk) {
    std::string exe = "bin/cvtest-" + std::to_string(getpid()) + "-nowhere";
    writeFile(work_.file("fake.jvm"), "JVM_EXE: " + exe + "\nJVM_PROPERTIES: java.vendor=Fake\n");
    launcherFile({{FILE_JVM, "fake.jvm"}}).write("launcher");
    writeFile(work_.file("input.tag"),
              "ACTION: SEARCH_ALL\nSHOW_PROGRESS: 0\nSHOW_FAIL_MSG: 0\nLOGFILE: " + log() + "\n");
    interrupt(command(work_.file("launcher"), {"-cv:in", work_.file("input.tag")}), [this] {
        for (int i = 0; i < 500 && !contains(readFile(log()), "Beginning exhaustive search"); ++i) {
            usleep(10000);
        }
        return contains(readFile(log()), "Beginning exhaustive search");
    });
}

TEST_P(InterruptedStageTest, DuringExtraction) {
    // Large enough that its extraction is seen under way.
    std::string launcher = packLauncher(size_t(64) << 20);
    interrupt(command(launcher), [this] {
        for (int i = 0; i < 100000 && temp_.isEmpty(); ++i) {
            usleep(100);
        }
        return !temp_.isEmpty();
    });
    EXPECT_FALSE(java_.ran());
}

INSTANTIATE_TEST_SUITE_P(Signals, InterruptedStageTest, ::testing::Values(SIGINT, SIGTERM));

}  // namespace
