// Signals at random moments of a run: a verification (fake or real Java), the
// walk of the disk, an extraction, the launch. Whatever the moment, the
// launcher ends with the status that the signal calls for, only after
// everything it started has ended, and leaves no temporary entry. The seed
// is printed; CVTEST_CHAOS_SEED=N replays its runs.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "support/FakeJavaHome.h"
#include "support/LauncherProcessTest.h"

namespace {

using namespace testsupport;

enum Phase { FAKE_VERIFY, JDK_VERIFY, WALK, EXTRACT, LAUNCH };
const char* const kPhases[] = {"fake verification", "JDK verification", "walk", "extraction",
                               "launch"};
// The longest delay of a signal after the start of each phase.
const int kMaxDelayMs[] = {120, 40, 60, 8, 120};

bool forwardedOnly(int signal) {
    return signal == SIGQUIT || signal == SIGUSR1;
}

// The processes of the session, zombies aside, after a grace of some
// milliseconds for the last ones to go.
int sessionMembers(int session) {
    int members = 1;
    for (int tries = 0; tries < 5 && members > 0; ++tries, usleep(10000)) {
        members = 0;
        for (const std::string& name : entriesOf("/proc")) {
            std::string stat = std::isdigit(name[0]) ? readFile("/proc/" + name + "/stat") : "";
            char state = 'Z';
            int member = 0;
            std::sscanf(stat.c_str() + stat.rfind(')') + 1, " %c %*d %*d %d", &state, &member);
            members += member == session && state != 'Z';
        }
    }
    return members;
}

class ChaosProcessTest : public LauncherProcessTest {
  protected:
    // A Java that records each signal of the list (one that ends Java ends
    // it), leaves in its group a process that ignores them all and outlives
    // it only when it is ended early, announces that it runs, runs `java`,
    // prints for a while and passes verification.
    FakeJavaHome fakeJava(const std::string& name, const std::string& java) const {
        std::string body;
        std::string numbers;
        for (int s : signals_) {
            numbers += " " + std::to_string(s);
            body += "trap 'echo " + std::to_string(s) + " >> " + shellQuote(work_.file("signals")) +
                    (forwardedOnly(s) ? "" : "; exit 99") + "' " + std::to_string(s) + "\n";
        }
        return FakeJavaHome(work_.file(name),
                            body + "(trap ''" + numbers + "; sleep 0.3) >/dev/null 2>&1 &\ntouch " +
                                shellQuote(work_.file("running")) + "\n" + java +
                                "\ni=0; while [ $i -lt 12 ]; do echo x >&2; sleep 0.03; " +
                                "i=$((i+1)); done\nprintf '1739021872\\nFake\\n'\nexit 7\n",
                            "java");
    }

    // Starts the run, sends the signal `delayMs` after its phase has begun
    // and checks the end.
    void runOnce(const std::vector<std::string>& command, Phase phase, int signal, int delayMs) {
        for (const char* name : {"signals", "running", "run.log"}) {
            std::remove(work_.file(name).c_str());
        }
        LauncherOptions runOptions = options();
        runOptions.ownSession = true;
        BackgroundProcess launcher(command, runOptions);
        for (int waited = 0; phase == EXTRACT && temp_.isEmpty() && waited < 50000; ++waited) {
            usleep(100);
        }
        EXPECT_TRUE(phase == EXTRACT ||
                    waitForFile(work_.file(phase == WALK ? "run.log" : "running")));
        usleep(delayMs * 1000);
        launcher.signal(signal);
        int session = launcher.pid();
        ProcessResult result = launcher.wait();
        std::string got = readFile(work_.file("signals"));

        EXPECT_EQ(sessionMembers(session), 0);
        EXPECT_TRUE(temp_.isEmpty()) << ::testing::PrintToString(temp_.entries());
        // The walk runs no child; an extraction may end before the signal.
        bool childGotIt = phase != WALK && (phase != EXTRACT || !got.empty());
        EXPECT_EQ(got, childGotIt ? std::to_string(signal) + "\n" : "");
        // Java may die of a signal that is only passed on: it is not
        // verified and nothing is launched.
        int expected = !forwardedOnly(signal) || got.empty() ? 128 + signal : 7;
        if (phase == JDK_VERIFY && expected == 7 && result.status == 0) {
            expected = 0;
        }
        EXPECT_EQ(result.status, expected) << result.err << readFile(log());
    }

    std::vector<int> signals_ = {SIGINT,  SIGTERM, SIGHUP,  SIGQUIT,
                                 SIGUSR1, SIGALRM, SIGXCPU, SIGRTMIN + 2};
    FakeJavaHome sleeper_ = fakeJava("sleeper", "");
};

TEST_F(ChaosProcessTest, EverySignalAtAnyMomentEndsTheRunCleanly) {
    std::string jdk = findJDK();
    ASSERT_FALSE(jdk.empty()) << "no JDK under /usr/lib/jvm";
    const char* given = std::getenv("CVTEST_CHAOS_SEED");
    unsigned seed = given != nullptr ? std::strtoul(given, nullptr, 10) : 20261209u;
    std::printf("chaos seed %u (CVTEST_CHAOS_SEED=%u replays it)\n", seed, seed);
    std::mt19937 random(seed);

    LauncherOptions logged = options();
    logged.logFile = log();
    // Launchers that find (and verify) a JVM and launch the sleeper.
    writeFile(work_.file("find.tag"),
              "INSTRUCTIONS:\n  FIND_JVM 0 0\n  JMP0 @N1@ end\n  LAUNCH \"@S2@\" 0\n  :end\n/:\n");
    writeFile(work_.file("run.tag"), "COMMAND: " + sleeper_.home() + "/java\n");
    auto search = [&](const std::string& name, const std::string& home,
                      const std::string& property) {
        writeFile(work_.file(name),
                  "PATH_HINT: " + home +
                      "\nJVM_EXE: java\nCLASSPATH: \"-cp \"\nJVM_PROPERTIES: " + property + "\n");
        return launcherCommand(launcherFile({{FILE_INSTRUCTIONS, "find.tag"},
                                             {FILE_LAUNCH_SCRIPT, "run.tag"},
                                             {FILE_JVM, name}})
                                   .write(name + ".launcher"),
                               {}, logged);
    };
    // The walk covers the whole file system (about 0.3 s here, warm) and
    // looks for a name that is nowhere: the signal comes well before its end.
    writeFile(work_.file("walk.tag"), "ACTION: SEARCH_ALL\nJVM: absent.jvm\n");
    writeFile(work_.file("absent.jvm"), "JVM_EXE: cv-chaos-absent\nSEARCH_ALL: 1\n");
    // The 24 MB archive takes some milliseconds to extract.
    std::string direct = packDirectLaunch(sleeper_.home(), noise(24 << 20));
    const std::vector<std::string> commands[] = {
        search("fake.jvm", sleeper_.home(), "java.vendor=Fake"),
        search("real.jvm", fakeJava("jdk", jdk + "/bin/java \"$@\"").home(),
               "java.home=" + jdk + "..."),
        launcherCommand(cvlaunchPath(), {"-cv:in", "walk.tag"}, logged),
        launcherCommand(direct, {}, logged), launcherCommand(direct, {}, logged)};
    for (int run = 0; run < 24; ++run) {
        int signal = signals_[run % signals_.size()];
        Phase phase = static_cast<Phase>(random() % 5);
        int delayMs = static_cast<int>(random() % kMaxDelayMs[phase]);
        SCOPED_TRACE("seed " + std::to_string(seed) + ", run " + std::to_string(run) + ": signal " +
                     std::to_string(signal) + " " + std::to_string(delayMs) + " ms into the " +
                     kPhases[phase]);
        runOnce(commands[phase], phase, signal, delayMs);
    }
}

}  // namespace
