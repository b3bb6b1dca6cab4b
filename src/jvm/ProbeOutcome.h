#pragma once

// What became of one JVM home that a verification took up, as a value: the
// search and its log read it instead of a bare yes or no. A probe runs the
// verification class on the home's Java (JVMFile::performVerify) or takes
// the values from the verification cache; a home may also be left unprobed
// (its executable is missing, another user could have planted its Java, or
// the description file can match nothing).
//
// The log lines of each kind (log()):
//   Matched        "Found matching JVM at <home>"
//   Unfit          "The JVM at <home> does not fit: <why>" (StringPair::mismatch)
//   Incomplete     none: the output ended before every value
//   NoMarker       error "Invalid magic value: <last line>\n"
//   TimedOut       warning "Verification of <home> did not end within <s>
//                  seconds; it was stopped."
//   Failed         warning "Verification of <home> failed: <why>"
//   Planted        warning "Skipping JVM at <home>: <why>"
//   Missing        "<executable> does not exist"
//   Unsatisfiable  none: the invalid entries are logged where they are read
// An outcome that the cache answered is preceded by "The properties of
// <executable> come from the verification cache".

#include <vector>

#include "base/SString.h"
#include "jvm/StringPair.h"

class ProbeOutcome {
  public:
    enum class Kind {
        Matched,        // every expected property fits
        Unfit,          // wanted() does not accept reported()
        Incomplete,     // the run ended, with exitStatus(), before every value
        NoMarker,       // the output lacks the marker; detail() is its last line
        TimedOut,       // stopped after limitMs()
        Failed,         // could not be run; detail() says why
        Planted,        // not run: detail() says who could have planted it
        Missing,        // not run: no executable at detail()
        Unsatisfiable,  // not run: an entry of JVM_PROPERTIES matches nothing
    };

    // `values` are the values reported, one per property asked for, in order.
    static ProbeOutcome matched(const SString& home, const std::vector<SString>& values = {});
    static ProbeOutcome unfit(const SString& home, const StringPair& wanted,
                              const SString& reported);
    static ProbeOutcome incomplete(const SString& home, int exitStatus);
    static ProbeOutcome noMarker(const SString& home, const SString& lastLine);
    static ProbeOutcome timedOut(const SString& home, long limitMs);
    static ProbeOutcome failed(const SString& home, const SString& reason);
    static ProbeOutcome planted(const SString& home, const SString& risk);
    static ProbeOutcome missing(const SString& home, const SString& executable);
    static ProbeOutcome unsatisfiable(const SString& home);
    // This outcome, reached with the values that the verification cache held
    // for `executable` (its canonical path).
    ProbeOutcome answeredByCache(const SString& executable) const;

    Kind kind() const { return m_kind; }
    bool matched() const { return m_kind == Kind::Matched; }
    const SString& home() const { return m_home; }
    const SString& detail() const { return m_detail; }
    const StringPair& wanted() const { return m_wanted; }
    const SString& reported() const { return m_reported; }
    // What a Matched probe reported; empty for the other kinds.
    const std::vector<SString>& values() const { return m_values; }
    long limitMs() const { return m_limitMs; }
    int exitStatus() const { return m_exitStatus; }
    // The executable whose cached values answered; "" after a run.
    const SString& cachedExecutable() const { return m_cachedExecutable; }

    // Writes the lines of this outcome (see the top of this file).
    void log() const;

  private:
    ProbeOutcome(Kind kind, const SString& home, const SString& detail = SString());

    Kind m_kind;
    SString m_home;
    SString m_detail;
    StringPair m_wanted;
    SString m_reported;
    std::vector<SString> m_values;
    long m_limitMs = 0;
    int m_exitStatus = 0;
    SString m_cachedExecutable;
};
