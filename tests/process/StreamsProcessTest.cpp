// The display goes to standard error; standard output carries only the Java
// program's output and the result lines. A stream that cannot be written
// (/dev/full fails every write) silences the display and the run goes on;
// only result lines that cannot be written fail it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/FakeJavaHome.h"
#include "support/LauncherProcessTest.h"

namespace {

class StreamsProcessTest : public testsupport::LauncherProcessTest {
  protected:
    std::vector<std::string> app() const {
        return {packDirectLaunch(app_.home(), "x", "DESC: My App\nDISPLAY_CONSOLE: 1\n")};
    }

    // A SEARCH for a JVM of `vendor` over a home whose Java reports Fake.
    std::vector<std::string> search(const std::string& vendor) const {
        testsupport::writeFile(work_.file(vendor + ".jvm"),
                               "JVM_EXE: bin/java\nPATH_HINT: " + jdk_.home() +
                                   "\nJVM_PROPERTIES: java.vendor=" + vendor);
        testsupport::writeFile(
            work_.file(vendor + ".tag"),
            "ACTION: SEARCH\nUI_TITLE: My App\nLOGFILE: " + log() + "\nJVM: " + vendor + ".jvm");
        return launcherCommand(testsupport::cvlaunchPath(), {"-cv:in", vendor + ".tag"}, options());
    }

    // Its echo reports no failed write, so standard error holds the display alone.
    testsupport::FakeJavaHome app_{work_.file("home"), "echo hello 2>&-\nexit 3\n", "java"};
    testsupport::FakeJavaHome jdk_ = testsupport::writeVerifyingJava(work_.file("jdk"), "Fake\\n");
};

TEST_F(StreamsProcessTest, OnlyTheProgramsOutputAndTheResultsGoToStandardOutput) {
    const std::string cvlaunch = testsupport::cvlaunchPath();
    const std::string lost =
        "Unable to write a result line to standard output: No space left on device\n";
    const struct {
        std::vector<std::string> argv;
        const char* redirect;
        int status;
        std::string out;
        std::string err;
    } rows[] = {
        {app(), "", 3, "hello\n", "My App\n"},
        {search("Other"), "", 0, "0\n", "My App\n"},
        // The run ends with no empty line after a row that holds no mark.
        {{cvlaunch, "-cv:orig"}, "", 255, "", "Missing original launcher file name.\n"},
        {app(), ">/dev/full", 3, "", "My App\n"},
        {app(), "2>/dev/full", 3, "hello\n", ""},
        // The match file named in the lost lines is removed with the rest.
        {search("Fake"), ">/dev/full", 255, "", "My App\n" + lost},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.redirect + row.argv[0]);
        auto result = testsupport::runInShell(std::string("exec \"$@\" ") + row.redirect, row.argv,
                                              options());
        EXPECT_EQ(result.status, row.status);
        EXPECT_EQ(result.out, row.out);
        EXPECT_EQ(result.err, row.err);
    }
    EXPECT_NE(testsupport::readFile(log()).find("ERROR: " + lost), std::string::npos);
}

}  // namespace
