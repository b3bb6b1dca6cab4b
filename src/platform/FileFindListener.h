#pragma once

#include "base/SString.h"

// Receives the files that a FindFiles walk finds.
class FileFindListener {
  public:
    virtual ~FileFindListener();

    // Called once for every name that `path` matches. Returning true stops
    // the whole search at once.
    virtual bool foundFile(const SString& path) = 0;
};
