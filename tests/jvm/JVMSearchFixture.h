#pragma once

// A fixture for the JVM search tests: fake JVM homes in a fresh temporary
// directory, each with an executable shell script in place of Java that
// records its home in a calls file and prints the verification marker and a
// chosen java.vendor, and in-memory JVM description files that accept one
// vendor. Verification then runs without Java: the scripts ignore their
// arguments, so the class path can name an archive that does not exist.
//
// The fixture also points the launcher's temporary directory, its log and
// PATH into the directory (PATH holds one empty directory, so the PATH phase
// of a search finds nothing unless a test adds to it), clears the user Java
// home, hides the console display and restores all of it afterwards.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "SString.h"
#include "TagFile.h"
#include "support/TestSupport.h"

class JVMSearchFixture : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Creates <dir>/<name>/<exe> printing the marker and `vendor` and
    // returns the home <dir>/<name>.
    std::string makeHome(const std::string& name, const std::string& vendor,
                         const std::string& exe = "bin/java");
    // A description file named `desc` that accepts java.vendor == `vendor`,
    // owned by the fixture.
    TagFile& makeJVMFile(const std::string& desc, const std::string& vendor,
                         const std::string& exe = "bin/java");
    // The homes whose fake Java ran, in order.
    std::vector<std::string> calls() const;
    std::string logText() const;
    // The launcher's temporary directory for this test.
    std::string tempDir() const { return dir_.file("tmp"); }
    // Whether `path` is on the launcher's file cleanup list.
    static bool onCleanupList(const SString& path);
    // Sets an environment variable for this test only.
    void setEnv(const std::string& name, const std::string& value);

    testsupport::TempDir dir_;

  private:
    // Takes everything below our directory off the cleanup lists.
    void forgetCleanupEntries();

    std::vector<std::unique_ptr<TagFile>> tagFiles_;
    std::vector<std::pair<std::string, std::unique_ptr<std::string>>> savedEnv_;
    SString savedTempDir_;
    SString savedLogFile_;
    SString savedUserJavaHome_;
    bool savedUIVisible_ = true;
};

// Creates the directory and its missing parents.
void makeDirectories(const std::string& path);
// The names in a directory, without "." and "..".
std::vector<std::string> entriesOf(const std::string& dir);
