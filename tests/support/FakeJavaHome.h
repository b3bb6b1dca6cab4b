#pragma once

#include <optional>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace testsupport {

// A JVM home whose Java is a shell script, for running searches,
// verifications and launches without Java. Every run of the script first
// records, byte for byte, the arguments, the environment and the working
// directory it got, in files beside it that the next run overwrites; then it
// appends the home as a line to the file that CVTEST_JAVA_RUNS names, when
// that variable is set, so that a test sees in which order several homes
// ran; then it runs the body. A `native` Java is an ELF program, as a real
// one is, that runs the script, which is then <home>/<exe>.sh.
class FakeJavaHome {
  public:
    // Writes <home>/<exe>, making the missing directories.
    FakeJavaHome(const std::string& home, const std::string& body,
                 const std::string& exe = "bin/java", bool native = false);

    const std::string& home() const { return home_; }

    bool ran() const { return fileExists(java_ + ".args"); }
    // Waits at most timeoutMs for a run to begin; true when one did.
    bool waitForRun(int timeoutMs = 5000) const { return waitForFile(java_ + ".args", timeoutMs); }
    // What the last run got; env is empty for a variable it did not get.
    std::vector<std::string> args() const;
    std::optional<std::string> env(const std::string& name) const;
    std::string cwd() const;

  private:
    std::string home_;
    std::string java_;
};

// A home whose Java passes verification: it prints the verification marker
// and then `values`, a printf format ("17\\nFake Corp\\n").
FakeJavaHome writeVerifyingJava(const std::string& home, const std::string& values,
                                const std::string& exe = "bin/java");

}  // namespace testsupport
