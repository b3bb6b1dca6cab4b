#include "jvm/ProbeOutcome.h"

#include <cstdio>

#include "base/TextUtils.h"
#include "launcher/Launcher.h"

ProbeOutcome::ProbeOutcome(Kind kind, const SString& home, const SString& detail)
    : m_kind(kind), m_home(home), m_detail(detail) {}

ProbeOutcome ProbeOutcome::matched(const SString& home, const std::vector<SString>& values) {
    ProbeOutcome outcome(Kind::Matched, home);
    outcome.m_values = values;
    return outcome;
}

ProbeOutcome ProbeOutcome::unfit(const SString& home, const StringPair& wanted,
                                 const SString& reported) {
    ProbeOutcome outcome(Kind::Unfit, home);
    outcome.m_wanted = wanted;
    outcome.m_reported = reported;
    return outcome;
}

ProbeOutcome ProbeOutcome::incomplete(const SString& home, int exitStatus) {
    ProbeOutcome outcome(Kind::Incomplete, home);
    outcome.m_exitStatus = exitStatus;
    return outcome;
}

ProbeOutcome ProbeOutcome::noMarker(const SString& home, const SString& lastLine) {
    return ProbeOutcome(Kind::NoMarker, home, lastLine);
}

ProbeOutcome ProbeOutcome::timedOut(const SString& home, long limitMs) {
    ProbeOutcome outcome(Kind::TimedOut, home);
    outcome.m_limitMs = limitMs;
    return outcome;
}

ProbeOutcome ProbeOutcome::failed(const SString& home, const SString& reason) {
    return ProbeOutcome(Kind::Failed, home, reason);
}

ProbeOutcome ProbeOutcome::planted(const SString& home, const SString& risk) {
    return ProbeOutcome(Kind::Planted, home, risk);
}

ProbeOutcome ProbeOutcome::missing(const SString& home, const SString& executable) {
    return ProbeOutcome(Kind::Missing, home, executable);
}

ProbeOutcome ProbeOutcome::unsatisfiable(const SString& home) {
    return ProbeOutcome(Kind::Unsatisfiable, home);
}

ProbeOutcome ProbeOutcome::answeredByCache(const SString& executable) const {
    ProbeOutcome outcome(*this);
    outcome.m_cachedExecutable = executable;
    return outcome;
}

void ProbeOutcome::log() const {
    if (!m_cachedExecutable.empty()) {
        Launcher::logInfo("The properties of ", m_cachedExecutable,
                          " come from the verification cache");
    }
    switch (m_kind) {
        case Kind::Matched:
            Launcher::logInfo("Found matching JVM at ", m_home);
            break;
        case Kind::Unfit:
            Launcher::logInfo("The JVM at ", m_home,
                              " does not fit: ", m_wanted.mismatch(m_reported));
            break;
        case Kind::NoMarker:
            Launcher::logMessage(joinText("Invalid magic value: ", m_detail, "\n"), LOG_ERROR);
            break;
        case Kind::TimedOut: {
            char seconds[32];
            snprintf(seconds, sizeof seconds, "%g", m_limitMs / 1000.0);
            Launcher::logMessage(joinText("Verification of ", m_home, " did not end within ",
                                          seconds, " seconds; it was stopped."),
                                 LOG_WARNING);
            break;
        }
        case Kind::Failed:
            Launcher::logMessage(joinText("Verification of ", m_home, " failed: ", m_detail),
                                 LOG_WARNING);
            break;
        case Kind::Planted:
            Launcher::logMessage(joinText("Skipping JVM at ", m_home, ": ", m_detail), LOG_WARNING);
            break;
        case Kind::Missing:
            Launcher::logInfo("", m_detail, " does not exist");
            break;
        case Kind::Incomplete:
        case Kind::Unsatisfiable:
            break;
    }
}
