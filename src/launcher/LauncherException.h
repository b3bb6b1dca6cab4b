#pragma once

#include "base/SString.h"

// The one exception type with which every part of the launcher reports a
// failure. The message is complete and readable as it stands: callers that
// add context throw withContext(...) of the exception they caught.
class LauncherException {
  public:
    explicit LauncherException(const SString& message);
    virtual ~LauncherException();

    // A new LauncherException whose message is `context` directly followed by
    // this one's (the context brings its own separator, if any).
    LauncherException withContext(const SString& context) const;

    SString message;
};
