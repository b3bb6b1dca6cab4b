#pragma once

#include <cstddef>

// Character traits of SString: characters are plain bytes, ordered as unsigned
// values (the order of memcmp), whatever the signedness of char on the host.
struct CharTraits {
    using char_type = char;
    using int_type = int;

    static void assign(char& dest, const char& src);
    static bool eq(char a, char b);
    // Unsigned byte order: '\x80' is greater than 'a'.
    static bool lt(char a, char b);
    // -1, 0 or 1 for the first n bytes, in unsigned byte order.
    static int compare(const char* a, const char* b, size_t n);
    // Number of bytes before the terminating NUL (as strlen).
    static size_t length(const char* s);
    // Non-overlapping copy (as memcpy); n may be 0 with null pointers. Returns dest.
    static char* copy(char* dest, const char* src, size_t n);
    // Copy between possibly overlapping ranges (as memmove). Returns dest.
    static char* move(char* dest, const char* src, size_t n);
    // First occurrence of c among the first n bytes of s, or null (as memchr).
    static const char* find(const char* s, size_t n, const char& c);
    // Fills n bytes with c (as memset). Returns s.
    static char* assign(char* s, size_t n, char c);

    static char to_char_type(int_type c);
    // The unsigned value of the byte, so that no character equals eof().
    static int_type to_int_type(char c);
    static bool eq_int_type(int_type a, int_type b);
    static int_type eof();
    // c itself, or 0 when c is eof().
    static int_type not_eof(int_type c);
};
