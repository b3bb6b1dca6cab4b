#include "base/CharTraits.h"

#include <cstring>

void CharTraits::assign(char& dest, const char& src) {
    dest = src;
}

bool CharTraits::eq(char a, char b) {
    return a == b;
}

bool CharTraits::lt(char a, char b) {
    return static_cast<unsigned char>(a) < static_cast<unsigned char>(b);
}

int CharTraits::compare(const char* a, const char* b, size_t n) {
    if (n == 0) {
        return 0;
    }
    int r = memcmp(a, b, n);
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

size_t CharTraits::length(const char* s) {
    return strlen(s);
}

// The C library leaves null pointers undefined even for zero counts; an empty
// SString has no buffer, so zero counts are handled here once.
char* CharTraits::copy(char* dest, const char* src, size_t n) {
    if (n != 0) {
        memcpy(dest, src, n);
    }
    return dest;
}

char* CharTraits::move(char* dest, const char* src, size_t n) {
    if (n != 0) {
        memmove(dest, src, n);
    }
    return dest;
}

const char* CharTraits::find(const char* s, size_t n, const char& c) {
    if (n == 0) {
        return nullptr;
    }
    return static_cast<const char*>(memchr(s, static_cast<unsigned char>(c), n));
}

char* CharTraits::assign(char* s, size_t n, char c) {
    if (n != 0) {
        memset(s, static_cast<unsigned char>(c), n);
    }
    return s;
}

char CharTraits::to_char_type(int_type c) {
    return static_cast<char>(c);
}

CharTraits::int_type CharTraits::to_int_type(char c) {
    return static_cast<unsigned char>(c);
}

bool CharTraits::eq_int_type(int_type a, int_type b) {
    return a == b;
}

CharTraits::int_type CharTraits::eof() {
    return -1;
}

CharTraits::int_type CharTraits::not_eof(int_type c) {
    return c == eof() ? 0 : c;
}
