#pragma once

// Texts for JSON documents (RFC 8259), written by hand.
//
// A JSON string holds Unicode text, but a path on Linux is any bytes. quote
// writes every valid UTF-8 sequence as it is and each byte that is not part
// of one as U+FFFD, so the document stays valid; hexBytes then gives the
// exact bytes for a program that needs them back. "\"", "\\" and the control
// characters below U+0020 are escaped ("\n", "\t", "\u0001", ...).

#include "base/SString.h"

class JsonText {
  public:
    // `text` as a JSON string, in double quotes.
    static SString quote(const SString& text);
    // True when every byte of `text` belongs to a valid UTF-8 sequence
    // (no overlong forms, no surrogates, nothing above U+10FFFF).
    static bool isValidUtf8(const SString& text);
    // The bytes of `text` as lower-case hexadecimal, two digits per byte.
    static SString hexBytes(const SString& text);
};
