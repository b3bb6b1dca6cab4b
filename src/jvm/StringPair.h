#pragma once

#include "PtrDeque.h"
#include "SString.h"

// A system property that a JVM must report, and the value it must have.
class StringPair {
  public:
    StringPair(const SString& name, const SString& value);

    SString m_name;
    SString m_value;
};

using StringPairPtrDeque = PtrDeque<StringPair>;
using StringPairPtrDE = PtrDE<StringPair>;
