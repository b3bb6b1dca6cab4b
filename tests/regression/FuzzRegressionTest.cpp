// Replays the seed corpus of every fuzz target (fuzz/corpus/<target>/) and
// every input kept from a finding (tests/regression/<target>/) through the
// same body as the fuzzer. This binary links the harmless JVM and launch
// actions in place of the real ones, like the fuzz targets.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "FuzzTargets.h"
#include "launcher/Launcher.h"
#include "platform/PlatformImpl.h"

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> inputsOf(const char* target) {
    std::vector<fs::path> inputs;
    for (const char* folder : {FUZZ_CORPUS_DIR, REGRESSION_DIR}) {
        fs::path directory = fs::path(folder) / target;
        if (!fs::is_directory(directory)) {
            continue;
        }
        for (const auto& entry : fs::directory_iterator(directory)) {
            if (entry.is_regular_file()) {
                inputs.push_back(entry.path());
            }
        }
    }
    std::sort(inputs.begin(), inputs.end());
    return inputs;
}

std::string readInput(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void run(FuzzBody body, const std::string& input) {
    body(reinterpret_cast<const uint8_t*>(input.data()), input.size());
}

class FuzzRegressionTest : public ::testing::TestWithParam<FuzzTarget> {};

TEST_P(FuzzRegressionTest, EveryKeptInputRunsCleanly) {
    std::vector<fs::path> inputs = inputsOf(GetParam().name);
    ASSERT_FALSE(inputs.empty()) << "no seed corpus for " << GetParam().name;
    for (const fs::path& path : inputs) {
        SCOPED_TRACE(path.string());
        EXPECT_NO_THROW(run(GetParam().run, readInput(path)));
    }
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzRegressionTest,
                         ::testing::ValuesIn(kFuzzTargets, kFuzzTargets + kFuzzTargetCount),
                         [](const ::testing::TestParamInfo<FuzzTarget>& info) {
                             return std::string(info.param.name);
                         });

// The harness itself: each input starts from the same state, whatever the
// one before it did.

TEST(FuzzHarnessTest, EndlessProgramEndsOnTheBudgetAndTheNextGetsAFullOne) {
    // Two instructions before the loop, then two per round.
    run(fuzzInstructions, "SET S1 =\n:top\nSET S1 = @S1@x\nGOTO top\n");
    EXPECT_EQ(Launcher::getStringVariable(1).length(), unsigned(kInstructionBudget / 2 - 1));

    std::string countdown;
    for (long i = 0; i < kInstructionBudget - 1; ++i) {
        countdown += "// wait\n";
    }
    run(fuzzInstructions, countdown + "SET N3 = 7\n");
    EXPECT_EQ(Launcher::getLongVariable(3), 7);
}

TEST(FuzzHarnessTest, VariablesStartEmptyForEveryInput) {
    run(fuzzInstructions, "SET S2 = kept\nSET N4 = 9\n");
    ASSERT_EQ(Launcher::getStringVariable(2).compare("kept"), 0);
    run(fuzzInstructions, "");
    EXPECT_TRUE(Launcher::getStringVariable(2).empty());
    EXPECT_EQ(Launcher::getLongVariable(4), 0);
}

TEST(FuzzHarnessTest, FakeActionsSetResultsFromTheirArguments) {
    struct Case {
        const char* program;
        long n1;
        const char* s2;
    } cases[] = {
        {"FIND_JVM 1 0\n", 1, "/fuzz/jvm.match"},
        {"FIND_JVM 0 1\n", 0, ""},
        {"VERIFY 0 0 4\n", 1, ""},
        {"VERIFY 0 0 3\n", 0, ""},
        {"INSTALL_JVM 2\n", 1, ""},
        {"INSTALL_JVM 0\n", 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program);
        run(fuzzInstructions, c.program);
        EXPECT_EQ(Launcher::getLongVariable(1), c.n1);
        EXPECT_EQ(Launcher::getStringVariable(2).compare(c.s2), 0);
    }
}

TEST(FuzzHarnessTest, ExportedClasspathVariableIsRestored) {
    const char* name = "CVFUZZ_TEST_CLASSPATH";
    setenv(name, "before", 1);
    run(fuzzLaunchScript,
        "USE_CP_ENV_VAR: 1\nCP_ENV_VAR: CVFUZZ_TEST_CLASSPATH\n---\nCOMMAND: "
        "%CP%(\"\"a.jar\"\")\n");
    EXPECT_STREQ(getenv(name), "before");
    unsetenv(name);
}

TEST(FuzzHarnessTest, VerifyCacheTargetLeavesTheUsersCacheAlone) {
    setenv("XDG_CACHE_HOME", "/nonexistent/cache", 1);
    setenv("CVLAUNCH_VERIFY_CACHE", "0", 1);
    run(fuzzVerifyCache, "JVM1:\n  /x/bin/java\n  id\n  Verify\n  java.version=9\n/:\n");
    EXPECT_STREQ(getenv("XDG_CACHE_HOME"), "/nonexistent/cache");
    EXPECT_STREQ(getenv("CVLAUNCH_VERIFY_CACHE"), "0");
    unsetenv("XDG_CACHE_HOME");
    unsetenv("CVLAUNCH_VERIFY_CACHE");
}

TEST(FuzzHarnessTest, ConsoleIsSilentAndLogOff) {
    PlatformImpl::setSilent(false);
    Launcher::setLogFileName("/nonexistent/fuzz.log");
    run(fuzzCmdLine, "a b");
    EXPECT_TRUE(PlatformImpl::m_silent);
    EXPECT_TRUE(Launcher::m_logFileName.empty());
}

}  // namespace
