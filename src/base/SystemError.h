#pragma once

// The one shape of every message about a failed system call.

#include "base/SString.h"

// The message of a failed system call: `text` followed directly by the
// system's description of `error`, an errno value saved right after the call.
SString systemErrorMessage(const SString& text, int error);

// Throws the LauncherException of a failed system call, whose message is
// systemErrorMessage(text, error).
[[noreturn]] void throwSystemError(const SString& text, int error);
