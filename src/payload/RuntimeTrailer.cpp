#include "payload/RuntimeTrailer.h"

#include <cstring>

#include "base/TextUtils.h"

namespace {

const char kMagic[] = "cvlaunch-runtime";
const size_t kMagicSize = sizeof kMagic - 1;

uint64_t readNumber(const unsigned char* bytes) {
    uint64_t value = 0;
    for (int i = 7; i >= 0; --i) {
        value = value << 8 | bytes[i];
    }
    return value;
}

void writeNumber(uint64_t value, unsigned char* bytes) {
    for (int i = 0; i < 8; ++i) {
        bytes[i] = static_cast<unsigned char>(value >> (8 * i));
    }
}

}  // namespace

static_assert(sizeof kMagic - 1 + 16 == RuntimeTrailer::kSize, "the trailer's fields fill it");

bool RuntimeTrailer::parse(const unsigned char* bytes, uint64_t fileSize) {
    if (fileSize < kSize || memcmp(bytes, kMagic, kMagicSize) != 0) {
        return false;
    }
    imageOffset = readNumber(bytes + kMagicSize);
    checksum = readNumber(bytes + kMagicSize + 8);
    return imageOffset <= fileSize - kSize;
}

void RuntimeTrailer::format(unsigned char* bytes) const {
    memcpy(bytes, kMagic, kMagicSize);
    writeNumber(imageOffset, bytes + kMagicSize);
    writeNumber(checksum, bytes + kMagicSize + 8);
}

SString RuntimeTrailer::key() const {
    return hashText(checksum);
}
