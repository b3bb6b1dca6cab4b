#pragma once

// SString: the byte string used everywhere, with copy-on-write sharing.
//
// Characters are plain bytes; no encoding is assumed and NUL bytes may occur
// inside a string. Positions and counts are unsigned 32-bit numbers; npos means
// "no position" as a result and "to the end" as a count. Counts that reach past
// the end of a string are cut at the end.
//
// Buffer layout: one reference-count byte, `reserved` characters, one byte for
// the NUL that always follows the last character. `chars` points to the first
// character, the count byte lies right before it. The count is the number of
// further strings sharing the buffer (0 to 254), or 255 for a frozen buffer,
// which is never shared again. A copy or whole-string assignment shares the
// buffer of a non-empty string whose count is below 254; otherwise it copies.
// Every modifying operation first gives the string a buffer of its own. Handing
// out a modifiable character reference (non-const at() and operator[]) unshares
// and freezes the buffer, so the reference stays the string's own as long as
// the string is not reallocated.
//
// A buffer for n characters reserves n | 31 characters (n itself when that
// would exceed max_size()). Assigning characters reuses an unshared buffer of
// at most 31 characters that is large enough, and otherwise reallocates, so a
// short assignment gives a large buffer back; append, insert and replace
// reallocate only when the buffer is shared or too small. Assigning an empty
// text releases the buffer; erasing everything keeps it.
//
// Errors: RangeException when a position argument lies beyond the end of the
// string it refers to (for at(): index >= length()); LengthException when a
// result would be longer than max_size(), or for assign(npos, c).
//
// A null C string argument is taken as the empty string.
//
// There are no free operators: equality is compare(...) == 0, concatenation is
// += or append.
//
// Not thread-safe: the count byte is not locked.
class SString {
  public:
    static constexpr unsigned int npos = 4294967295u;

    constexpr SString() noexcept : chars(nullptr), len(0), reserved(0) {}
    SString(const SString& s);
    SString(const SString& s, unsigned int pos, unsigned int n = npos);
    SString(const char* s, unsigned int n);
    SString(const char* s);
    SString(unsigned int n, char c);
    virtual ~SString();

    SString& operator=(const SString& s);
    SString& operator=(const char* s);
    SString& operator=(char c);
    SString& operator+=(const SString& s);
    SString& operator+=(const char* s);
    SString& operator+=(char c);

    SString& assign(const SString& s);
    SString& assign(const SString& s, unsigned int pos, unsigned int n);
    SString& assign(const char* s, unsigned int n);
    SString& assign(const char* s);
    SString& assign(unsigned int n, char c);

    SString& append(const SString& s);
    SString& append(const SString& s, unsigned int pos, unsigned int n);
    SString& append(const char* s, unsigned int n);
    SString& append(const char* s);
    SString& append(unsigned int n, char c);

    SString& insert(unsigned int pos, const SString& s);
    SString& insert(unsigned int pos, const SString& s, unsigned int pos2, unsigned int n);
    SString& insert(unsigned int pos, const char* s, unsigned int n);
    SString& insert(unsigned int pos, const char* s);
    SString& insert(unsigned int pos, unsigned int n, char c);

    SString& replace(unsigned int pos, unsigned int n1, const SString& s);
    SString& replace(unsigned int pos, unsigned int n1, const SString& s, unsigned int pos2,
                     unsigned int n2);
    SString& replace(unsigned int pos, unsigned int n1, const char* s, unsigned int n2);
    SString& replace(unsigned int pos, unsigned int n1, const char* s);
    SString& replace(unsigned int pos, unsigned int n1, unsigned int n2, char c);

    SString& erase(unsigned int pos = 0, unsigned int n = npos);

    // Throws RangeException when index >= length().
    char at(unsigned int index) const;
    // Throws RangeException when index >= length(); unshares and freezes.
    char& at(unsigned int index);
    // No range check: index length() yields the terminating NUL.
    char operator[](unsigned int index) const { return c_str()[index]; }
    // Unshares and freezes. For index > length(), or on a string without
    // buffer, returns a reference to a static NUL character (reset to NUL on
    // every such call) instead of failing.
    char& operator[](unsigned int index);

    // Never null: a string without buffer yields a static empty C string.
    const char* c_str() const { return chars != nullptr ? chars : ""; }
    const char* data() const { return c_str(); }
    unsigned int length() const { return len; }
    unsigned int size() const { return len; }
    unsigned int max_size() const { return maxSize; }
    void resize(unsigned int n);
    void resize(unsigned int n, char c);
    unsigned int capacity() const { return reserved; }
    // Makes room for at least n characters; never shrinks.
    void reserve(unsigned int n = 0);
    bool empty() const { return len == 0; }
    // Copies up to n characters from pos to dest (no NUL added); returns the
    // number copied.
    unsigned int copy(char* dest, unsigned int n, unsigned int pos = 0) const;
    SString substr(unsigned int pos = 0, unsigned int n = npos) const;

    // Searches return npos when nothing is found. An empty needle is found at
    // pos when pos <= length() (find), at min(pos, length()) (rfind).
    unsigned int find(const SString& s, unsigned int pos = 0) const;
    unsigned int find(const char* s, unsigned int pos, unsigned int n) const;
    unsigned int find(const char* s, unsigned int pos = 0) const;
    unsigned int find(char c, unsigned int pos = 0) const;

    unsigned int rfind(const SString& s, unsigned int pos = npos) const;
    unsigned int rfind(const char* s, unsigned int pos, unsigned int n) const;
    unsigned int rfind(const char* s, unsigned int pos = npos) const;
    unsigned int rfind(char c, unsigned int pos = npos) const;

    unsigned int find_first_of(const SString& s, unsigned int pos = 0) const;
    unsigned int find_first_of(const char* s, unsigned int pos, unsigned int n) const;
    unsigned int find_first_of(const char* s, unsigned int pos = 0) const;
    unsigned int find_first_of(char c, unsigned int pos = 0) const;

    unsigned int find_last_of(const SString& s, unsigned int pos = npos) const;
    unsigned int find_last_of(const char* s, unsigned int pos, unsigned int n) const;
    unsigned int find_last_of(const char* s, unsigned int pos = npos) const;
    unsigned int find_last_of(char c, unsigned int pos = npos) const;

    unsigned int find_first_not_of(const SString& s, unsigned int pos = 0) const;
    unsigned int find_first_not_of(const char* s, unsigned int pos, unsigned int n) const;
    unsigned int find_first_not_of(const char* s, unsigned int pos = 0) const;
    unsigned int find_first_not_of(char c, unsigned int pos = 0) const;

    unsigned int find_last_not_of(const SString& s, unsigned int pos = npos) const;
    unsigned int find_last_not_of(const char* s, unsigned int pos, unsigned int n) const;
    unsigned int find_last_not_of(const char* s, unsigned int pos = npos) const;
    unsigned int find_last_not_of(char c, unsigned int pos = npos) const;

    // -1, 0 or 1: the common prefix is compared in unsigned byte order; when it
    // is equal, the shorter text is less. The forms with pos and n compare the
    // part of this string of n characters from pos.
    int compare(const SString& s) const;
    int compare(unsigned int pos, unsigned int n, const SString& s) const;
    int compare(unsigned int pos, unsigned int n, const SString& s, unsigned int pos2,
                unsigned int n2) const;
    int compare(const char* s) const;
    int compare(unsigned int pos, unsigned int n, const char* s) const;
    int compare(unsigned int pos, unsigned int n, const char* s, unsigned int n2) const;

    // For diagnostics and tests: the count byte of the buffer (0 without one).
    unsigned char shareCount() const;

  private:
    static constexpr unsigned int maxSize = 4294967293u;

    // Throws LengthException for a text longer than maxSize; null counts as empty.
    static unsigned int lengthOf(const char* s);
    // A buffer for at least n characters with its count byte at 0; sets reservedOut.
    static char* allocate(unsigned int n, unsigned int& reservedOut);
    bool isShared() const;
    bool aliases(const char* s) const;
    // Gives up this string's share of its buffer and leaves it without one.
    void release();
    // Moves the text into a new buffer for at least room characters, with n2
    // unset characters in place of the n1 characters at pos.
    void reallocate(unsigned int room, unsigned int pos, unsigned int n1, unsigned int n2);
    // Replaces the n1 characters at pos (both already checked) by n2 unset
    // characters in an unshared buffer; returns where they start.
    char* makeGap(unsigned int pos, unsigned int n1, unsigned int n2);
    // Makes the string n unset characters long (n > 0) by the assignment policy.
    char* prepareAssign(unsigned int n);
    void freeze();
    SString& assignChars(const char* s, unsigned int n);
    SString& assignFill(unsigned int n, char c);
    SString& replaceChars(unsigned int pos, unsigned int n1, const char* s, unsigned int n2);
    SString& replaceFill(unsigned int pos, unsigned int n1, unsigned int n2, char c);

    char* chars;
    unsigned int len;
    unsigned int reserved;
};
