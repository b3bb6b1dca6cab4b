#include "launcher/LauncherException.h"

#include "base/TextUtils.h"

LauncherException::LauncherException(const SString& text) : message(text) {}

LauncherException::~LauncherException() = default;

LauncherException LauncherException::withContext(const SString& context) const {
    return LauncherException(joinText(context, message));
}
