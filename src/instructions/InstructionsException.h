#pragma once

#include "base/SString.h"
#include "launcher/LauncherException.h"

// An error of the instruction program, with the 1-based number of the
// instruction that failed. Launcher::run turns it into a LauncherException
// "Error in instructions. " + message + " Line number (" + line + ")". It is a
// LauncherException, so a handler that knows only the general type still
// reports the message.
class InstructionsException : public LauncherException {
  public:
    InstructionsException(const SString& message, long line);
    ~InstructionsException() override;

    long line;
};
