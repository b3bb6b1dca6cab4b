#include "VariableRef.h"

#include "LauncherException.h"

VariableRef::VariableRef() : type('N'), number(0) {}

void VariableRef::init(const SString&, const SString&) {
    throw LauncherException("VariableRef is not available yet");
}

void VariableRef::setValue(const SString&, const SString&) {
    throw LauncherException("VariableRef is not available yet");
}

SString VariableRef::getStringValue() const {
    throw LauncherException("VariableRef is not available yet");
}

bool convertToLong(const SString&, long&) {
    throw LauncherException("convertToLong is not available yet");
}

bool convertToShort(const SString&, short&) {
    throw LauncherException("convertToShort is not available yet");
}
