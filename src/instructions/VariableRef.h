#pragma once

#include "base/SString.h"

// A reference to one variable of the instruction language: a type letter, "N"
// (numeric, N1 to N5) or "S" (string, S1 to S10) in either case, followed by
// the variable number as read by "%ld" from the second character on (leading
// blanks are skipped and text after the digits is ignored: "N 2" and "N2x"
// both name N2). The variables themselves live in Launcher's banks.
//
// Errors are LauncherExceptions whose text is the caller's context, a blank and
// the message.
class VariableRef {
  public:
    VariableRef();

    // Parses and validates a reference such as "N1" or "s10".
    void init(const SString& reference, const SString& context);
    // Stores value: into a string variable unchanged, into a numeric variable
    // as read by convertToLong (failing with "Invalid numeric expression in "
    // + value).
    void setValue(const SString& value, const SString& context);
    // The variable's value; a numeric one in decimal as by "%ld".
    SString getStringValue() const;

    char type;    // 'N' or 'S'
    long number;  // 1-based variable number
};

// True when sscanf with "%ld" reads a number from text; the number is stored
// in value.
bool convertToLong(const SString& text, long& value);
// The same with "%hd".
bool convertToShort(const SString& text, short& value);
