#include "LauncherException.h"

LauncherException::LauncherException(const SString& text) : message(text) {}

LauncherException::~LauncherException() = default;
