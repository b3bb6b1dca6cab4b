#include "base/StringDeque.h"

SString StringDeque::emptyString;

namespace {

SString* stringAt(const GenericDeque& deque, long index) {
    const DequeEntry* entry = deque.at(index);
    return entry != nullptr ? static_cast<const SStringPtrDE*>(entry)->object : nullptr;
}

// emptyString is handed out by reference, so a caller may have written into it.
SString& freshEmptyString() {
    StringDeque::emptyString.assign("");
    return StringDeque::emptyString;
}

}  // namespace

SString& StringDeque::at(long index) {
    SString* s = stringAt(*this, index);
    return s != nullptr ? *s : freshEmptyString();
}

const SString& StringDeque::at(long index) const {
    const SString* s = stringAt(*this, index);
    return s != nullptr ? *s : freshEmptyString();
}

SString& StringDeque::back() {
    return at(count - 1);
}

const SString& StringDeque::back() const {
    return at(count - 1);
}

void StringDeque::push_back(const SString& s) {
    insert(-1, s);
}

bool StringDeque::contains(const char* text) const {
    for (long i = 0; i < count; ++i) {
        if (at(i).compare(text) == 0) {
            return true;
        }
    }
    return false;
}

void StringDeque::insert(long index, const SString& s) {
    GenericDeque::insert(index, new SStringPtrDE(new SString(s)));
}
