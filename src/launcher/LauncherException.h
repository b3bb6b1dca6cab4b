#pragma once

#include "SString.h"

// The one exception type with which every part of the launcher reports a
// failure. The message is complete and readable as it stands: callers that
// add context build a new exception with their text in front.
class LauncherException {
  public:
    explicit LauncherException(const SString& message);
    virtual ~LauncherException();

    SString message;
};
