// The probe of a home: the verification step, the run of the verification
// class (or the answer of the verification cache), and what its output says.
#include <cstdlib>
#include <vector>

#include "base/StringDeque.h"
#include "base/TextUtils.h"
#include "jvm/JVMFile.h"
#include "jvm/JVMMatch.h"
#include "jvm/UnfitJVMs.h"
#include "jvm/VerifyClass.h"
#include "launcher/Launcher.h"
#include "launcher/LauncherException.h"
#include "launchscript/CommandText.h"
#include "launchscript/LaunchScript.h"
#include "platform/PlatformImpl.h"
#include "platform/SubStatusWrapper.h"
#include "tagfile/TagFile.h"

namespace {

// The first line of the verification class's output.
const char* const kVerificationMarker = "1739021872";

// How long one verification run may take: a broken java that waits for input
// or never ends must not stop the search. The variable, in milliseconds,
// shortens the limit for tests; read at every verification.
const long kVerifyTimeLimitMs = 60000;
const char* const kVerifyTimeLimitVariable = "CVLAUNCH_VERIFY_TIME_LIMIT_MS";
// The variable's earlier name, which a user may have set.
const char* const kVerifyTimeLimitAlias = "CV_VERIFY_TIME_LIMIT_MS";
// The verification class prints a few short lines; a java that prints
// without end must not exhaust the launcher.
const size_t kVerifyOutputLimit = 1 << 20;

const char* const kJavaVersionProperty = "java.version";

// The limit in force: the variable's value (or its alias's) when it is a
// positive number, otherwise kVerifyTimeLimitMs.
long verifyTimeLimit() {
    SString text = PlatformImpl::getEnvironmentVariable(kVerifyTimeLimitVariable);
    if (text.empty()) {
        text = PlatformImpl::getEnvironmentVariable(kVerifyTimeLimitAlias);
    }
    char* end = nullptr;
    long limit = strtol(text.c_str(), &end, 10);
    return !text.empty() && *end == '\0' && limit > 0 ? limit : kVerifyTimeLimitMs;
}

// The index of the first expected property whose value does not match, of
// those that have a value; expected.count when they all match.
long firstMismatch(const StringDeque& values, const StringPairPtrDeque& expected) {
    long i = 0;
    while (i < expected.count && i < values.count && expected.at(i)->matches(values.at(i))) {
        ++i;
    }
    return i < values.count ? i : expected.count;
}

std::vector<SString> valueList(const StringDeque& values) {
    std::vector<SString> list;
    for (long i = 0; i < values.count; ++i) {
        list.push_back(values.at(i));
    }
    return list;
}

}  // namespace

JVMMatch* JVMFile::verify(const VerifyClass& verifyClass, bool askVersion) const {
    if (!hasRequiredProperties()) {
        return nullptr;
    }
    return verify(tagValue("JVM_HOME"), verifyClass, askVersion);
}

JVMMatch* JVMFile::verify(const SString& home, const VerifyClass& verifyClass,
                          bool askVersion) const {
    SString jvmExe = tagValue(kJvmExeTagName);
    if (jvmExe.empty() || home.empty()) {
        return nullptr;
    }
    SubStatusWrapper subStatus;
    SString description = tagValue("DESC");
    PlatformImpl::setUISubStatus(SUBSTATUS_VERIFYING, description);

    SString executable = pathInDirectory(home, jvmExe);
    Launcher::logInfo("Verifying JVM at ", executable, "\n   for JVM: ", description);
    if (!PlatformImpl::fileExists(executable)) {
        ProbeOutcome::missing(home, executable).log();
        PlatformImpl::advanceUIProgress(2);
        return nullptr;
    }
    if (!performVerify(home, verifyClass, askVersion).matched()) {
        return nullptr;
    }
    return new JVMMatch(home, *m_tagFile);
}

ProbeOutcome JVMFile::performVerify(const SString& home, const VerifyClass& verifyClass,
                                    bool askVersion) const {
    m_tagFile->setTagValue("JVM_HOME", home);
    VerifyCache::Key key;
    ProbeOutcome outcome = ProbeOutcome::unsatisfiable(home);
    try {
        key = VerifyCache::keyOf(executableIn(home), verifyClass);
        outcome = runVerification(home, key, verifyClass, askVersion);
    } catch (const LauncherException& e) {
        // One candidate that cannot be probed ends nothing but its own try;
        // a signal ends the search.
        PlatformImpl::throwIfInterrupted();
        outcome = ProbeOutcome::failed(home, e.message);
    }
    outcome.log();
    if (outcome.kind() == ProbeOutcome::Kind::TimedOut) {
        VerifyCache::storeTimeout(key);
    }
    PlatformImpl::advanceUIProgress(6);
    return outcome;
}

ProbeOutcome JVMFile::runVerification(const SString& home, const VerifyCache::Key& key,
                                      const VerifyClass& verifyClass, bool askVersion) const {
    StringPairPtrDeque expected;
    StringDeque names;
    if (!readExpectedProperties(expected, names)) {
        return ProbeOutcome::unsatisfiable(home);
    }
    // Asked for after the expected ones, so that they keep their places.
    if (askVersion && !names.contains(kJavaVersionProperty)) {
        names.push_back(kJavaVersionProperty);
    }
    StringDeque values;
    if (VerifyCache::lookup(key, names, values)) {
        return judge(home, names, values, expected, 0).answeredByCache(key.executable);
    }
    LaunchScript script(buildVerifyCommand(home, verifyClass, names), true, false);
    ProcessOptions options;
    options.timeLimitMs = verifyTimeLimit();
    options.nullInput = true;
    options.killGroupAtEnd = true;
    options.captureLimit = kVerifyOutputLimit;
    // Apart from a run that was stopped, the exit code says nothing for the
    // match: only the output decides. Only a clean run is remembered.
    int exitCode = script.execute(*this, nullptr, false, options);
    if (exitCode == kProcessTimedOut) {
        return ProbeOutcome::timedOut(home, options.timeLimitMs);
    }
    SString lastLine;
    if (!markedLines(script.m_stdOut, values, lastLine)) {
        return ProbeOutcome::noMarker(home, lastLine);
    }
    if (exitCode == 0 && values.count >= names.count) {
        VerifyCache::store(key, names, values);
    }
    return judge(home, names, values, expected, exitCode);
}

ProbeOutcome JVMFile::judge(const SString& home, const StringDeque& names,
                            const StringDeque& values, const StringPairPtrDeque& expected,
                            int exitStatus) const {
    for (long i = 0; i < names.count && i < values.count; ++i) {
        if (names.at(i).compare(kJavaVersionProperty) == 0) {
            m_tagFile->setTagValue("JAVA_VERSION", values.at(i));
        }
    }
    long index = firstMismatch(values, expected);
    if (index < expected.count) {
        UnfitJVMs::add(home, values.at(index));
        return ProbeOutcome::unfit(home, *expected.at(index), values.at(index));
    }
    // The class prints one line per property, so output that ends early
    // comes from a run that failed.
    return values.count < expected.count ? ProbeOutcome::incomplete(home, exitStatus)
                                         : ProbeOutcome::matched(home, valueList(values));
}

SString JVMFile::buildVerifyCommand(const SString& home, const VerifyClass& verifyClass,
                                    const StringDeque& names) const {
    // The home comes from the disk and the class from the caller: they may
    // hold any character, and are data.
    SString command = joinText(CommandText::value(executableIn(home)), " %CP%(",
                               quoteArgument(CommandText::value(verifyClass.classpath())), ") ",
                               CommandText::value(verifyClass.className()));
    for (long i = 0; i < names.count; ++i) {
        command += ' ';
        command += names.at(i);
    }
    return command;
}

bool JVMFile::verifyJVMOutput(const SString& output, const StringPairPtrDeque& expected) {
    StringDeque values;
    SString lastLine;
    if (!markedLines(output, values, lastLine)) {
        ProbeOutcome::noMarker(SString(), lastLine).log();
        return false;
    }
    return valuesMatch(values, expected);
}

bool JVMFile::markedLines(const SString& output, StringDeque& lines, SString& lastLine) {
    unsigned int index = 0;
    SString line;
    bool markerFound = false;
    while (!markerFound && index < output.length()) {
        line.erase();
        readLineFromString(output, index, line);
        markerFound = line.compare(kVerificationMarker) == 0;
    }
    if (!markerFound) {
        lastLine = line;
        return false;
    }
    while (index < output.length()) {
        line.erase();
        readLineFromString(output, index, line);
        lines.push_back(line);
    }
    return true;
}

bool JVMFile::valuesMatch(const StringDeque& values, const StringPairPtrDeque& expected) {
    return values.count >= expected.count && firstMismatch(values, expected) == expected.count;
}
