#include "base/SString.h"

#include <algorithm>
#include <cstdint>
#include <functional>

#include "base/CharTraits.h"
#include "base/LengthException.h"
#include "base/RangeException.h"

namespace {

const unsigned char kMaxShareCount = 254;
const unsigned char kFrozen = 255;

// Handed out by the non-const operator[] for an index it cannot serve.
char g_nulChar = '\0';

const char* orEmpty(const char* s) {
    return s != nullptr ? s : "";
}

// The number of characters that a count n from pos covers in a text of
// length len; throws RangeException when pos lies beyond the end.
unsigned int countFrom(unsigned int len, unsigned int pos, unsigned int n) {
    if (pos > len) {
        throw RangeException();
    }
    return std::min(n, len - pos);
}

int compareTexts(const char* a, unsigned int na, const char* b, unsigned int nb) {
    int r = CharTraits::compare(a, b, std::min(na, nb));
    if (r != 0) {
        return r;
    }
    return na < nb ? -1 : (na > nb ? 1 : 0);
}

unsigned int findText(const char* p, unsigned int len, const char* s, unsigned int pos,
                      unsigned int n) {
    if (n == 0) {
        return pos <= len ? pos : SString::npos;
    }
    if (n > len) {
        return SString::npos;
    }
    for (unsigned int i = pos; i <= len - n; ++i) {
        if (CharTraits::compare(p + i, s, n) == 0) {
            return i;
        }
    }
    return SString::npos;
}

unsigned int rfindText(const char* p, unsigned int len, const char* s, unsigned int pos,
                       unsigned int n) {
    if (n > len) {
        return SString::npos;
    }
    for (unsigned int i = std::min(pos, len - n);; --i) {
        if (CharTraits::compare(p + i, s, n) == 0) {
            return i;
        }
        if (i == 0) {
            return SString::npos;
        }
    }
}

bool inSet(const char* set, unsigned int n, char c) {
    return CharTraits::find(set, n, c) != nullptr;
}

// First position from pos whose character is (member) or is not (!member) in set.
unsigned int scanForward(const char* p, unsigned int len, const char* set, unsigned int pos,
                         unsigned int n, bool member) {
    for (unsigned int i = pos; i < len; ++i) {
        if (inSet(set, n, p[i]) == member) {
            return i;
        }
    }
    return SString::npos;
}

// Last position up to pos whose character is (member) or is not (!member) in set.
unsigned int scanBackward(const char* p, unsigned int len, const char* set, unsigned int pos,
                          unsigned int n, bool member) {
    if (len == 0) {
        return SString::npos;
    }
    for (unsigned int i = std::min(pos, len - 1);; --i) {
        if (inSet(set, n, p[i]) == member) {
            return i;
        }
        if (i == 0) {
            return SString::npos;
        }
    }
}

}  // namespace

// ---- buffer management ----

unsigned int SString::lengthOf(const char* s) {
    size_t n = s != nullptr ? CharTraits::length(s) : 0;
    if (n > maxSize) {
        throw LengthException();
    }
    return static_cast<unsigned int>(n);
}

char* SString::allocate(unsigned int n, unsigned int& reservedOut) {
    reservedOut = (n | 31u) <= maxSize ? (n | 31u) : n;
    char* buffer = new char[size_t(reservedOut) + 2];
    buffer[0] = 0;
    return buffer + 1;
}

unsigned char SString::shareCount() const {
    return chars != nullptr ? static_cast<unsigned char>(chars[-1]) : 0;
}

bool SString::isShared() const {
    unsigned char count = shareCount();
    return count != 0 && count != kFrozen;
}

bool SString::aliases(const char* s) const {
    std::less_equal<const char*> lessEqual;
    return chars != nullptr && lessEqual(chars, s) && lessEqual(s, chars + reserved);
}

void SString::release() {
    if (chars != nullptr) {
        unsigned char count = shareCount();
        if (count == 0 || count == kFrozen) {
            delete[](chars - 1);
        } else {
            chars[-1] = static_cast<char>(count - 1);
        }
    }
    chars = nullptr;
    len = 0;
    reserved = 0;
}

void SString::reallocate(unsigned int room, unsigned int pos, unsigned int n1, unsigned int n2) {
    unsigned int newReserved = 0;
    char* buffer = allocate(room, newReserved);
    unsigned int newLen = len - n1 + n2;
    CharTraits::copy(buffer, chars, pos);
    CharTraits::copy(buffer + pos + n2, chars + pos + n1, len - pos - n1);
    release();
    chars = buffer;
    reserved = newReserved;
    len = newLen;
    chars[len] = '\0';
}

char* SString::makeGap(unsigned int pos, unsigned int n1, unsigned int n2) {
    uint64_t newLen = uint64_t(len) - n1 + n2;
    if (newLen > maxSize) {
        throw LengthException();
    }
    if (chars == nullptr && newLen == 0) {
        return nullptr;
    }
    if (chars == nullptr || isShared() || newLen > reserved) {
        reallocate(static_cast<unsigned int>(newLen), pos, n1, n2);
    } else {
        CharTraits::move(chars + pos + n2, chars + pos + n1, len - pos - n1);
        len = static_cast<unsigned int>(newLen);
        chars[len] = '\0';
    }
    return chars + pos;
}

char* SString::prepareAssign(unsigned int n) {
    if (n > maxSize) {
        throw LengthException();
    }
    // A buffer above the minimum size is given back, so that a string does not
    // keep a large buffer after a short assignment.
    if (chars == nullptr || isShared() || reserved > 31 || n > reserved) {
        release();
        chars = allocate(n, reserved);
    }
    len = n;
    chars[len] = '\0';
    return chars;
}

void SString::freeze() {
    makeGap(len, 0, 0);
    if (chars != nullptr) {
        chars[-1] = static_cast<char>(kFrozen);
    }
}

SString& SString::assignChars(const char* s, unsigned int n) {
    if (n == 0) {
        release();
        return *this;
    }
    if (aliases(s)) {
        return assign(SString(s, n));
    }
    CharTraits::copy(prepareAssign(n), s, n);
    return *this;
}

SString& SString::assignFill(unsigned int n, char c) {
    if (n == npos) {
        throw LengthException();
    }
    if (n == 0) {
        release();
        return *this;
    }
    CharTraits::assign(prepareAssign(n), n, c);
    return *this;
}

SString& SString::replaceChars(unsigned int pos, unsigned int n1, const char* s, unsigned int n2) {
    // An edit that changes nothing must not cost a shared string its share.
    if (n1 == 0 && n2 == 0) {
        return *this;
    }
    if (n2 != 0 && aliases(s)) {
        SString source(s, n2);
        return replaceChars(pos, n1, source.chars, n2);
    }
    CharTraits::copy(makeGap(pos, n1, n2), s, n2);
    return *this;
}

SString& SString::replaceFill(unsigned int pos, unsigned int n1, unsigned int n2, char c) {
    CharTraits::assign(makeGap(pos, n1, n2), n2, c);
    return *this;
}

// ---- construction and assignment ----

SString::SString(const SString& s) : SString() {
    assign(s);
}

SString::SString(const SString& s, unsigned int pos, unsigned int n) : SString() {
    assign(s, pos, n);
}

SString::SString(const char* s, unsigned int n) : SString() {
    assignChars(s, n);
}

SString::SString(const char* s) : SString() {
    assign(s);
}

SString::SString(unsigned int n, char c) : SString() {
    assignFill(n, c);
}

SString::~SString() {
    release();
}

SString& SString::operator=(const SString& s) {
    return assign(s);
}

SString& SString::operator=(const char* s) {
    return assign(s);
}

SString& SString::operator=(char c) {
    return assignChars(&c, 1);
}

SString& SString::operator+=(const SString& s) {
    return append(s);
}

SString& SString::operator+=(const char* s) {
    return append(s);
}

SString& SString::operator+=(char c) {
    return append(1, c);
}

SString& SString::assign(const SString& s) {
    if (s.chars == chars && s.len == len) {
        return *this;
    }
    if (s.len != 0 && s.shareCount() < kMaxShareCount) {
        release();
        chars = s.chars;
        len = s.len;
        reserved = s.reserved;
        chars[-1] = static_cast<char>(shareCount() + 1);
        return *this;
    }
    return assignChars(s.chars, s.len);
}

SString& SString::assign(const SString& s, unsigned int pos, unsigned int n) {
    n = countFrom(s.len, pos, n);
    return assignChars(s.chars + pos, n);
}

SString& SString::assign(const char* s, unsigned int n) {
    return assignChars(s, n);
}

SString& SString::assign(const char* s) {
    return assignChars(orEmpty(s), lengthOf(s));
}

SString& SString::assign(unsigned int n, char c) {
    return assignFill(n, c);
}

// ---- append, insert, replace, erase ----

SString& SString::append(const SString& s) {
    return replace(len, 0, s);
}

SString& SString::append(const SString& s, unsigned int pos, unsigned int n) {
    return replace(len, 0, s, pos, n);
}

SString& SString::append(const char* s, unsigned int n) {
    return replaceChars(len, 0, s, n);
}

SString& SString::append(const char* s) {
    return replace(len, 0, s);
}

SString& SString::append(unsigned int n, char c) {
    return replaceFill(len, 0, n, c);
}

SString& SString::insert(unsigned int pos, const SString& s) {
    return replace(pos, 0, s);
}

SString& SString::insert(unsigned int pos, const SString& s, unsigned int pos2, unsigned int n) {
    return replace(pos, 0, s, pos2, n);
}

SString& SString::insert(unsigned int pos, const char* s, unsigned int n) {
    return replace(pos, 0, s, n);
}

SString& SString::insert(unsigned int pos, const char* s) {
    return replace(pos, 0, s);
}

SString& SString::insert(unsigned int pos, unsigned int n, char c) {
    return replace(pos, 0, n, c);
}

SString& SString::replace(unsigned int pos, unsigned int n1, const SString& s) {
    return replaceChars(pos, countFrom(len, pos, n1), s.chars, s.len);
}

SString& SString::replace(unsigned int pos, unsigned int n1, const SString& s, unsigned int pos2,
                          unsigned int n2) {
    n1 = countFrom(len, pos, n1);
    n2 = countFrom(s.len, pos2, n2);
    return replaceChars(pos, n1, s.chars + pos2, n2);
}

SString& SString::replace(unsigned int pos, unsigned int n1, const char* s, unsigned int n2) {
    return replaceChars(pos, countFrom(len, pos, n1), s, n2);
}

SString& SString::replace(unsigned int pos, unsigned int n1, const char* s) {
    return replaceChars(pos, countFrom(len, pos, n1), orEmpty(s), lengthOf(s));
}

SString& SString::replace(unsigned int pos, unsigned int n1, unsigned int n2, char c) {
    return replaceFill(pos, countFrom(len, pos, n1), n2, c);
}

SString& SString::erase(unsigned int pos, unsigned int n) {
    return replaceChars(pos, countFrom(len, pos, n), nullptr, 0);
}

// ---- element access and size ----

char SString::at(unsigned int index) const {
    if (index >= len) {
        throw RangeException();
    }
    return chars[index];
}

char& SString::at(unsigned int index) {
    if (index >= len) {
        throw RangeException();
    }
    freeze();
    return chars[index];
}

char& SString::operator[](unsigned int index) {
    if (chars == nullptr || index > len) {
        g_nulChar = '\0';
        return g_nulChar;
    }
    freeze();
    return chars[index];
}

void SString::resize(unsigned int n) {
    resize(n, '\0');
}

void SString::resize(unsigned int n, char c) {
    if (n > len) {
        append(n - len, c);
    } else {
        erase(n);
    }
}

void SString::reserve(unsigned int n) {
    if (n > maxSize) {
        throw LengthException();
    }
    if (n > reserved) {
        reallocate(n, len, 0, 0);
    }
}

unsigned int SString::copy(char* dest, unsigned int n, unsigned int pos) const {
    n = countFrom(len, pos, n);
    CharTraits::copy(dest, c_str() + pos, n);
    return n;
}

SString SString::substr(unsigned int pos, unsigned int n) const {
    return SString(*this, pos, n);
}

// ---- searches ----

unsigned int SString::find(const SString& s, unsigned int pos) const {
    return findText(c_str(), len, s.c_str(), pos, s.len);
}

unsigned int SString::find(const char* s, unsigned int pos, unsigned int n) const {
    return findText(c_str(), len, s, pos, n);
}

unsigned int SString::find(const char* s, unsigned int pos) const {
    return findText(c_str(), len, orEmpty(s), pos, lengthOf(s));
}

unsigned int SString::find(char c, unsigned int pos) const {
    return findText(c_str(), len, &c, pos, 1);
}

unsigned int SString::rfind(const SString& s, unsigned int pos) const {
    return rfindText(c_str(), len, s.c_str(), pos, s.len);
}

unsigned int SString::rfind(const char* s, unsigned int pos, unsigned int n) const {
    return rfindText(c_str(), len, s, pos, n);
}

unsigned int SString::rfind(const char* s, unsigned int pos) const {
    return rfindText(c_str(), len, orEmpty(s), pos, lengthOf(s));
}

unsigned int SString::rfind(char c, unsigned int pos) const {
    return rfindText(c_str(), len, &c, pos, 1);
}

unsigned int SString::find_first_of(const SString& s, unsigned int pos) const {
    return scanForward(c_str(), len, s.c_str(), pos, s.len, true);
}

unsigned int SString::find_first_of(const char* s, unsigned int pos, unsigned int n) const {
    return scanForward(c_str(), len, s, pos, n, true);
}

unsigned int SString::find_first_of(const char* s, unsigned int pos) const {
    return scanForward(c_str(), len, orEmpty(s), pos, lengthOf(s), true);
}

unsigned int SString::find_first_of(char c, unsigned int pos) const {
    return scanForward(c_str(), len, &c, pos, 1, true);
}

unsigned int SString::find_last_of(const SString& s, unsigned int pos) const {
    return scanBackward(c_str(), len, s.c_str(), pos, s.len, true);
}

unsigned int SString::find_last_of(const char* s, unsigned int pos, unsigned int n) const {
    return scanBackward(c_str(), len, s, pos, n, true);
}

unsigned int SString::find_last_of(const char* s, unsigned int pos) const {
    return scanBackward(c_str(), len, orEmpty(s), pos, lengthOf(s), true);
}

unsigned int SString::find_last_of(char c, unsigned int pos) const {
    return scanBackward(c_str(), len, &c, pos, 1, true);
}

unsigned int SString::find_first_not_of(const SString& s, unsigned int pos) const {
    return scanForward(c_str(), len, s.c_str(), pos, s.len, false);
}

unsigned int SString::find_first_not_of(const char* s, unsigned int pos, unsigned int n) const {
    return scanForward(c_str(), len, s, pos, n, false);
}

unsigned int SString::find_first_not_of(const char* s, unsigned int pos) const {
    return scanForward(c_str(), len, orEmpty(s), pos, lengthOf(s), false);
}

unsigned int SString::find_first_not_of(char c, unsigned int pos) const {
    return scanForward(c_str(), len, &c, pos, 1, false);
}

unsigned int SString::find_last_not_of(const SString& s, unsigned int pos) const {
    return scanBackward(c_str(), len, s.c_str(), pos, s.len, false);
}

unsigned int SString::find_last_not_of(const char* s, unsigned int pos, unsigned int n) const {
    return scanBackward(c_str(), len, s, pos, n, false);
}

unsigned int SString::find_last_not_of(const char* s, unsigned int pos) const {
    return scanBackward(c_str(), len, orEmpty(s), pos, lengthOf(s), false);
}

unsigned int SString::find_last_not_of(char c, unsigned int pos) const {
    return scanBackward(c_str(), len, &c, pos, 1, false);
}

// ---- comparison ----

int SString::compare(const SString& s) const {
    return compareTexts(c_str(), len, s.c_str(), s.len);
}

int SString::compare(unsigned int pos, unsigned int n, const SString& s) const {
    n = countFrom(len, pos, n);
    return compareTexts(c_str() + pos, n, s.c_str(), s.len);
}

int SString::compare(unsigned int pos, unsigned int n, const SString& s, unsigned int pos2,
                     unsigned int n2) const {
    n = countFrom(len, pos, n);
    n2 = countFrom(s.len, pos2, n2);
    return compareTexts(c_str() + pos, n, s.c_str() + pos2, n2);
}

int SString::compare(const char* s) const {
    return compareTexts(c_str(), len, orEmpty(s), lengthOf(s));
}

int SString::compare(unsigned int pos, unsigned int n, const char* s) const {
    n = countFrom(len, pos, n);
    return compareTexts(c_str() + pos, n, orEmpty(s), lengthOf(s));
}

int SString::compare(unsigned int pos, unsigned int n, const char* s, unsigned int n2) const {
    n = countFrom(len, pos, n);
    return compareTexts(c_str() + pos, n, s, n2);
}
