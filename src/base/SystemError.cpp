#include "base/SystemError.h"

#include <cstring>

#include "base/TextUtils.h"
#include "launcher/LauncherException.h"

SString systemErrorMessage(const SString& text, int error) {
    return joinText(text, strerror(error));
}

void throwSystemError(const SString& text, int error) {
    throw LauncherException(systemErrorMessage(text, error));
}
