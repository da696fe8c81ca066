#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace skyfault {

// The value of a text: blanks, tabs and line feeds anywhere are ignored,
// reading stops at the first character that cannot continue a decimal
// number (sign, digits, one point, an exponent); no leading number gives 0.
// "12abc" -> 12, "" -> 0, "abc" -> 0, " 1 000" -> 1000.
double TextValue(std::string_view text);

// The leading number of a text read as TextValue reads it, or nothing when the
// text has no leading number ("abc", "", "-", "."). A number too large for a
// double gives an infinity of its sign.
std::optional<double> LeadingNumber(std::string_view text);

// Rounds to the nearest whole number, halves to the even neighbour.
double RoundHalfEven(double value);

// The whole text read as one number, blanks around it allowed ("12abc",
// "" and "abc" give nothing). Used where a text must be a number in full.
std::optional<double> StrictNumber(std::string_view text);

// Field `field` (counted from 1, 0..10) of a comma list; "" where absent.
// Only ten fields are kept: fields from the eleventh on are ignored.
std::string GetField(std::string_view list, int field);

// The default probability shown for a rate text N: a blank, then 1/N in
// plain positional notation with "." and no leading "0", cut (not rounded)
// to 10 characters. N = 3 gives " .33333333".
std::string FormatProbability(std::string_view rateText);

}  // namespace skyfault
