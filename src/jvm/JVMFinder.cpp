#include "jvm/JVMFinder.h"

#include "base/TextUtils.h"
#include "jvm/JVMFile.h"
#include "jvm/JVMLocations.h"
#include "jvm/JavaVersion.h"
#include "platform/PlatformImpl.h"
#include "tagfile/TagFile.h"

namespace {

// The properties that a probe asks for, in the order of FoundJVM's values;
// "=..." accepts any value.
const char* const kProperties[] = {"java.version=...", "java.specification.version=...",
                                   "java.vendor=...", "os.arch=..."};

// The description file of the probes: any JVM whose Java is bin/java.
void describeAnyJVM(TagFile& tags) {
    tags.setTagValue("DESC", "Java");
    tags.setTagValue(kJvmExeTagName, "bin/java");
    for (const char* property : kProperties) {
        tags.appendTagValue(kJvmPropertiesTagName, property);
    }
}

// The major version of a java.specification.version: "17" is 17, "1.8" is 8;
// 0 for a value that is no version.
long majorVersion(const SString& specificationVersion) {
    JavaVersion version;
    JavaVersion::parse(specificationVersion, version);
    return version.major();
}

FoundJVM foundJVM(const FinderCandidate& candidate, const std::vector<SString>& values) {
    FoundJVM jvm;
    jvm.version = values[0];
    jvm.major = majorVersion(values[1]);
    jvm.vendor = values[2];
    jvm.arch = values[3];
    jvm.compiler = PlatformImpl::fileExists(pathInDirectory(candidate.home, "bin/javac"));
    if (candidate.location.compare(JVMLocations::kRuntimeStore) == 0) {
        jvm.kind = "runtime";
    } else {
        jvm.kind = jvm.compiler ? "JDK" : "JRE";
    }
    return jvm;
}

// Why a probe that did not match tells of no JVM.
SString failureReason(const ProbeOutcome& outcome) {
    char seconds[32];
    switch (outcome.kind()) {
        case ProbeOutcome::Kind::TimedOut:
            snprintf(seconds, sizeof seconds, "%g", outcome.limitMs() / 1000.0);
            return joinText("timed out: stopped after ", seconds, " seconds");
        case ProbeOutcome::Kind::Planted:
            return joinText("skipped as plantable, never run: ", outcome.detail());
        case ProbeOutcome::Kind::NoMarker:
            return joinText("failed verification: its output lacks the verification line",
                            outcome.detail().empty()
                                ? SString()
                                : joinText(" (last line: ", outcome.detail(), ")"));
        case ProbeOutcome::Kind::Incomplete:
            return joinText("failed verification: its output ended early, exit status ",
                            convertToString(static_cast<long>(outcome.exitStatus())));
        case ProbeOutcome::Kind::Failed:
            return joinText("failed verification: ", outcome.detail());
        default:
            return joinText("failed verification: ", outcome.wanted().mismatch(outcome.reported()));
    }
}

// The candidate that stands for every candidate with the real path of the one
// at `index`: the first of them, or a later one of its location whose home
// is that real path itself rather than a link to it (SDKMAN's "current").
size_t representative(const std::vector<FinderCandidate>& candidates,
                      const std::vector<SString>& realHomes, size_t index) {
    const SString& real = realHomes[index];
    if (real.empty()) {
        return index;
    }
    size_t first = 0;
    while (realHomes[first].compare(real) != 0) {
        ++first;
    }
    for (size_t k = first; k < candidates.size(); ++k) {
        if (realHomes[k].compare(real) == 0 && candidates[k].home.compare(real) == 0 &&
            candidates[k].location.compare(candidates[first].location) == 0) {
            return k;
        }
    }
    return first;
}

// Probes one candidate, or says why it is not probed.
void probe(const JVMFile& anyJVM, const VerifyClass& verifyClass, FinderCandidate& candidate) {
    SString java = anyJVM.executableIn(candidate.home);
    if (!PlatformImpl::fileExists(java)) {
        candidate.reason = joinText("no Java: ", java, " does not exist");
        return;
    }
    std::optional<ProbeOutcome> planted;
    if (candidate.location.compare(JVMLocations::kJavaHome) != 0) {
        planted = anyJVM.plantedOutcome(candidate.home);
    }
    ProbeOutcome outcome =
        planted ? *planted : anyJVM.performVerify(candidate.home, verifyClass, false);
    if (outcome.matched() && outcome.values().size() >= 4) {
        candidate.jvm = foundJVM(candidate, outcome.values());
    } else {
        candidate.reason = failureReason(outcome);
    }
}

}  // namespace

std::vector<FinderCandidate> JVMFinder::find(const VerifyClass& verifyClass) {
    TagFile tags;
    describeAnyJVM(tags);
    JVMFile anyJVM(tags);
    std::vector<FinderCandidate> candidates;
    std::vector<SString> realHomes;
    for (const JVMLocations::Home& found : JVMLocations::homes(true)) {
        candidates.push_back({found.home, found.location, std::nullopt, SString()});
        realHomes.push_back(PlatformImpl::resolvePath(found.home));
    }
    for (size_t i = 0; i < candidates.size(); ++i) {
        size_t same = representative(candidates, realHomes, i);
        if (same != i) {
            candidates[i].reason = joinText("the same JVM as ", candidates[same].home);
        } else {
            probe(anyJVM, verifyClass, candidates[i]);
        }
        PlatformImpl::throwIfInterrupted();
    }
    return candidates;
}
