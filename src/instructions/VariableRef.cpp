#include "instructions/VariableRef.h"

#include <cctype>
#include <cstdio>

#include "base/TextUtils.h"
#include "launcher/Launcher.h"
#include "launcher/LauncherException.h"

namespace {

[[noreturn]] void fail(const SString& context, const SString& message) {
    throw LauncherException(joinText(context, ' ', message));
}

}  // namespace

VariableRef::VariableRef() : type('N'), number(0) {}

void VariableRef::init(const SString& reference, const SString& context) {
    if (reference.length() < 2) {
        fail(context, "Variable references must be at least 2 characters (e.g. N1 and S10).");
    }
    type = static_cast<char>(toupper(static_cast<unsigned char>(reference[0])));
    if (type != 'N' && type != 'S') {
        fail(context, joinText("Invalid variable reference (", reference,
                               "). Must use N or S as the variable type, e.g. N2 or S1."));
    }
    SString rest(reference, 1);
    bool valid =
        convertToLong(rest, number) && (type == 'N' ? Launcher::isValidLongVariable(number)
                                                    : Launcher::isValidStringVariable(number));
    if (!valid) {
        fail(context, joinText("Variable number is invalid (", rest, ')'));
    }
}

void VariableRef::setValue(const SString& value, const SString& context) {
    if (type == 'S') {
        Launcher::setStringVariable(number, value);
        return;
    }
    long numeric;
    if (!convertToLong(value, numeric)) {
        fail(context, joinText("Invalid numeric expression in ", value));
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
