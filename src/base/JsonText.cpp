#include "base/JsonText.h"

#include <cstdio>

namespace {

const char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

// The length of the valid UTF-8 sequence at `position`, or 0 when the byte
// there begins none.
unsigned int sequenceLength(const SString& text, unsigned int position) {
    unsigned char first = static_cast<unsigned char>(text[position]);
    if (first < 0x80) {
        return 1;
    }
    unsigned int length = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : first >= 0xC2 ? 2 : 0;
    if (length == 0 || first > 0xF4 || position + length > text.length()) {
        return 0;
    }
    unsigned char second = static_cast<unsigned char>(text[position + 1]);
    // The bounds of the second byte rule out overlong forms, surrogates and
    // code points above U+10FFFF.
    unsigned char low = first == 0xE0 ? 0xA0 : first == 0xF0 ? 0x90 : 0x80;
    unsigned char high = first == 0xED ? 0x9F : first == 0xF4 ? 0x8F : 0xBF;
    if (second < low || second > high) {
        return 0;
    }
    for (unsigned int i = 2; i < length; ++i) {
        unsigned char next = static_cast<unsigned char>(text[position + i]);
        if (next < 0x80 || next > 0xBF) {
            return 0;
        }
    }
    return length;
}

void appendEscaped(SString& quoted, char c) {
    switch (c) {
        case '"':
            quoted += "\\\"";
            return;
        case '\\':
            quoted += "\\\\";
            return;
        case '\n':
            quoted += "\\n";
            return;
        case '\t':
            quoted += "\\t";
            return;
        default:
            break;
    }
    if (static_cast<unsigned char>(c) < 0x20) {
        char escape[8];
        snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned int>(c));
        quoted += escape;
    } else {
        quoted += c;
    }
}

}  // namespace

SString JsonText::quote(const SString& text) {
    SString quoted("\"");
    unsigned int position = 0;
    while (position < text.length()) {
        unsigned int length = sequenceLength(text, position);
        if (length == 0) {
            quoted += kReplacement;
            ++position;
        } else if (length == 1) {
            appendEscaped(quoted, text[position++]);
        } else {
            quoted += text.substr(position, length);
            position += length;
        }
    }
    quoted += '"';
    return quoted;
}

bool JsonText::isValidUtf8(const SString& text) {
    unsigned int position = 0;
    unsigned int length = 1;
    while (position < text.length() && length != 0) {
        length = sequenceLength(text, position);
        position += length;
    }
    return position >= text.length();
}

SString JsonText::hexBytes(const SString& text) {
    static const char kDigits[] = "0123456789abcdef";
    SString hex;
    for (unsigned int i = 0; i < text.length(); ++i) {
        unsigned char byte = static_cast<unsigned char>(text[i]);
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 0x0F];
    }
    return hex;
}
