#include "launchscript/MacroHandler.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

// Replaces each macro by the value of its name in a table (empty when the
// name is not there) and counts the replacements.
class TableMacroHandler : public MacroHandler {
  public:
    void processMacro(SString& text, char, unsigned int start, unsigned int& end) const override {
        std::string name(text.c_str() + start + 1, end - start - 1);
        auto found = values.find(name);
        text.replace(start, end - start + 1, found == values.end() ? "" : found->second.c_str());
        ++calls;
    }

    std::map<std::string, std::string> values;
    mutable unsigned int calls = 0;
};

TEST(MacroHandlerTest, ScansMacrosAndDelimiterPairs) {
    TableMacroHandler handler;
    handler.values = {{"X", "1"}, {"Y", "%X%%X%"}, {"%X", "pct"}, {"% ", "gap"}};
    struct {
        const char* text;
        const char* expected;
    } cases[] = {
        {"a %X% b", "a 1 b"},
        {"%Y%", "11"},               // a value is scanned again
        {"100%%", "100%"},           // a pair becomes one delimiter
        {"a%%", "a%"},               // a pair at the end
        {"%%%%", "%"},               // a macro named "%", then a lone delimiter
        {"%%X%", "pct"},             // of two adjacent delimiters the second is in the name
        {"50%% %X%", "50gapX%"},     // a later delimiter pairs with the doubled one
        {"ends in %", "ends in %"},  // a trailing delimiter stays
        {"a %X", "a %X"},            // a delimiter among the last two characters
        {"50% off", "50% off"},      // no closing delimiter
        {"%unknown%!", "!"},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_STREQ(c.expected, handler.resolve(c.text, '%').c_str());
    }
}

TEST(MacroHandlerTest, OtherDelimitersAreLeftAlone) {
    TableMacroHandler handler;
    handler.values = {{"X", "1"}};
    EXPECT_STREQ("%X% 1 # %%", handler.resolve("%X% #X# ## %%", '#').c_str());
}

TEST(MacroHandlerTest, SelfReproducingValueStopsAfterBoundedReplacements) {
    TableMacroHandler handler;
    handler.values = {{"X", "a%X%"}};
    try {
        handler.resolve("%X%", '%');
        FAIL() << "no exception";
    } catch (const LauncherException& e) {
        EXPECT_STREQ("Macro expansion does not end.", e.message.c_str());
    }
    EXPECT_EQ(10000u, handler.calls);
}

TEST(MacroHandlerTest, GrowingExpansionStopsPastOneMebibyte) {
    TableMacroHandler handler;
    handler.values = {{"X", std::string(65536, 'a') + "%X%"}};
    try {
        handler.resolve("%X%", '%');
        FAIL() << "no exception";
    } catch (const MacroHandler::EndlessExpansion& e) {
        EXPECT_STREQ("Macro expansion grows past 1 MiB.", e.message.c_str());
    }
    // 1 MiB of 64 KiB pieces: the text limit ends it long before the count.
    EXPECT_GE(handler.calls, 16u);
    EXPECT_LE(handler.calls, 17u);
}

// Each macro resolves a text of its own, as a function resolves its
// arguments: the work of the nested resolves counts against the outer one.
class NestingMacroHandler : public MacroHandler {
  public:
    void processMacro(SString& text, char delimiter, unsigned int start,
                      unsigned int& end) const override {
        if (delimiter == '%') {
            SString inner(std::string(64 * 1024, 'a').c_str());
            inner += "#Y#";
            resolve(inner, '#');
        }
        text.replace(start, end - start + 1, "");
    }
};

TEST(MacroHandlerTest, NestedResolvesShareOneBoundOfWork) {
    NestingMacroHandler handler;
    std::string few;
    for (int i = 0; i < 512; ++i) {
        few += "%X%";
    }
    EXPECT_NO_THROW(handler.resolve(few.c_str(), '%'));
    // 1,536 nested steps over 64 KiB each: more than 64 MiB handled.
    EXPECT_THROW(handler.resolve((few + few + few).c_str(), '%'), MacroHandler::EndlessExpansion);
    // The next top-level resolve starts afresh.
    EXPECT_NO_THROW(handler.resolve(few.c_str(), '%'));
}

}  // namespace
