#include "base/SString.h"

#include <gtest/gtest.h>

#include <vector>

#include "base/LengthException.h"
#include "base/RangeException.h"

namespace {

bool sameBuffer(const SString& a, const SString& b) {
    return a.c_str() == b.c_str();
}

}  // namespace

TEST(SStringTest, DefaultStringHasEmptyCString) {
    SString s;
    ASSERT_NE(s.c_str(), nullptr);
    ASSERT_NE(s.data(), nullptr);
    EXPECT_STREQ(s.c_str(), "");
    EXPECT_EQ(s.length(), 0u);
    EXPECT_EQ(s.capacity(), 0u);
    EXPECT_TRUE(s.empty());
    EXPECT_EQ(s[0], '\0');
}

TEST(SStringTest, NullCStringCountsAsEmpty) {
    SString s(static_cast<const char*>(nullptr));
    EXPECT_TRUE(s.empty());
    s = "abc";
    s.append(static_cast<const char*>(nullptr));
    EXPECT_STREQ(s.c_str(), "abc");
    EXPECT_EQ(s.compare(static_cast<const char*>(nullptr)), 1);
}

TEST(SStringTest, CopySharesUntilModified) {
    SString a("hello");
    SString b(a);
    EXPECT_TRUE(sameBuffer(a, b));
    EXPECT_EQ(a.shareCount(), 1);

    b += " world";
    EXPECT_FALSE(sameBuffer(a, b));
    EXPECT_EQ(a.shareCount(), 0);
    EXPECT_EQ(b.shareCount(), 0);
    EXPECT_STREQ(a.c_str(), "hello");
    EXPECT_STREQ(b.c_str(), "hello world");
}

TEST(SStringTest, AssignmentSharesAndDestructionReleases) {
    SString a("shared text");
    {
        SString b;
        b = a;
        SString c("other");
        c = b;
        EXPECT_TRUE(sameBuffer(a, c));
        EXPECT_EQ(a.shareCount(), 2);
    }
    EXPECT_EQ(a.shareCount(), 0);
    EXPECT_STREQ(a.c_str(), "shared text");
}

TEST(SStringTest, EmptyStringIsNeverShared) {
    SString a("abc");
    a.erase();
    SString b(a);
    EXPECT_EQ(a.shareCount(), 0);
    EXPECT_EQ(b.capacity(), 0u);
}

TEST(SStringTest, AtMost255StringsShareOneBuffer) {
    SString original("payload");
    std::vector<SString> copies;
    copies.reserve(300);
    for (int i = 0; i < 300; ++i) {
        copies.push_back(original);
    }
    EXPECT_EQ(original.shareCount(), 254);
    for (int i = 0; i < 300; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(sameBuffer(copies[i], original), i < 254);
        EXPECT_STREQ(copies[i].c_str(), "payload");
    }
    copies.clear();
    EXPECT_EQ(original.shareCount(), 0);
}

TEST(SStringTest, NonConstAtUnsharesAndFreezes) {
    SString a("abc");
    SString b(a);
    char& ref = a.at(0);
    EXPECT_FALSE(sameBuffer(a, b));
    EXPECT_EQ(a.shareCount(), 255);
    EXPECT_EQ(b.shareCount(), 0);

    SString later(a);
    EXPECT_FALSE(sameBuffer(a, later));
    ref = 'x';
    EXPECT_STREQ(a.c_str(), "xbc");
    EXPECT_STREQ(b.c_str(), "abc");
    EXPECT_STREQ(later.c_str(), "abc");
}

TEST(SStringTest, NonConstSubscriptFreezes) {
    SString a("abc");
    SString b(a);
    a[1] = 'X';
    EXPECT_STREQ(a.c_str(), "aXc");
    EXPECT_STREQ(b.c_str(), "abc");
    SString c;
    c = a;
    EXPECT_FALSE(sameBuffer(a, c));
    EXPECT_EQ(a.shareCount(), 255);
}

TEST(SStringTest, NonConstSubscriptOutOfRangeGivesStaticNul) {
    SString a("abc");
    EXPECT_EQ(a[3], '\0');  // the terminator itself
    char& beyond = a[4];
    EXPECT_EQ(beyond, '\0');
    beyond = 'z';
    EXPECT_EQ(a[10], '\0');  // handed out again as NUL
    EXPECT_STREQ(a.c_str(), "abc");

    SString empty;
    char& none = empty[0];
    EXPECT_EQ(none, '\0');
    EXPECT_EQ(empty.capacity(), 0u);
}

TEST(SStringTest, CapacityIsLengthWithFiveLowBitsSet) {
    const struct {
        unsigned int n;
        unsigned int capacity;
    } rows[] = {{1, 31}, {31, 31}, {32, 63}, {64, 95}, {100, 127}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.n);
        EXPECT_EQ(SString(row.n, 'x').capacity(), row.capacity);
    }
    SString s(31, 'a');
    s += 'b';
    EXPECT_EQ(s.capacity(), 63u);
    s.reserve(200);
    EXPECT_EQ(s.capacity(), 223u);
    EXPECT_EQ(s.length(), 32u);
}

TEST(SStringTest, AssignmentReusesOnlySmallUnsharedBuffer) {
    SString s("abc");
    const char* small = s.c_str();
    s = "defgh";
    EXPECT_EQ(s.c_str(), small);

    s.reserve(100);
    EXPECT_EQ(s.capacity(), 127u);
    s = "xy";
    EXPECT_EQ(s.capacity(), 31u);
    EXPECT_STREQ(s.c_str(), "xy");

    s = "";
    EXPECT_EQ(s.capacity(), 0u);
}

TEST(SStringTest, EraseAllKeepsBuffer) {
    SString s("some text");
    s.erase();
    EXPECT_EQ(s.capacity(), 31u);
    EXPECT_STREQ(s.c_str(), "");
}

TEST(SStringTest, EditThatChangesNothingKeepsShare) {
    SString a("abc");
    SString b(a);
    b.erase(3);
    b.append("");
    EXPECT_TRUE(sameBuffer(a, b));
}

TEST(SStringTest, ModifyingOperations) {
    const SString abc("abc");
    const struct {
        const char* name;
        SString result;
        const char* expected;
    } rows[] = {
        {"assign substring", SString().assign(SString("hello"), 1, 3), "ell"},
        {"assign count", SString().assign("hello", 2), "he"},
        {"assign fill", SString().assign(3, 'z'), "zzz"},
        {"append substring", SString("x").append(abc, 1, SString::npos), "xbc"},
        {"append count", SString("x").append("yzw", 2), "xyz"},
        {"append fill", SString("x").append(2, '-'), "x--"},
        {"insert front", SString(abc).insert(0, "<"), "<abc"},
        {"insert middle", SString(abc).insert(1, SString("12")), "a12bc"},
        {"insert end", SString(abc).insert(3, 2, '!'), "abc!!"},
        {"insert substring", SString(abc).insert(1, SString("wxyz"), 1, 2), "axybc"},
        {"insert count", SString(abc).insert(2, "123", 1), "ab1c"},
        {"replace shorter", SString("abcdef").replace(1, 4, "X"), "aXf"},
        {"replace longer", SString(abc).replace(1, 1, SString("1234")), "a1234c"},
        {"replace count past end", SString(abc).replace(1, SString::npos, "Z"), "aZ"},
        {"replace substring", SString(abc).replace(0, 1, SString("0123"), 2, 9), "23bc"},
        {"replace chars", SString(abc).replace(2, 1, "xyz", 2), "abxy"},
        {"replace fill", SString(abc).replace(0, 2, 3, '.'), "...c"},
        {"erase middle", SString("abcdef").erase(1, 2), "adef"},
        {"erase to end", SString("abcdef").erase(4), "abcd"},
        {"assign char", SString("long text") = 'q', "q"},
        {"add char", SString("ab") += 'c', "abc"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_STREQ(row.result.c_str(), row.expected);
        EXPECT_EQ(row.result.length(), strlen(row.expected));
    }
}

TEST(SStringTest, OperationsWithTheStringItself) {
    SString s("abc");
    s.append(s);
    EXPECT_STREQ(s.c_str(), "abcabc");
    s.insert(1, s);
    EXPECT_STREQ(s.c_str(), "aabcabcbcabc");
    s.replace(0, 3, s.c_str() + 9);
    EXPECT_STREQ(s.c_str(), "abccabcbcabc");
    s.assign(s.c_str() + 8);
    EXPECT_STREQ(s.c_str(), "cabc");
    s.assign(s, 1, 2);
    EXPECT_STREQ(s.c_str(), "ab");
    s = s;
    EXPECT_STREQ(s.c_str(), "ab");
}

TEST(SStringTest, ModifyingOneCopyLeavesTheOtherAlone) {
    SString a("abcdef");
    SString b(a);
    b.erase(0, 2);
    SString c(a);
    c.replace(0, 1, "Z");
    SString d(a);
    d.insert(6, "!");
    EXPECT_STREQ(a.c_str(), "abcdef");
    EXPECT_STREQ(b.c_str(), "cdef");
    EXPECT_STREQ(c.c_str(), "Zbcdef");
    EXPECT_STREQ(d.c_str(), "abcdef!");
    EXPECT_EQ(a.shareCount(), 0);
}

TEST(SStringTest, EmbeddedNulBytesAreKept) {
    SString s("a\0b", 3);
    EXPECT_EQ(s.length(), 3u);
    s.append("\0c", 2);
    EXPECT_EQ(s.length(), 5u);
    EXPECT_EQ(s.find('c'), 4u);
    EXPECT_EQ(s.find(SString("\0", 1)), 1u);
}

TEST(SStringTest, ResizePadsAndTruncates) {
    SString s("ab");
    s.resize(4);
    EXPECT_EQ(s.length(), 4u);
    EXPECT_EQ(s[2], '\0');
    EXPECT_EQ(s[3], '\0');
    s.resize(6, '+');
    EXPECT_EQ(s.compare(0, SString::npos, "ab\0\0++", 6), 0);
    s.resize(1);
    EXPECT_STREQ(s.c_str(), "a");
}

TEST(SStringTest, CopyAndSubstr) {
    SString s("abcdef");
    char buffer[8] = "-------";
    EXPECT_EQ(s.copy(buffer, 3, 4), 2u);
    EXPECT_STREQ(buffer, "ef-----");
    EXPECT_EQ(s.copy(buffer, 3, 6), 0u);
    EXPECT_STREQ(s.substr(2, 3).c_str(), "cde");
    EXPECT_STREQ(s.substr(4).c_str(), "ef");
    EXPECT_STREQ(s.substr(6).c_str(), "");
}

namespace {

enum class Search { find, rfind, firstOf, lastOf, firstNotOf, lastNotOf };

struct SearchRow {
    Search kind;
    const char* text;
    const char* needle;
    unsigned int pos;
    unsigned int expected;
};

// Runs every form of one search and checks that they agree.
void checkSearch(const SearchRow& row) {
    const SString text(row.text);
    const SString needle(row.needle);
    const unsigned int n = needle.length();
    unsigned int bySString = 0, byChars = 0, byCString = 0, byChar = 0;
    switch (row.kind) {
        case Search::find:
            bySString = text.find(needle, row.pos);
            byChars = text.find(row.needle, row.pos, n);
            byCString = text.find(row.needle, row.pos);
            byChar = text.find(row.needle[0], row.pos);
            break;
        case Search::rfind:
            bySString = text.rfind(needle, row.pos);
            byChars = text.rfind(row.needle, row.pos, n);
            byCString = text.rfind(row.needle, row.pos);
            byChar = text.rfind(row.needle[0], row.pos);
            break;
        case Search::firstOf:
            bySString = text.find_first_of(needle, row.pos);
            byChars = text.find_first_of(row.needle, row.pos, n);
            byCString = text.find_first_of(row.needle, row.pos);
            byChar = text.find_first_of(row.needle[0], row.pos);
            break;
        case Search::lastOf:
            bySString = text.find_last_of(needle, row.pos);
            byChars = text.find_last_of(row.needle, row.pos, n);
            byCString = text.find_last_of(row.needle, row.pos);
            byChar = text.find_last_of(row.needle[0], row.pos);
            break;
        case Search::firstNotOf:
            bySString = text.find_first_not_of(needle, row.pos);
            byChars = text.find_first_not_of(row.needle, row.pos, n);
            byCString = text.find_first_not_of(row.needle, row.pos);
            byChar = text.find_first_not_of(row.needle[0], row.pos);
            break;
        case Search::lastNotOf:
            bySString = text.find_last_not_of(needle, row.pos);
            byChars = text.find_last_not_of(row.needle, row.pos, n);
            byCString = text.find_last_not_of(row.needle, row.pos);
            byChar = text.find_last_not_of(row.needle[0], row.pos);
            break;
    }
    EXPECT_EQ(bySString, row.expected);
    EXPECT_EQ(byChars, row.expected);
    EXPECT_EQ(byCString, row.expected);
    if (n == 1) {
        EXPECT_EQ(byChar, row.expected);
    }
}

}  // namespace

TEST(SStringTest, SearchesInEveryForm) {
    const unsigned int npos = SString::npos;
    const SearchRow rows[] = {
        {Search::find, "abcabc", "bc", 0, 1},
        {Search::find, "abcabc", "bc", 2, 4},
        {Search::find, "abcabc", "bc", 5, npos},
        {Search::find, "abcabc", "c", 6, npos},
        {Search::find, "abcabc", "abcabcd", 0, npos},
        {Search::find, "abc", "", 2, 2},
        {Search::find, "abc", "", 3, 3},
        {Search::find, "abc", "", 4, npos},
        {Search::find, "", "", 0, 0},
        {Search::find, "abc", "x", npos, npos},
        {Search::rfind, "abcabc", "bc", npos, 4},
        {Search::rfind, "abcabc", "bc", 3, 1},
        {Search::rfind, "abcabc", "bc", 0, npos},
        {Search::rfind, "abcabc", "a", 0, 0},
        {Search::rfind, "abc", "", npos, 3},
        {Search::rfind, "abc", "", 1, 1},
        {Search::rfind, "", "a", npos, npos},
        {Search::firstOf, "hello world", "ow", 0, 4},
        {Search::firstOf, "hello world", "ow", 5, 6},
        {Search::firstOf, "hello world", "xyz", 0, npos},
        {Search::firstOf, "hello", "", 0, npos},
        {Search::firstOf, "hello", "o", 5, npos},
        {Search::lastOf, "hello world", "ol", npos, 9},
        {Search::lastOf, "hello world", "ol", 8, 7},
        {Search::lastOf, "hello world", "h", 0, 0},
        {Search::lastOf, "", "a", npos, npos},
        {Search::firstNotOf, "  \tx y", " \t", 0, 3},
        {Search::firstNotOf, "   ", " ", 0, npos},
        {Search::firstNotOf, "abc", "", 1, 1},
        {Search::firstNotOf, "abc", "", 3, npos},
        {Search::lastNotOf, "x y \t ", " \t", npos, 2},
        {Search::lastNotOf, "x y \t ", " \t", 1, 0},
        {Search::lastNotOf, "   ", " ", npos, npos},
        {Search::lastNotOf, "abc", "", npos, 2},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::Message()
                     << "kind " << static_cast<int>(row.kind) << " text '" << row.text
                     << "' needle '" << row.needle << "' pos " << row.pos);
        checkSearch(row);
    }
}

TEST(SStringTest, CompareUsesUnsignedBytesThenLength) {
    const struct {
        SString a;
        const char* b;
        int expected;
    } rows[] = {
        {SString("abc"), "abc", 0}, {SString("abc"), "abd", -1}, {SString("abd"), "abc", 1},
        {SString("ab"), "abc", -1}, {SString("abc"), "ab", 1},   {SString(), "", 0},
        {SString(), "a", -1},       {SString("a"), "\x80", -1},  {SString("\xff"), "a", 1},
        {SString("Z"), "a", -1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::Message() << "'" << row.a.c_str() << "' vs '" << row.b << "'");
        EXPECT_EQ(row.a.compare(row.b), row.expected);
        EXPECT_EQ(row.a.compare(SString(row.b)), row.expected);
        EXPECT_EQ(row.a.compare(0, SString::npos, row.b), row.expected);
        EXPECT_EQ(row.a.compare(0, SString::npos, row.b, strlen(row.b)), row.expected);
        EXPECT_EQ(row.a.compare(0, SString::npos, SString(row.b)), row.expected);
        EXPECT_EQ(row.a.compare(0, SString::npos, SString(row.b), 0, SString::npos), row.expected);
    }
}

TEST(SStringTest, CompareOfParts) {
    SString s("hello world");
    EXPECT_EQ(s.compare(6, 5, "world"), 0);
    EXPECT_EQ(s.compare(6, 99, SString("world")), 0);
    EXPECT_EQ(s.compare(0, 4, SString("help"), 0, 3), 1);
    EXPECT_EQ(s.compare(0, 3, SString("help"), 0, 3), 0);
    EXPECT_EQ(s.compare(0, 5, "hello there", 5), 0);
    EXPECT_EQ(s.compare(11, 0, ""), 0);
    EXPECT_EQ(SString("a\0b", 3).compare(SString("a\0c", 3)), -1);
}

TEST(SStringTest, PositionsBeyondTheEndThrowRangeException) {
    SString s("abc");
    const SString& cs = s;
    const SString other("xy");
    char buffer[4];
    EXPECT_THROW(cs.at(3), RangeException);
    EXPECT_THROW(s.at(3), RangeException);
    EXPECT_THROW(SString().at(0), RangeException);
    EXPECT_THROW(s.insert(4, "x"), RangeException);
    EXPECT_THROW(s.insert(0, other, 3, 1), RangeException);
    EXPECT_THROW(s.erase(4), RangeException);
    EXPECT_THROW(s.replace(4, 1, "x"), RangeException);
    EXPECT_THROW(s.replace(0, 1, other, 3, 1), RangeException);
    EXPECT_THROW(s.substr(4), RangeException);
    EXPECT_THROW(s.copy(buffer, 1, 4), RangeException);
    EXPECT_THROW(s.compare(4, 1, "x"), RangeException);
    EXPECT_THROW(s.compare(0, 1, other, 3, 1), RangeException);
    EXPECT_THROW(s.assign(other, 3, 1), RangeException);
    EXPECT_THROW(s.append(other, 3, 1), RangeException);
    EXPECT_THROW(SString(other, 3), RangeException);
    EXPECT_STREQ(s.c_str(), "abc");

    EXPECT_NO_THROW(s.insert(3, "d"));
    EXPECT_NO_THROW(s.erase(4));
    EXPECT_NO_THROW(s.substr(4));
    EXPECT_EQ(cs.at(3), 'd');
}

TEST(SStringTest, OverlongResultsThrowLengthException) {
    SString s("0123456789");
    EXPECT_EQ(s.max_size(), 4294967293u);
    EXPECT_THROW(s.assign(SString::npos, 'x'), LengthException);
    EXPECT_THROW(s.append(s.max_size() - 5, 'x'), LengthException);
    EXPECT_THROW(s.insert(0, s.max_size(), 'x'), LengthException);
    EXPECT_THROW(s.reserve(SString::npos), LengthException);
    EXPECT_THROW(s.resize(SString::npos), LengthException);
    EXPECT_STREQ(s.c_str(), "0123456789");
}
