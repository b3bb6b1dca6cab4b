#include "base/TextUtils.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

#include "launcher/LauncherException.h"

namespace {

// A read-only in-memory stream over the given bytes.
class MemoryStream {
  public:
    explicit MemoryStream(const std::string& bytes) : bytes(bytes) {
        stream =
            fmemopen(this->bytes.empty() ? nullptr : &this->bytes[0], this->bytes.size(), "rb");
    }
    ~MemoryStream() {
        if (stream != nullptr) {
            fclose(stream);
        }
    }
    FILE* get() const { return stream; }

  private:
    std::string bytes;
    FILE* stream;
};

std::vector<wchar_t> unicodeOf(const SString& text) {
    wchar_t* converted = convertToUnicode(text);
    std::vector<wchar_t> result(converted, converted + wcslen(converted));
    delete[] converted;
    return result;
}

// Switches LC_CTYPE for the lifetime of the object.
class CtypeLocale {
  public:
    explicit CtypeLocale(const char* name) : previous(setlocale(LC_CTYPE, nullptr)) {
        ok = setlocale(LC_CTYPE, name) != nullptr;
    }
    ~CtypeLocale() { setlocale(LC_CTYPE, previous.c_str()); }

    bool ok;

  private:
    std::string previous;
};

}  // namespace

TEST(TextUtilsTest, WhitespaceCharsAreSpaceTabLineFeedCarriageReturn) {
    EXPECT_STREQ(whitespaceChars, " \t\n\r");
}

TEST(TextUtilsTest, TrimRemovesSetFromBothEnds) {
    const struct {
        const char* text;
        const char* set;
        const char* expected;
    } rows[] = {
        {"  a b \t", whitespaceChars, "a b"},
        {" \r\n", whitespaceChars, ""},
        {"", whitespaceChars, ""},
        {"abc", whitespaceChars, "abc"},
        {"\vx\f", whitespaceChars, "\vx\f"},
        {"xxaxbxx", "x", "axb"},
        {"\"quoted\"", "\"", "quoted"},
        {"abc", "", "abc"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        SString s(row.text);
        trim(s, row.set);
        EXPECT_STREQ(s.c_str(), row.expected);
    }
}

TEST(TextUtilsTest, AppendPathSeparatorOnlyWhenMissing) {
    const struct {
        const char* path;
        const char* expected;
    } rows[] = {{"/opt/x", "/opt/x/"}, {"/opt/x/", "/opt/x/"}, {"", ""}, {"/", "/"}, {"a", "a/"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        SString path(row.path);
        appendPathSeparator(path);
        EXPECT_STREQ(path.c_str(), row.expected);
    }
}

TEST(TextUtilsTest, JoinTextPutsAllPartsInOrder) {
    const char* none = nullptr;
    EXPECT_STREQ(joinText("a", SString("b"), 'c', none, "").c_str(), "abc");
    SString withNul("x\0y", 3);
    EXPECT_EQ(joinText('[', withNul, ']').compare(SString("[x\0y]", 5)), 0);
    SString longPart(40, 'z');
    EXPECT_EQ(joinText(longPart, ": ", longPart).length(), 82u);
}

TEST(TextUtilsTest, PathHelpersSplitAndJoinAtTheSeparator) {
    const struct {
        const char* path;
        const char* parent;
        const char* last;
        const char* lastOfAny;
    } rows[] = {
        {"/opt/jdk/bin/java", "/opt/jdk/bin", "java", "java"},
        {"/java", "/", "java", "java"},
        {"java", "", "java", "java"},
        {"a/b/", "a/b", "", ""},
        {"/", "/", "", ""},
        {"", "", "", ""},
        {"C:\\dir\\app.jar", "", "C:\\dir\\app.jar", "app.jar"},
        {"a\\b/c", "a\\b", "c", "c"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        EXPECT_STREQ(parentDirectory(row.path).c_str(), row.parent);
        EXPECT_STREQ(lastPathComponent(row.path).c_str(), row.last);
        EXPECT_STREQ(lastPathComponent(row.path, kAnySeparators).c_str(), row.lastOfAny);
    }
    const struct {
        const char* directory;
        const char* name;
        const char* expected;
    } joins[] = {{"", "x", "x"},
                 {"/", "x", "/x"},
                 {"/opt", "x", "/opt/x"},
                 {"/opt/", "x", "/opt/x"},
                 {"dir", "", "dir/"}};
    for (const auto& row : joins) {
        SCOPED_TRACE(::testing::Message() << row.directory << " + " << row.name);
        EXPECT_STREQ(pathInDirectory(row.directory, row.name).c_str(), row.expected);
    }
}

TEST(TextUtilsTest, QuoteArgumentIsReadBackByParseStringArgument) {
    const struct {
        const char* text;
        const char* quoted;
    } rows[] = {{"", "\"\""}, {"a\"b", "\"a\"\"b\""}, {" x ", "\" x \""}, {"\"\"", "\"\"\"\"\"\""}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        SString quoted = quoteArgument(row.text);
        EXPECT_STREQ(quoted.c_str(), row.quoted);
        unsigned int index = 1;
        EXPECT_STREQ(parseStringArgument(quoted, index, true).c_str(), row.text);
    }
}

TEST(TextUtilsTest, StringEndsWithGivesSuffixPosition) {
    const struct {
        const char* text;
        const char* suffix;
        unsigned int expected;
    } rows[] = {
        {"file.tag", ".tag", 4},
        {"file.tag", ".jar", SString::npos},
        {".tag.tag", ".tag", 4},
        {"ag", ".tag", SString::npos},
        {"abc", "", 3},
        {"", "", 0},
        {"a.tag.x", ".tag", SString::npos},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::Message() << row.text << " / " << row.suffix);
        EXPECT_EQ(stringEndsWith(SString(row.text), row.suffix), row.expected);
    }
}

TEST(TextUtilsTest, IsWhitespaceAcceptsOnlyFourCharacters) {
    for (int c = -128; c < 128; ++c) {
        SCOPED_TRACE(c);
        bool expected = c == ' ' || c == '\t' || c == '\n' || c == '\r';
        EXPECT_EQ(isWhitespace(static_cast<char>(c)), expected);
    }
}

TEST(TextUtilsTest, ConvertToStringPrintsDecimal) {
    const struct {
        long n;
        const char* expected;
    } rows[] = {{0, "0"},
                {42, "42"},
                {-2, "-2"},
                {2147483647L, "2147483647"},
                {-2147483647L - 1, "-2147483648"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.expected);
        EXPECT_STREQ(convertToString(row.n).c_str(), row.expected);
    }
}

TEST(TextUtilsTest, ConvertToUnicodeDecodesEscapes) {
    const struct {
        const char* text;
        std::vector<wchar_t> expected;
    } rows[] = {
        {"A\\u00e9B", {0x41, 0xE9, 0x42}},
        {"\\U20AC", {0x20AC}},
        {"\\uZZZZ", {'\\', 'u', 'Z', 'Z', 'Z', 'Z'}},
        {"\\u1 xy", {'\\', 'u', '1', ' ', 'x', 'y'}},
        {"x\\u004", {'x', '\\', 'u', '0', '0', '4'}},
        {"\\\\u0041", {'\\', 'A'}},
        {"a\\n", {'a', '\\', 'n'}},
        {"", {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(unicodeOf(SString(row.text)), row.expected);
    }
}

TEST(TextUtilsTest, ConvertToUnicodeIsZeroTerminatedAfterEscapes) {
    wchar_t* converted = convertToUnicode(SString("\\u0041\\u0042"));
    EXPECT_EQ(converted[0], L'A');
    EXPECT_EQ(converted[1], L'B');
    for (int i = 2; i <= 12; ++i) {
        EXPECT_EQ(converted[i], 0);
    }
    delete[] converted;
}

TEST(TextUtilsTest, ConvertToUnicodeDecodesMultibyteTextOfTheLocale) {
    CtypeLocale locale("C.UTF-8");
    if (!locale.ok) {
        GTEST_SKIP() << "C.UTF-8 locale not available";
    }
    // e-acute in UTF-8, a stray byte, then a plain letter.
    EXPECT_EQ(unicodeOf(SString("\xc3\xa9\xff"
                                "a")),
              (std::vector<wchar_t>{0xE9, 0xFF, 'a'}));
    // A sequence cut short by the end of the text.
    EXPECT_EQ(unicodeOf(SString("a\xe2\x82")), (std::vector<wchar_t>{'a', 0xE2, 0x82}));
}

TEST(TextUtilsTest, ReadLineFromStreamDropsCarriageReturnsAndKeepsLastLine) {
    MemoryStream stream("a\r\nb");
    SString line;
    readLineFromStream(stream.get(), line);
    EXPECT_STREQ(line.c_str(), "a");
    line = "";
    readLineFromStream(stream.get(), line);
    EXPECT_STREQ(line.c_str(), "b");
    line = "";
    readLineFromStream(stream.get(), line);
    EXPECT_STREQ(line.c_str(), "");
    EXPECT_TRUE(feof(stream.get()));
}

TEST(TextUtilsTest, ReadLineFromStreamAppendsAndTrims) {
    MemoryStream stream("  x\ty \t\n\nlast");
    SString line("pre ");
    readLineFromStream(stream.get(), line);
    EXPECT_STREQ(line.c_str(), "pre   x\ty");
    line = "";
    readLineFromStream(stream.get(), line);
    EXPECT_STREQ(line.c_str(), "");
    readLineFromStream(stream.get(), line);
    EXPECT_STREQ(line.c_str(), "last");
}

TEST(TextUtilsTest, ReadLineFromStreamReadsLongLine) {
    std::string longLine(1000, 'q');
    longLine[255] = 'A';
    longLine[256] = 'B';
    MemoryStream stream(longLine + "\nnext");
    SString line;
    readLineFromStream(stream.get(), line);
    EXPECT_EQ(std::string(line.c_str()), longLine);
}

TEST(TextUtilsTest, ReadLineFromStringMovesIndexPastLine) {
    const SString text("a\r\nb");
    unsigned int index = 0;
    SString line;
    readLineFromString(text, index, line);
    EXPECT_STREQ(line.c_str(), "a");
    EXPECT_EQ(index, 3u);
    line = "";
    readLineFromString(text, index, line);
    EXPECT_STREQ(line.c_str(), "b");
    EXPECT_EQ(index, 5u);
    line = " kept ";
    readLineFromString(text, index, line);
    EXPECT_STREQ(line.c_str(), " kept ");
    EXPECT_EQ(index, 5u);
}

TEST(TextUtilsTest, ReadLineFromStringHandlesEmptyLinesAndInnerCarriageReturns) {
    const SString text("\nx\ry\r\n  z  \n");
    unsigned int index = 0;
    const struct {
        const char* line;
        unsigned int index;
    } expected[] = {{"", 1}, {"xy", 6}, {"z", 12}};
    for (const auto& row : expected) {
        SCOPED_TRACE(row.line);
        SString line;
        readLineFromString(text, index, line);
        EXPECT_STREQ(line.c_str(), row.line);
        EXPECT_EQ(index, row.index);
    }
}

TEST(TextUtilsTest, GetBytesStopsAtEndOfStream) {
    MemoryStream stream("abcde");
    char buffer[8] = {};
    EXPECT_EQ(getBytes(stream.get(), buffer, 3), 3u);
    EXPECT_EQ(std::string(buffer, 3), "abc");
    EXPECT_EQ(getBytes(stream.get(), buffer, 8), 2u);
    EXPECT_EQ(std::string(buffer, 2), "de");
    EXPECT_EQ(getBytes(stream.get(), buffer, 8), 0u);
}

TEST(TextUtilsTest, LoadLongValueReadsBigEndianSigned32Bit) {
    const struct {
        std::string bytes;
        long expected;
    } rows[] = {
        {std::string("\x00\x00\x01\x02", 4), 258},
        {std::string("\xff\xff\xff\xfe", 4), -2},
        {std::string("\x7f\xff\xff\xff", 4), 2147483647L},
        {std::string("\x80\x00\x00\x00", 4), -2147483647L - 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.expected);
        MemoryStream stream(row.bytes);
        EXPECT_EQ(loadLongValue(stream.get(), "unused"), row.expected);
    }
}

TEST(TextUtilsTest, LoadShortValueReadsBigEndianSigned16Bit) {
    MemoryStream stream(std::string("\x01\x80\xff\xfe\x00", 5));
    EXPECT_EQ(loadShortValue(stream.get(), "unused"), 384);
    EXPECT_EQ(loadShortValue(stream.get(), "unused"), -2);
    try {
        loadShortValue(stream.get(), "short value missing");
        FAIL() << "no exception";
    } catch (const LauncherException& e) {
        EXPECT_STREQ(e.message.c_str(), "short value missing");
    }
}

TEST(TextUtilsTest, LoadLongValueThrowsCallersMessageWhenStreamEnds) {
    MemoryStream stream(std::string("\x00\x00\x01", 3));
    try {
        loadLongValue(stream.get(), "Cannot read the file index.");
        FAIL() << "no exception";
    } catch (const LauncherException& e) {
        EXPECT_STREQ(e.message.c_str(), "Cannot read the file index.");
    }
}

TEST(TextUtilsTest, ParseStringArgumentQuoted) {
    const struct {
        const char* text;
        unsigned int start;
        const char* expected;
        unsigned int index;
    } rows[] = {
        {"a\"\"b\"c", 0, "a\"b", 5},      {"abc\"", 0, "abc", SString::npos},
        {"\"x\"", 1, "x", SString::npos}, {"\"\", \"y\"", 1, "", 2},
        {"\"\"\"\" rest", 1, "\"", 4},    {"a\"\"\"\"\"", 0, "a\"\"", SString::npos},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        unsigned int index = row.start;
        EXPECT_STREQ(parseStringArgument(SString(row.text), index, true).c_str(), row.expected);
        EXPECT_EQ(index, row.index);
    }
}

TEST(TextUtilsTest, ParseStringArgumentQuotedWithoutClosingQuoteThrows) {
    const struct {
        const char* text;
        unsigned int start;
        const char* message;
    } rows[] = {
        {"ab\"\"", 0, "Expected double quote to end argument near -1"},
        {"abc", 0, "Expected double quote to end argument near 0"},
        {"a\"\"bc", 0, "Expected double quote to end argument near 3"},
        {"", 0, "Expected double quote to end argument near 0"},
        {"x", SString::npos, "Expected double quote to end argument near -1"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        unsigned int index = row.start;
        try {
            parseStringArgument(SString(row.text), index, true);
            ADD_FAILURE() << "no exception";
        } catch (const LauncherException& e) {
            EXPECT_STREQ(e.message.c_str(), row.message);
        }
    }
}

TEST(TextUtilsTest, ParseStringArgumentUnquoted) {
    const struct {
        const char* text;
        unsigned int start;
        const char* expected;
        unsigned int index;
    } rows[] = {
        {"abc def", 0, "abc", 3},
        {"abc", 0, "abc", SString::npos},
        {"a\tb", 0, "a", 1},
        {"x \"q\"", 0, "x", 1},
        {"abc def", 4, "def", SString::npos},
        {" lead", 0, "", 0},
        {"abc", 3, "", SString::npos},
        {"abc", SString::npos, "", SString::npos},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::Message() << row.text << " from " << row.start);
        unsigned int index = row.start;
        EXPECT_STREQ(parseStringArgument(SString(row.text), index, false).c_str(), row.expected);
        EXPECT_EQ(index, row.index);
    }
}

TEST(TextUtilsTest, GetTokenFromStringWalksTokens) {
    const SString text("  SET N1 5");
    unsigned int index = 0;
    bool noToken = false;
    const struct {
        const char* token;
        unsigned int index;
    } expected[] = {{"SET", 6}, {"N1", 9}, {"5", 11}};
    for (const auto& row : expected) {
        SCOPED_TRACE(row.token);
        EXPECT_STREQ(getTokenFromString(text, index, noToken).c_str(), row.token);
        EXPECT_EQ(index, row.index);
        EXPECT_FALSE(noToken);
    }
    EXPECT_STREQ(getTokenFromString(text, index, noToken).c_str(), "");
    EXPECT_TRUE(noToken);
}

TEST(TextUtilsTest, GetTokenFromStringSeparatesOnAllSpaceCharacters) {
    const SString text("a\vb\fc\r\nd");
    unsigned int index = 0;
    bool noToken = false;
    for (const char* token : {"a", "b", "c", "d"}) {
        SCOPED_TRACE(token);
        EXPECT_STREQ(getTokenFromString(text, index, noToken).c_str(), token);
    }
    EXPECT_FALSE(noToken);
}

TEST(TextUtilsTest, GetTokenFromStringFlagsMissingTokenOnly) {
    unsigned int index = 0;
    bool noToken = true;
    EXPECT_STREQ(getTokenFromString(SString("x"), index, noToken).c_str(), "x");
    EXPECT_TRUE(noToken);  // left unchanged when a token is found

    const struct {
        const char* text;
        unsigned int start;
    } rows[] = {{"", 0}, {" \t\v ", 0}, {"ab  ", 3}, {"ab", 2}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        index = row.start;
        noToken = false;
        EXPECT_STREQ(getTokenFromString(SString(row.text), index, noToken).c_str(), "");
        EXPECT_TRUE(noToken);
        EXPECT_GT(index, strlen(row.text));
    }
}
