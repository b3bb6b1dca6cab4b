// libFuzzer entry point of the VerifyCache target; the body is in FuzzTargets.cpp.
#include "FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzVerifyCache(data, size);
    return 0;
}
