#pragma once

// The homes that the running phase of a JVM search has already taken up, per
// description file, so that the phase tries a home at most once for each
// file. The phase decides which spellings of a home count as one by the text
// it passes; the texts are compared exactly (case-sensitive). A phase that
// may try a home twice does not use the record.

#include <utility>
#include <vector>

#include "base/SString.h"

class JVMFile;

class TriedHomes {
  public:
    // Forgets every home: a new phase begins.
    void clear();
    // True, and the pair is recorded, the first time `home` comes for that
    // very description file (files compare by identity, not by contents).
    bool firstTry(const JVMFile& jvmFile, const SString& home);

  private:
    std::vector<std::pair<const JVMFile*, SString>> m_tried;
};
