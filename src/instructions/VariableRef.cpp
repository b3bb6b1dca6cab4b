#include "VariableRef.h"

#include <cctype>
#include <cstdio>

#include "Launcher.h"
#include "LauncherException.h"
#include "TextUtils.h"

namespace {

[[noreturn]] void fail(const SString& context, const SString& message) {
    SString text(context);
    text += " ";
    text += message;
    throw LauncherException(text);
}

}  // namespace

VariableRef::VariableRef() : type('N'), number(0) {}

void VariableRef::init(const SString& reference, const SString& context) {
    if (reference.length() < 2) {
        fail(context, "Variable references must be at least 2 characters (e.g. N1 and S10).");
    }
    type = static_cast<char>(toupper(static_cast<unsigned char>(reference[0])));
    if (type != 'N' && type != 'S') {
        SString message("Invalid variable reference (");
        message += reference;
        message += "). Must use N or S as the variable type, e.g. N2 or S1.";
        fail(context, message);
    }
    SString rest(reference, 1);
    bool valid =
        convertToLong(rest, number) && (type == 'N' ? Launcher::isValidLongVariable(number)
                                                    : Launcher::isValidStringVariable(number));
    if (!valid) {
        SString message("Variable number is invalid (");
        message += rest;
        message += ")";
        fail(context, message);
    }
}

void VariableRef::setValue(const SString& value, const SString& context) {
    if (type == 'S') {
        Launcher::setStringVariable(number, value);
        return;
    }
    long numeric;
    if (!convertToLong(value, numeric)) {
        SString message("Invalid numeric expression in ");
        message += value;
        fail(context, message);
    }
    Launcher::setLongVariable(number, numeric);
}

SString VariableRef::getStringValue() const {
    if (type == 'S') {
        return Launcher::getStringVariable(number);
    }
    return convertToString(Launcher::getLongVariable(number));
}

bool convertToLong(const SString& text, long& value) {
    return sscanf(text.c_str(), "%ld", &value) == 1;
}

bool convertToShort(const SString& text, short& value) {
    return sscanf(text.c_str(), "%hd", &value) == 1;
}
