#pragma once

#include "base/PtrDeque.h"
#include "base/SString.h"

using SStringPtrDE = PtrDE<SString>;

// An ordered list of SString copies. Insertion stores a new heap copy of the
// given string (a cheap shared copy, see SString). Invalid indexes follow
// GenericDeque; lookups with an invalid index give StringDeque::emptyString.
class StringDeque : public GenericDeque {
  public:
    // The string at index, or emptyString when the index is not valid.
    // emptyString is emptied again before it is returned, so a caller that
    // wrote into it cannot spoil later lookups.
    SString& at(long index);
    const SString& at(long index) const;
    // The last string, or emptyString when the deque is empty.
    SString& back();
    const SString& back() const;
    void push_back(const SString& s);
    void insert(long index, const SString& s);
    // True when one of the strings equals `text`.
    bool contains(const char* text) const;

    // Process-wide empty string, constant-initialized before any other code runs.
    static SString emptyString;
};
