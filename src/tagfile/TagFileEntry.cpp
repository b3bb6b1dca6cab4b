#include "tagfile/TagFileEntry.h"

TagFileEntry::TagFileEntry(const SString& name) : name(name), values(new StringDeque) {}

TagFileEntry::~TagFileEntry() {
    delete values;
}
