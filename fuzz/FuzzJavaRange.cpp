// libFuzzer entry point of the JavaRange target; the body is in FuzzTargets.cpp.
#include "FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzJavaRange(data, size);
    return 0;
}
