#include "jvm/JVMCandidate.h"

#include "base/TextUtils.h"

bool JVMCandidate::foundOnDisk() const {
    return source == CandidateSource::UsualLocation || source == CandidateSource::Path ||
           source == CandidateSource::DiskWalk;
}

SString JVMCandidate::announcement() const {
    switch (source) {
        case CandidateSource::PathHint:
            return origin.empty()
                       ? joinText("Checking path hint ", home)
                       : joinText("Checking path hint ", home, " (matching ", origin, ")");
        case CandidateSource::CallerJavaHome:
        case CandidateSource::PlatformHint:
            return joinText("Checking JVM at ", home, " which was resolved from platform hint ",
                            origin);
        case CandidateSource::UsualLocation:
            return joinText("Checking JVM at ", home, " found in ", origin);
        case CandidateSource::Path:
            return joinText("Checking JVM at ", home,
                            " which was resolved from the platform JVM path ", origin);
        default:
            return SString();
    }
}
