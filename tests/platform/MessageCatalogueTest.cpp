#include "platform/MessageCatalogue.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "support/ScopedEnv.h"

namespace {

const char* const kLocaleKeys[kLocaleCount] = {
    "en", "cs", "da", "de", "el", "es",    "fi", "fr", "hu", "it", "ja",
    "ko", "nl", "no", "pl", "pt", "pt_BR", "ru", "sv", "tr", "zh", "zh_TW",
};

// get_msg's buffer comes from new[].
using Msg = std::unique_ptr<char[]>;

Msg getMsg(int id, const char* arg) {
    return Msg(get_msg(id, const_cast<char*>(arg)));
}

// The printf conversions of a text, in order ("%%" counts as one).
std::vector<std::string> conversions(const char* text) {
    std::vector<std::string> result;
    for (const char* p = strchr(text, '%'); p != nullptr; p = strchr(p + 2, '%')) {
        result.push_back(std::string(p, p[1] != '\0' ? 2 : 1));
        if (p[1] == '\0') {
            break;
        }
    }
    return result;
}

// True when the text is well-formed UTF-8 without control characters.
bool isCleanUtf8(const char* text) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    while (*p != 0) {
        int follow = *p < 0x80             ? 0
                     : (*p & 0xE0) == 0xC0 ? 1
                     : (*p & 0xF0) == 0xE0 ? 2
                     : (*p & 0xF8) == 0xF0 ? 3
                                           : -1;
        if (follow < 0 || (follow == 0 && *p < 0x20) || (follow == 1 && *p < 0xC2)) {
            return false;
        }
        ++p;
        for (int i = 0; i < follow; ++i, ++p) {
            if ((*p & 0xC0) != 0x80) {
                return false;
            }
        }
    }
    return true;
}

int countOf(const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t pos = text.find(part); pos != std::string::npos; pos = text.find(part, pos + 1)) {
        ++n;
    }
    return n;
}

}  // namespace

TEST(MessageCatalogueTest, LocaleTableListsEveryLocaleInMatchingOrder) {
    for (int i = 0; i < kLocaleCount; ++i) {
        SCOPED_TRACE(kLocaleKeys[i]);
        ASSERT_NE(msg_locale_table[i], nullptr);
        EXPECT_STREQ(msg_locale_table[i][0], kLocaleKeys[i]);
    }
    EXPECT_EQ(msg_locale_table[kLocaleCount], nullptr);
}

// English has every entry; a translation every entry up to 38, the last
// one translated so far, and may lack the later ones.
const int kLastTranslatedEntry = 38;

TEST(MessageCatalogueTest, EveryTableHasItsEntriesThenNull) {
    for (int i = 0; i < kLocaleCount; ++i) {
        SCOPED_TRACE(kLocaleKeys[i]);
        int required = i == 0 ? kMessageCount : kLastTranslatedEntry + 1;
        for (int id = 0; id < required; ++id) {
            EXPECT_NE(msg_locale_table[i][id], nullptr) << "entry " << id;
        }
        EXPECT_EQ(msg_locale_table[i][kMessageCount], nullptr);
        EXPECT_STREQ(msg_locale_table[i][18], ".");
    }
}

TEST(MessageCatalogueTest, AnEntryWithoutTranslationIsShownInEnglish) {
    testsupport::ScopedEnv lang("LANG", "de_DE.UTF-8");
    for (int id = kLastTranslatedEntry + 1; id < kMessageCount; ++id) {
        SCOPED_TRACE(id);
        ASSERT_EQ(unixlauncher_msg_de[id], nullptr);
        char english[kMessageBufferSize];
        snprintf(english, sizeof english, unixlauncher_msg_en[id], "26");
        EXPECT_STREQ(getMsg(id, "26").get(), english);
    }
}

// One argument must fill any entry of any language, so each translation
// carries exactly the conversions of its English entry, keeps the blanks
// that callers rely on and the two-character "\n" markers of entry 35.
TEST(MessageCatalogueTest, TranslationsKeepConversionsBlanksAndEncoding) {
    for (int i = 0; i < kLocaleCount; ++i) {
        for (int id = 0; id < kMessageCount && msg_locale_table[i][id] != nullptr; ++id) {
            SCOPED_TRACE(std::string(kLocaleKeys[i]) + " entry " + std::to_string(id));
            const std::string english = unixlauncher_msg_en[id];
            const std::string text = msg_locale_table[i][id];
            ASSERT_FALSE(text.empty());
            EXPECT_EQ(conversions(text.c_str()), conversions(english.c_str()));
            EXPECT_TRUE(isCleanUtf8(text.c_str()));
            EXPECT_EQ(text.front() == ' ', english.front() == ' ');
            EXPECT_EQ(text.back() == ' ', english.back() == ' ');
            EXPECT_EQ(countOf(text, "\\n"), countOf(english, "\\n"));
        }
    }
}

TEST(MessageCatalogueTest, EnglishTextsKeepTheirExactBytes) {
    EXPECT_STREQ(unixlauncher_msg_en[24], "Invalid action in input file: ");
    EXPECT_STREQ(unixlauncher_msg_en[27], "Unable to load the launcher file index. ");
    EXPECT_STREQ(unixlauncher_msg_en[35],
                 "Corvane(R) is preparing the Corvane Wizard, which\\nwill guide you through the "
                 "rest of the setup process.\\nPlease wait...");
    EXPECT_EQ(strchr(unixlauncher_msg_en[35], '\n'), nullptr);
    EXPECT_STREQ(unixlauncher_msg_en[37],
                 " There may not be enough temporary disk space. Try using -cv:tempdir to use a "
                 "temporary directory on a partition with more disk space.");
}

TEST(MessageCatalogueTest, LocaleIsChosenByLang) {
    struct Row {
        const char* lang;  // null: unset
        const char* key;
    };
    const Row rows[] = {
        {nullptr, "en"},
        {"", "en"},
        {"C", "en"},
        {"POSIX", "en"},
        {"C.UTF-8", "en"},
        {"german", "en"},
        {"en_US.UTF-8", "en"},
        {"pt_BR.ISO8859-1", "pt_BR"},
        {"pt_BR", "pt_BR"},
        {"pt_PT", "pt"},
        {"pt", "pt"},
        {"zh_TW.BIG5", "zh_TW"},
        {"zh_CN.GB2312", "zh"},
        {"zh_HK", "zh"},
        {"zh", "zh"},
        {"de", "de"},
        {"de_AT", "de"},
        {"de_DE.UTF-8", "de"},
        {"japanese", "ja"},
        {"no_NO", "no"},
        {"sv_SE.ISO8859-15", "sv"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.lang != nullptr ? row.lang : "(unset)");
        testsupport::ScopedEnv lang("LANG", row.lang);
        int locale = get_locale();
        ASSERT_GE(locale, 0);
        ASSERT_LT(locale, kLocaleCount);
        EXPECT_STREQ(msg_locale_table[locale][0], row.key);
    }
}

TEST(MessageCatalogueTest, MessageIsFormattedInTheCurrentLocale) {
    testsupport::ScopedEnv lang("LANG", "de_DE.UTF-8");
    EXPECT_STREQ(getMsg(7, "abcd").get(), "abcd wird ausgeführt...");
    lang.set("LANG", "C");
    EXPECT_STREQ(getMsg(7, "abcd").get(), "Running abcd...");
}

TEST(MessageCatalogueTest, NullArgumentFillsPlaceholderWithNothing) {
    testsupport::ScopedEnv lang("LANG", "C");
    EXPECT_STREQ(getMsg(1, nullptr).get(), "Initializing ...");
    EXPECT_STREQ(getMsg(20, nullptr).get(), "Error loading instructions file.");
}

TEST(MessageCatalogueTest, IdOutOfRangeGivesErrorText) {
    testsupport::ScopedEnv lang("LANG", "fr");
    EXPECT_STREQ(getMsg(46, nullptr).get(), "Error displaying message: id(46)");
    EXPECT_STREQ(getMsg(-1, "x").get(), "Error displaying message: id(-1)");
}

TEST(MessageCatalogueTest, BufferIsZeroFilledBehindTheText) {
    testsupport::ScopedEnv lang("LANG", "C");
    Msg msg = getMsg(18, nullptr);
    EXPECT_STREQ(msg.get(), ".");
    for (int i = 1; i < kMessageBufferSize; ++i) {
        ASSERT_EQ(msg[i], '\0') << "byte " << i;
    }
}

TEST(MessageCatalogueTest, LongTextIsCutToTheBuffer) {
    testsupport::ScopedEnv lang("LANG", "C");
    const std::string arg(3000, 'x');
    Msg msg = getMsg(7, arg.c_str());
    const std::string expected = "Running " + arg.substr(0, kMessageBufferSize - 1 - 8);
    EXPECT_EQ(std::string(msg.get()), expected);
    EXPECT_EQ(msg[kMessageBufferSize - 1], '\0');
}
