// libFuzzer entry point of the JavaVersion target; the body is in FuzzTargets.cpp.
#include "FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzJavaVersion(data, size);
    return 0;
}
