#pragma once

// The JVMs that a search ran and that reported a value their description
// file does not accept, so that the message when no JVM fits can say what
// was found. One entry per real home (links resolved), in the order in
// which they were first refused.

#include <vector>

#include "base/SString.h"

class UnfitJVMs {
  public:
    struct Entry {
        SString home;   // the real path of the home
        SString value;  // the first value that did not fit
    };

    // Records `home`, unless its real path is recorded already.
    static void add(const SString& home, const SString& value);
    static const std::vector<Entry>& entries();
    // Forgets every entry: a new search begins.
    static void clear();

  private:
    static std::vector<Entry> m_entries;
};
