#include "jvm/ProbeOutcome.h"

#include <gtest/gtest.h>

#include <string>

#include "support/LauncherUnitTest.h"

namespace {

using Kind = ProbeOutcome::Kind;

const std::string kLogHeader = "------------------\n";

class ProbeOutcomeTest : public testsupport::LauncherUnitTest {};

// Each row: an outcome, its kind, and the lines it writes to the log.
TEST_F(ProbeOutcomeTest, EachKindWritesItsLogLine) {
    const StringPair range("java.specification.version", "26", PropertyOperator::AtLeast);
    const struct {
        const char* name;
        ProbeOutcome outcome;
        Kind kind;
        std::string log;
    } cases[] = {
        {"matched", ProbeOutcome::matched("/jdk"), Kind::Matched, "Found matching JVM at /jdk\n"},
        {"unfit", ProbeOutcome::unfit("/jdk", range, "25"), Kind::Unfit,
         "The JVM at /jdk does not fit: java.specification.version 25 is below 26\n"},
        {"incomplete", ProbeOutcome::incomplete("/jdk", 1), Kind::Incomplete, ""},
        {"no marker", ProbeOutcome::noMarker("/jdk", "Error: no class"), Kind::NoMarker,
         "ERROR: Invalid magic value: Error: no class\n\n"},
        {"timed out", ProbeOutcome::timedOut("/jdk", 1500), Kind::TimedOut,
         "WARNING: Verification of /jdk did not end within 1.5 seconds; it was stopped.\n"},
        {"failed", ProbeOutcome::failed("/jdk", "no fork"), Kind::Failed,
         "WARNING: Verification of /jdk failed: no fork\n"},
        {"planted", ProbeOutcome::planted("/jdk", "/jdk is writable by others"), Kind::Planted,
         "WARNING: Skipping JVM at /jdk: /jdk is writable by others\n"},
        {"missing", ProbeOutcome::missing("/jdk", "/jdk/bin/java"), Kind::Missing,
         "/jdk/bin/java does not exist\n"},
        {"unsatisfiable", ProbeOutcome::unsatisfiable("/jdk"), Kind::Unsatisfiable, ""},
        {"cached", ProbeOutcome::matched("/jdk").answeredByCache("/real/bin/java"), Kind::Matched,
         "The properties of /real/bin/java come from the verification cache\n"
         "Found matching JVM at /jdk\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        size_t before = log().size();
        c.outcome.log();
        std::string written = log().substr(before);
        // The line that opens a log file comes with its first entry.
        if (written.rfind(kLogHeader, 0) == 0) {
            written.erase(0, kLogHeader.size());
        }
        EXPECT_EQ(written, c.log);
        EXPECT_EQ(c.outcome.kind(), c.kind);
        EXPECT_EQ(c.outcome.matched(), c.kind == Kind::Matched);
    }
}

}  // namespace
