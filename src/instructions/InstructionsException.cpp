#include "instructions/InstructionsException.h"

InstructionsException::InstructionsException(const SString& message, long line)
    : LauncherException(message), line(line) {}

InstructionsException::~InstructionsException() {}
