#include "settings/text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace skyfault {
namespace {

TEST(GetField, ReadsFieldsOfAFullList) {
    const std::string list = "1000,0,999,-50,100,-999,99999,D";
    EXPECT_EQ(GetField(list, 1), "1000");
    EXPECT_EQ(GetField(list, 4), "-50");
    EXPECT_EQ(GetField(list, 8), "D");
    EXPECT_EQ(GetField(list, 9), "");
    EXPECT_EQ(GetField(list, 0), "");
}

TEST(GetField, EmptyConsecutiveAndTrailingFields) {
    EXPECT_EQ(GetField("", 1), "");
    EXPECT_EQ(GetField("a,,b", 1), "a");
    EXPECT_EQ(GetField("a,,b", 2), "");
    EXPECT_EQ(GetField("a,,b", 3), "b");
    EXPECT_EQ(GetField("a,", 1), "a");
    EXPECT_EQ(GetField("a,", 2), "");
    EXPECT_EQ(GetField(",", 2), "");
    EXPECT_EQ(GetField(" a , b ", 2), " b ");  // no trimming
}

TEST(GetField, CommaTypedIntoAFieldShiftsLaterFields) {
    const std::string list = "1,5,0,999,-50,100,-999,99999,D";
    EXPECT_EQ(GetField(list, 1), "1");
    EXPECT_EQ(GetField(list, 2), "5");
    EXPECT_EQ(GetField(list, 8), "99999");
    EXPECT_EQ(GetField(list, 9), "D");
}

TEST(GetField, KeepsTenFieldsAndIgnoresTheRest) {
    const std::string list = "1,2,3,4,5,6,7,8,9,10,11,12";
    EXPECT_EQ(GetField(list, 10), "10");
    EXPECT_EQ(GetField(list, 11), "");
    EXPECT_EQ(GetField("1,2,3,4,5,6,7,8,9,10", 10), "10");
    EXPECT_EQ(GetField("1,2,3,4,5,6,7,8,9,", 10), "");
}

TEST(GetField, FieldNumbersOutsideTheSlotsGiveEmptyText) {
    EXPECT_EQ(GetField("a,b", -1), "");
    EXPECT_EQ(GetField("a,b", 11), "");
    EXPECT_EQ(GetField("a,b", std::numeric_limits<int>::max()), "");
    EXPECT_EQ(GetField("a,b", std::numeric_limits<int>::min()), "");
}

TEST(TextValue, ReadsTheLeadingNumber) {
    EXPECT_EQ(TextValue("12abc"), 12);
    EXPECT_EQ(TextValue(""), 0);
    EXPECT_EQ(TextValue("abc"), 0);
    EXPECT_EQ(TextValue(" 500"), 500);
    EXPECT_EQ(TextValue("-50"), -50);
    EXPECT_EQ(TextValue("+7"), 7);
    EXPECT_EQ(TextValue("1.5"), 1.5);
    EXPECT_EQ(TextValue(".5"), 0.5);
    EXPECT_EQ(TextValue("5."), 5);
    EXPECT_EQ(TextValue("1.2.3"), 1.2);
    EXPECT_EQ(TextValue("--5"), 0);
    EXPECT_EQ(TextValue("-"), 0);
    EXPECT_EQ(TextValue("."), 0);
    EXPECT_EQ(TextValue("1,5"), 1);
}

TEST(TextValue, IgnoresBlanksTabsAndLineFeedsAnywhere) {
    EXPECT_EQ(TextValue(" 1 000"), 1000);
    EXPECT_EQ(TextValue("\t-\t1\n2"), -12);
    EXPECT_EQ(TextValue("1 . 5"), 1.5);
    EXPECT_EQ(TextValue("1\r2"), 1);  // a carriage return is not skipped
}

TEST(TextValue, ReadsExponents) {
    EXPECT_EQ(TextValue("1e3"), 1000);
    EXPECT_EQ(TextValue("1E-2"), 0.01);
    EXPECT_EQ(TextValue("2e+2x"), 200);
    EXPECT_EQ(TextValue("1e"), 1);  // a letter without digits is no exponent
    EXPECT_EQ(TextValue("1e+"), 1);
    EXPECT_EQ(TextValue("e5"), 0);
}

TEST(TextValue, OutOfRangeNumbersSaturate) {
    EXPECT_EQ(TextValue("1e400"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(TextValue("-1e400"), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(TextValue("1e-400"), 0);
    EXPECT_EQ(TextValue("0.0001e-999999999999999999999"), 0);
    EXPECT_EQ(TextValue("1e99999999999999999999"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(TextValue(std::string(400, '9')), std::numeric_limits<double>::infinity());
    EXPECT_EQ(TextValue("0e99999"), 0);
    EXPECT_EQ(TextValue("1" + std::string(1 << 20, '0') + "e-1048576"), 1);
}

TEST(LeadingNumber, TellsAbsentNumbersFromZero) {
    EXPECT_EQ(LeadingNumber("0"), 0.0);
    EXPECT_EQ(LeadingNumber(" 2x"), 2.0);
    EXPECT_FALSE(LeadingNumber(""));
    EXPECT_FALSE(LeadingNumber("abc"));
    EXPECT_FALSE(LeadingNumber("-"));
    EXPECT_FALSE(LeadingNumber(" . "));
}

TEST(RoundHalfEven, RoundsHalvesToTheEvenNeighbour) {
    EXPECT_EQ(RoundHalfEven(0.5), 0);
    EXPECT_EQ(RoundHalfEven(1.5), 2);
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(3.5), 4);
    EXPECT_EQ(RoundHalfEven(-0.5), 0);
    EXPECT_EQ(RoundHalfEven(-1.5), -2);
    EXPECT_EQ(RoundHalfEven(-2.5), -2);
    EXPECT_EQ(RoundHalfEven(2.4999), 2);
    EXPECT_EQ(RoundHalfEven(2.5001), 3);
    EXPECT_EQ(RoundHalfEven(-2.6), -3);
    EXPECT_EQ(RoundHalfEven(1e300), 1e300);
    EXPECT_EQ(RoundHalfEven(4503599627370497.0), 4503599627370497.0);
    EXPECT_TRUE(std::isinf(RoundHalfEven(std::numeric_limits<double>::infinity())));
}

TEST(StrictNumber, AcceptsOnlyAWholeNumberText) {
    EXPECT_EQ(StrictNumber("1000"), 1000.0);
    EXPECT_EQ(StrictNumber(" -2.5 "), -2.5);
    EXPECT_EQ(StrictNumber("\t.5"), 0.5);
    EXPECT_EQ(StrictNumber("1e3"), 1000.0);
    EXPECT_EQ(StrictNumber("+4"), 4.0);
    EXPECT_FALSE(StrictNumber(""));
    EXPECT_FALSE(StrictNumber("   "));
    EXPECT_FALSE(StrictNumber("12abc"));
    EXPECT_FALSE(StrictNumber("abc"));
    EXPECT_FALSE(StrictNumber("1 000"));
    EXPECT_FALSE(StrictNumber("1e"));
    EXPECT_FALSE(StrictNumber("1.2.3"));
    EXPECT_FALSE(StrictNumber("-"));
    EXPECT_FALSE(StrictNumber("1e400"));
    EXPECT_FALSE(StrictNumber("inf"));
    EXPECT_FALSE(StrictNumber("nan"));
    EXPECT_FALSE(StrictNumber("0x10"));
}

TEST(FormatProbability, KnownRates) {
    EXPECT_EQ(FormatProbability("1"), " 1");
    EXPECT_EQ(FormatProbability("2"), " .5");
    EXPECT_EQ(FormatProbability("3"), " .33333333");
    EXPECT_EQ(FormatProbability("1000"), " .001");
    EXPECT_EQ(FormatProbability("65000"), " .00001538");  // cut, not rounded
    EXPECT_EQ(FormatProbability("6"), " .16666666");      // cut, not rounded
    EXPECT_EQ(FormatProbability("10"), " .1");
    EXPECT_EQ(FormatProbability(" 500"), " .002");
    EXPECT_EQ(FormatProbability("12abc"), " .08333333");
}

TEST(FormatProbability, RatesBelowOneAndNegativeRates) {
    EXPECT_EQ(FormatProbability("0.5"), " 2");
    EXPECT_EQ(FormatProbability("0.3"), " 3.3333333");
    EXPECT_EQ(FormatProbability("-2"), "-.5");
    EXPECT_EQ(FormatProbability("-1"), "-1");
    EXPECT_EQ(FormatProbability("-3"), "-.33333333");
}

TEST(FormatProbability, ExtremeRatesStayPositionalAndShort) {
    // Far beyond 65000: positional digits, cut to ten characters.
    EXPECT_EQ(FormatProbability("1e9"), " .00000000");
    EXPECT_EQ(FormatProbability("1e300"), " 0");
    EXPECT_EQ(FormatProbability("1e400"), " 0");
    // Tiny rates give huge probabilities, still without an exponent.
    EXPECT_EQ(FormatProbability("1e-20"), " 100000000");
    EXPECT_EQ(FormatProbability("0.0078125"), " 128");
    // No probability for a rate of 0 or whose reciprocal overflows.
    EXPECT_EQ(FormatProbability("0"), "");
    EXPECT_EQ(FormatProbability("abc"), "");
    EXPECT_EQ(FormatProbability(""), "");
    EXPECT_EQ(FormatProbability("-0"), "");
    EXPECT_EQ(FormatProbability("1e-320"), "");
    for (const char* rate : {"7", "13", "999", "1e5", "0.001", "-7", "3e-200", "17e17"}) {
        const std::string shown = FormatProbability(rate);
        EXPECT_LE(shown.size(), 10u) << rate;
        EXPECT_EQ(shown.find_first_of("eE,"), std::string::npos) << rate;
    }
}

}  // namespace
}  // namespace skyfault
