// Number reading, comma lists, the shown probability and the system lists.
#include "settings/text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <tuple>
#include <utility>

#include "settings/model.h"

namespace skyfault {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(Text, LenientNumbersSkipBlanksStopAtTheFirstStrangerAndSaturate) {
    const std::pair<const char*, double> cases[] = {
        {"12abc", 12}, {"", 0},       {"abc", 0},      {" 1 000", 1000},  {"\t-\t1\n2", -12},
        {"1\r2", 1},   {"+7", 7},     {".5", 0.5},     {"1.2.3", 1.2},    {"--5", 0},
        {"1,5", 1},    {"1e3", 1000}, {"1E-2", 0.01},  {"2e+2x", 200},    {"1e", 1},
        {"1e+", 1},    {"e5", 0},     {"1e400", kInf}, {"-1e400", -kInf}, {"1e-400", 0},
        {"0e99999", 0}};
    for (const auto& [text, value] : cases) {
        EXPECT_EQ(TextValue(text), value) << text;
    }
    EXPECT_EQ(TextValue("1e99999999999999999999"), kInf);
    EXPECT_EQ(TextValue("0.0001e-999999999999999999999"), 0);
    EXPECT_EQ(TextValue(std::string(400, '9')), kInf);
    EXPECT_EQ(TextValue("1" + std::string(1 << 20, '0') + "e-1048576"), 1);
    EXPECT_EQ(LeadingNumber("0"), 0.0);
    for (const char* none : {"", "abc", "-", " . "}) {
        EXPECT_FALSE(LeadingNumber(none)) << none;
    }
}

TEST(Text, RoundHalfEven) {
    const std::pair<double, double> cases[] = {
        {0.5, 0},   {1.5, 2},    {2.5, 2},    {3.5, 4},   {-0.5, 0},      {-1.5, -2},
        {-2.5, -2}, {2.4999, 2}, {2.5001, 3}, {-2.6, -3}, {1e300, 1e300}, {kInf, kInf}};
    for (const auto& [value, rounded] : cases) {
        EXPECT_EQ(RoundHalfEven(value), rounded) << value;
    }
    EXPECT_EQ(RoundHalfEven(4503599627370497.0), 4503599627370497.0);
}

TEST(Text, StrictNumberTakesOnlyAWholeFiniteNumber) {
    const std::pair<const char*, double> numbers[] = {
        {"1000", 1000}, {" -2.5 ", -2.5}, {"\t.5", 0.5}, {"1e3", 1000}, {"+4", 4}};
    for (const auto& [text, value] : numbers) {
        EXPECT_EQ(StrictNumber(text), value) << text;
    }
    for (const char* text :
         {"", "   ", "12abc", "abc", "1 000", "1e", "1.2.3", "-", "1e400", "inf", "nan", "0x10"}) {
        EXPECT_FALSE(StrictNumber(text)) << text;
    }
}

// Fields count from 1; only ten are kept; a typed comma shifts later fields.
TEST(Text, GetField) {
    const char* full = "1000,0,999,-50,100,-999,99999,D";
    const char* shifted = "1,5,0,999,-50,100,-999,99999,D";
    const char* eleven = "1,2,3,4,5,6,7,8,9,10,11";
    constexpr int kMax = std::numeric_limits<int>::max();
    constexpr int kMin = std::numeric_limits<int>::min();
    const std::tuple<const char*, int, const char*> cases[] = {
        {full, 1, "1000"},     {full, 4, "-50"}, {full, 8, "D"},     {full, 9, ""},
        {shifted, 9, "D"},     {"a,,b", 2, ""},  {"a,,b", 3, "b"},   {"a,", 2, ""},
        {" a , b ", 2, " b "}, {"", 1, ""},      {eleven, 10, "10"}, {eleven, 11, ""},
        {"a,b", 0, ""},        {"a,b", -1, ""},  {"a,b", kMax, ""},  {"a,b", kMin, ""}};
    for (const auto& [list, field, expected] : cases) {
        EXPECT_EQ(GetField(list, field), expected) << list << " #" << field;
    }
}

// 1/N positional, without a leading "0", cut (not rounded) to ten characters.
TEST(Text, FormatProbability) {
    const std::pair<const char*, const char*> cases[] = {
        {"3", " .33333333"},     {"1", " 1"},           {"1000", " .001"},
        {"65000", " .00001538"}, {"6", " .16666666"},   {" 500", " .002"},
        {"12abc", " .08333333"}, {"0.3", " 3.3333333"}, {"-2", "-.5"},
        {"-3", "-.33333333"},    {"1e9", " .00000000"}, {"1e300", " 0"},
        {"1e-20", " 100000000"}};
    for (const auto& [rate, shown] : cases) {
        EXPECT_EQ(FormatProbability(rate), shown) << rate;
    }
    for (const char* rate : {"0", "abc", "-0", "1e-320"}) {
        EXPECT_EQ(FormatProbability(rate), "") << rate;
    }
}

TEST(Model, FirstStartListsAndTheDefaultRate) {
    const std::string list = "1000,0,999,-50,100,-999,99999,D";
    Settings settings = FirstStartSettings();
    for (int slot = 0; slot < kSlotCount; ++slot) {
        EXPECT_EQ(settings.systemStr[slot], slot < kSystemCount ? list : "") << slot;
    }
    // A new rate goes only to the systems' lists marked exactly "D".
    settings.systemStr[3] = "42,0,999,-50,100,-999,99999,C";
    settings.systemStr[4] = "7,,,,,,,d";
    settings.systemStr[5] = "7,1,2,3,4,5,6,D,9,10";
    settings.systemStr[30] = "1,,,,,,,D";
    settings.ApplyDefaultRateToSystems("500");
    EXPECT_EQ(settings.systemStr[0], "500,0,999,-50,100,-999,99999,D");
    EXPECT_EQ(settings.systemStr[24], "500,0,999,-50,100,-999,99999,D");
    EXPECT_EQ(settings.systemStr[3], "42,0,999,-50,100,-999,99999,C");
    EXPECT_EQ(settings.systemStr[4], "7,,,,,,,d");
    EXPECT_EQ(settings.systemStr[5], "500,1,2,3,4,5,6,D");
    EXPECT_EQ(settings.systemStr[30], "1,,,,,,,D");
    EXPECT_EQ(ApplyDefaultRate("7,D", "500"), "7,D");
}

}  // namespace
}  // namespace skyfault
