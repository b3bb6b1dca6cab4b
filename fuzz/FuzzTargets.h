#pragma once

// The bodies of the fuzz targets, shared by the libFuzzer entry points
// (fuzz/Fuzz<Name>.cpp) and by the regression test that replays the seed
// corpora and every kept finding (tests/regression/FuzzRegressionTest.cpp).
//
// Each body takes one input of any bytes, puts the process-wide state it
// touches back to a known start (variable banks emptied, log off, console
// silent, temporary directory and launcher names inside one private
// directory), runs the input through one part of the launcher and returns.
// Every failure the launcher reports as a LauncherException is a normal
// outcome. A broken property of the part under test is thrown as
// FuzzPropertyViolation, which libFuzzer reports as a crash and the
// regression test as a failure.
//
// The bodies need the harmless JVM and launch actions of
// FakeLauncherActions.cpp and the instruction budget of FakeInterrupts.cpp
// linked in place of the real ones: an input never searches the disk, starts
// a process or waits for a signal.
//
// Input forms:
//   LauncherFile  a whole launcher file: stub bytes, embedded files, file
//                 index and trailer; loaded with its tag files. When it
//                 loads, every entry is extracted from it into a new
//                 directory; a name that would leave the directory must be
//                 refused.
//   TagFile       a tag file; what loads is written back, read again and
//                 compared.
//   Instructions  an instruction program, one instruction per line (split at
//                 line feeds, nothing trimmed), run to its end or until the
//                 instruction budget is spent.
//   LaunchScript  a JVM description file, a line "---", then a launch script
//                 file (without the line, all of it is the launch script);
//                 the command is resolved against the JVM file, not run.
//   CmdLine       a command line, split into arguments.
//   JavaVersion   up to three lines, each read as a Java version (with and
//                 without the "1." rule), which must be ordered totally; the
//                 first is also read as a JVM_PROPERTIES entry and, when it
//                 is a range, its four operators must agree on the second
//                 line as the value a JVM reports.
//   VerifyCache   the file of the verified-JVM cache; a store into it must
//                 write a file that reads back as it was written.
//   JarManifest   the text of a jar manifest, from which Main-Class and
//                 Class-Path are read: one line each, trimmed.
//   JavaRange     cvpack's --java range; what it gives must be one or two
//                 JVM_PROPERTIES entries that the launcher reads, in order.
//   LiteralWords  a ".ja" line, split into the words a shell would make of
//                 it; each word, quoted again, must split into itself.

#include <cstddef>
#include <cstdint>
#include <stdexcept>

class FuzzPropertyViolation : public std::logic_error {
  public:
    using std::logic_error::logic_error;
};

using FuzzBody = void (*)(const uint8_t* data, size_t size);

struct FuzzTarget {
    const char* name;  // the corpus folder and, with "Fuzz" before it, the binary
    FuzzBody run;
};

extern const FuzzTarget kFuzzTargets[];
extern const size_t kFuzzTargetCount;

void fuzzLauncherFile(const uint8_t* data, size_t size);
void fuzzTagFile(const uint8_t* data, size_t size);
void fuzzInstructions(const uint8_t* data, size_t size);
void fuzzLaunchScript(const uint8_t* data, size_t size);
void fuzzCmdLine(const uint8_t* data, size_t size);
void fuzzJavaVersion(const uint8_t* data, size_t size);
void fuzzVerifyCache(const uint8_t* data, size_t size);
void fuzzJarManifest(const uint8_t* data, size_t size);
void fuzzJavaRange(const uint8_t* data, size_t size);
void fuzzLiteralWords(const uint8_t* data, size_t size);

// ---- Provided by the fakes -----------------------------------------------

// The number of instructions one input may start before the fake interrupt
// check ends the program with a LauncherException: an instruction program
// may loop for ever on purpose, which is no finding.
const long kInstructionBudget = 2000;

// Restores the full instruction budget.
void resetInstructionBudget();
