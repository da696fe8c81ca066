// Number reading, comma lists, the shown probability and the systems' lists.
#include "settings/text.h"

#include <gtest/gtest.h>

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
    EXPECT_EQ(TextValue(std::string(400, '9')), kInf);
    EXPECT_EQ(TextValue("1" + std::string(1 << 20, '0') + "e-1048576"), 1);
    // Whole-number reading: blanks around, nothing after, finite.
    EXPECT_EQ(StrictNumber(" -2.5e1\t"), -25.0);
    for (const char* text : {"", " ", "12abc", "1 000", "1e", "1.2.3", "1e400", "inf", "0x10"}) {
        EXPECT_FALSE(StrictNumber(text)) << text;
    }
}

TEST(Text, RoundHalfEven) {
    const std::pair<double, double> cases[] = {{0.5, 0},   {1.5, 2},    {2.5, 2},    {-0.5, 0},
                                               {-1.5, -2}, {-2.5, -2},  {2.4999, 2}, {2.5001, 3},
                                               {-2.6, -3}, {kInf, kInf}};
    for (const auto& [value, rounded] : cases) {
        EXPECT_EQ(RoundHalfEven(value), rounded) << value;
    }
    EXPECT_EQ(RoundHalfEven(4503599627370497.0), 4503599627370497.0);
}

// Fields count from 1, blanks kept; only ten are kept.
TEST(Text, GetField) {
    const char* full = "1000,0,999,-50,100,-999,99999,D";
    const char* eleven = "1,2,3,4,5,6,7,8,9,10,11";
    const int low = std::numeric_limits<int>::min();
    const std::tuple<const char*, int, const char*> cases[] = {
        {full, 1, "1000"},  {full, 4, "-50"}, {full, 8, "D"}, {full, 9, ""},
        {"a,,b", 2, ""},    {"a,,b", 3, "b"}, {"a,", 2, ""},  {" a , b ", 2, " b "},
        {eleven, 10, "10"}, {eleven, 11, ""}, {"a,b", 0, ""}, {"a,b", -1, ""},
        {"a,b", low, ""}};
    for (const auto& [list, field, expected] : cases) {
        EXPECT_EQ(GetField(list, field), expected) << list << " #" << field;
    }
}

// 1/N positional, without a leading "0", cut (not rounded) to ten characters.
TEST(Text, FormatProbability) {
    const std::pair<const char*, const char*> cases[] = {
        {"3", " .33333333"},   {"1", " 1"},       {"65000", " .00001538"},
        {"6", " .16666666"},   {" 500", " .002"}, {"12abc", " .08333333"},
        {"0.3", " 3.3333333"}, {"-2", "-.5"},     {"-3", "-.33333333"},
        {"1e9", " .00000000"}, {"1e300", " 0"},   {"1e-20", " 100000000"}};
    for (const auto& [rate, shown] : cases) {
        EXPECT_EQ(FormatProbability(rate), shown) << rate;
    }
    for (const char* rate : {"0", "abc", "-0", "1e-320"}) {
        EXPECT_EQ(FormatProbability(rate), "") << rate;
    }
}

// A new default rate goes only to the systems' lists marked exactly "D",
// rebuilt with eight fields.
TEST(Model, ApplyDefaultRateToSystems) {
    Settings settings;
    const char* kept[] = {"42,0,999,-50,100,-999,99999,C", "7,,,,,,,d", "7,D"};
    settings.systemStr = {"1,2,3,4,5,6,7,D,9,10", kept[0], kept[1], kept[2]};
    settings.systemStr[24] = settings.systemStr[30] = "1,,,,,,,D";
    settings.ApplyDefaultRateToSystems("500");
    EXPECT_EQ(settings.systemStr[0], "500,2,3,4,5,6,7,D");
    EXPECT_EQ(settings.systemStr[24], "500,,,,,,,D");
    EXPECT_EQ(settings.systemStr[30], "1,,,,,,,D");
    for (int id = 1; id <= 3; ++id) {
        EXPECT_EQ(settings.systemStr[id], kept[id - 1]);
    }
}

}  // namespace
}  // namespace skyfault
