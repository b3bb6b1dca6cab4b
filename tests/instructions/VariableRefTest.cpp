#include "instructions/VariableRef.h"

#include <gtest/gtest.h>

#include <string>

#include "launcher/Launcher.h"
#include "launcher/LauncherException.h"
#include "support/LauncherStateGuard.h"
#include "support/TestSupport.h"

namespace {

using testsupport::str;

class VariableRefTest : public ::testing::Test {
  protected:
    // The variable banks start empty and are put back afterwards.
    testsupport::LauncherStateGuard state;
};

// The message of the LauncherException that init throws, or "" when it succeeds.
std::string initError(const char* reference) {
    VariableRef ref;
    try {
        ref.init(reference, "CTX");
    } catch (const LauncherException& e) {
        return str(e.message);
    }
    return "";
}

}  // namespace

TEST_F(VariableRefTest, InitReadsTypeAndNumber) {
    const struct {
        const char* reference;
        char type;
        long number;
    } cases[] = {
        {"N1", 'N', 1},  {"n5", 'N', 5},  {"S10", 'S', 10}, {"s1", 'S', 1},
        {"N 2", 'N', 2}, {"N2x", 'N', 2}, {"S+3", 'S', 3},  {"S\t7 and more", 'S', 7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reference);
        VariableRef ref;
        ref.init(c.reference, "CTX");
        EXPECT_EQ(ref.type, c.type);
        EXPECT_EQ(ref.number, c.number);
    }
}

TEST_F(VariableRefTest, InitRejectsBadReferences) {
    const struct {
        const char* reference;
        const char* message;
    } cases[] = {
        {"", "CTX Variable references must be at least 2 characters (e.g. N1 and S10)."},
        {"N", "CTX Variable references must be at least 2 characters (e.g. N1 and S10)."},
        {"X1",
         "CTX Invalid variable reference (X1). Must use N or S as the variable type, e.g. N2 or "
         "S1."},
        {"1N",
         "CTX Invalid variable reference (1N). Must use N or S as the variable type, e.g. N2 or "
         "S1."},
        {"N6", "CTX Variable number is invalid (6)"},
        {"N0", "CTX Variable number is invalid (0)"},
        {"S11", "CTX Variable number is invalid (11)"},
        {"N-1", "CTX Variable number is invalid (-1)"},
        {"Nx", "CTX Variable number is invalid (x)"},
        {"S ", "CTX Variable number is invalid ( )"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reference);
        EXPECT_EQ(initError(c.reference), c.message);
    }
}

TEST_F(VariableRefTest, SetValueStoresIntoTheBanks) {
    VariableRef number;
    number.init("N2", "CTX");
    number.setValue(" 12abc", "CTX");
    EXPECT_EQ(Launcher::getLongVariable(2), 12);
    number.setValue("-7", "CTX");
    EXPECT_EQ(Launcher::getLongVariable(2), -7);
    EXPECT_EQ(str(number.getStringValue()), "-7");

    VariableRef text;
    text.init("s10", "CTX");
    text.setValue("  kept as is @N1@ ", "CTX");
    EXPECT_EQ(str(Launcher::getStringVariable(10)), "  kept as is @N1@ ");
    EXPECT_EQ(str(text.getStringValue()), "  kept as is @N1@ ");
}

TEST_F(VariableRefTest, NonNumericValueLeavesNumericVariable) {
    Launcher::setLongVariable(1, 4);
    VariableRef ref;
    ref.init("N1", "CTX");
    for (const char* value : {"abc", "", " "}) {
        SCOPED_TRACE(value);
        try {
            ref.setValue(value, "CTX");
            FAIL() << "no error";
        } catch (const LauncherException& e) {
            EXPECT_EQ(str(e.message), std::string("CTX Invalid numeric expression in ") + value);
        }
    }
    EXPECT_EQ(Launcher::getLongVariable(1), 4);
}

TEST(VariableRefConversionTest, ConvertReadsLeadingDecimalNumber) {
    const struct {
        const char* text;
        bool ok;
        long value;
    } cases[] = {
        {"42", true, 42}, {"  -3x", true, -3}, {"+7", true, 7}, {"0x10", true, 0},
        {"x1", false, 0}, {"", false, 0},      {" ", false, 0}, {"-", false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        long asLong = 0;
        short asShort = 0;
        EXPECT_EQ(convertToLong(c.text, asLong), c.ok);
        EXPECT_EQ(convertToShort(c.text, asShort), c.ok);
        if (c.ok) {
            EXPECT_EQ(asLong, c.value);
            EXPECT_EQ(asShort, c.value);
        }
    }
}
