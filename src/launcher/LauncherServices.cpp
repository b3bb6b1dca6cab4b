// The launcher's small process-wide services: the log, its identity and the
// variable banks through which instructions and actions exchange results.
#include <cstdio>

#include "base/ScopedFile.h"
#include "base/TextUtils.h"
#include "launcher/Launcher.h"
#include "launcher/LauncherException.h"

SString Launcher::m_logFileName;
bool Launcher::m_logFileInitialized = false;
SString Launcher::m_launcherFileName;
SString Launcher::m_origLauncherFileName;
SString Launcher::m_stringVariables[10];
long Launcher::m_numericVariables[5] = {0, 0, 0, 0, 0};

namespace {

const char* logPrefix(LogMessageType type) {
    switch (type) {
        case LOG_WARNING:
            return "WARNING: ";
        case LOG_ERROR:
            return "ERROR: ";
        default:
            return "";
    }
}

LauncherException invalidVariable(const char* bank, long n) {
    return LauncherException(joinText(bank, convertToString(n)));
}

}  // namespace

void Launcher::logMessage(const char* text, LogMessageType type) {
    if (m_logFileName.empty()) {
        return;
    }
    // Opened and closed for every entry, so that each entry is on disk when
    // this returns and survives a crash or the exec of another program.
    ScopedFile log(fopen(m_logFileName.c_str(), "a"));
    if (log == nullptr) {
        return;
    }
    if (!m_logFileInitialized) {
        fputs("------------------\n", log.get());
        m_logFileInitialized = true;
    }
    fprintf(log.get(), "%s%s\n", logPrefix(type), text);
}

void Launcher::logMessage(const SString& text, LogMessageType type) {
    logMessage(text.c_str(), type);
}

void Launcher::setLogFileName(const SString& name) {
    m_logFileName = name;
}

SString Launcher::getLauncherFileName() {
    return m_launcherFileName;
}

SString Launcher::getOriginalLauncherFileName() {
    return m_origLauncherFileName;
}

SString Launcher::getOriginalLauncherDir() {
    // A "\" is a character of a name here, not a separator.
    unsigned int separator = m_origLauncherFileName.rfind('/');
    if (separator == SString::npos) {
        return SString();
    }
    return m_origLauncherFileName.substr(0, separator);
}

bool Launcher::isValidStringVariable(long n) {
    return n >= 1 && n <= 10;
}

SString Launcher::getStringVariable(long n) {
    if (!isValidStringVariable(n)) {
        throw invalidVariable("Invalid string variable number: ", n);
    }
    return m_stringVariables[n - 1];
}

void Launcher::setStringVariable(long n, const SString& value) {
    if (!isValidStringVariable(n)) {
        throw invalidVariable("Invalid string variable number: ", n);
    }
    m_stringVariables[n - 1] = value;
}

bool Launcher::isValidLongVariable(long n) {
    return n >= 1 && n <= 5;
}

long Launcher::getLongVariable(long n) {
    if (!isValidLongVariable(n)) {
        throw invalidVariable("Invalid numeric variable number: ", n);
    }
    return m_numericVariables[n - 1];
}

void Launcher::setLongVariable(long n, long value) {
    if (!isValidLongVariable(n)) {
        throw invalidVariable("Invalid numeric variable number: ", n);
    }
    m_numericVariables[n - 1] = value;
}
