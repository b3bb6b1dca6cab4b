#pragma once

#include "base/PtrDeque.h"
#include "base/SString.h"
#include "base/StringDeque.h"

// One tag of a TagFile: its name and its values in order.
class TagFileEntry {
  public:
    // An entry with no values yet.
    explicit TagFileEntry(const SString& name);
    ~TagFileEntry();
    TagFileEntry(const TagFileEntry&) = delete;
    TagFileEntry& operator=(const TagFileEntry&) = delete;

    SString name;
    StringDeque* values;  // owned, never null
};

using TagFileEntryPtrDeque = PtrDeque<TagFileEntry>;
using TagFileEntryPtrDE = PtrDE<TagFileEntry>;
