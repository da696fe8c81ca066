#include "settings/text.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace skyfault {
namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Characters that the lenient reading skips wherever they stand.
bool IsSkipped(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}

// A decimal number gathered from a text: its sign, mantissa digits with an
// optional point, and an optional exponent.
struct Gathered {
    bool negative = false;
    std::string mantissa;  // digits and at most one '.', at least one digit
    long long exponent = 0;
};

// Converts a gathered number; values beyond the range of a double become an
// infinity (too large) or zero (too small) of the number's sign.
double Convert(const Gathered& number) {
    std::string text = number.mantissa;
    if (number.exponent != 0) {
        text += 'e';
        text += std::to_string(number.exponent);
    }
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    (void)end;
    if (error == std::errc::result_out_of_range) {
        // Decimal magnitude of the first significant digit decides which way.
        long long magnitude = number.exponent;
        const auto point = number.mantissa.find('.');
        const auto first = number.mantissa.find_first_of("123456789");
        const std::size_t pointPos = point == std::string::npos ? number.mantissa.size() : point;
        if (first != std::string::npos) {
            magnitude += first < pointPos ? static_cast<long long>(pointPos - first)
                                          : -static_cast<long long>(first - pointPos);
        }
        value = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (error != std::errc{}) {
        value = 0.0;
    }
    return number.negative ? -value : value;
}

// Adds one decimal digit to an exponent, saturating far beyond any double.
void AddExponentDigit(long long& exponent, char digit) {
    constexpr long long kLimit = 1'000'000'000LL;
    if (exponent < kLimit) {
        exponent = exponent * 10 + (digit - '0');
    }
}

}  // namespace

std::optional<double> LeadingNumber(std::string_view text) {
    Gathered number;
    std::size_t i = 0;
    auto skip = [&] {
        while (i < text.size() && IsSkipped(text[i])) {
            ++i;
        }
    };
    skip();
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        number.negative = text[i] == '-';
        ++i;
    }
    bool point = false;
    bool digits = false;
    for (skip(); i < text.size(); ++i, skip()) {
        const char c = text[i];
        if (IsDigit(c)) {
            digits = true;
            number.mantissa.push_back(c);
        } else if (c == '.' && !point) {
            point = true;
            number.mantissa.push_back(c);
        } else {
            break;
        }
    }
    if (!digits) {
        return std::nullopt;
    }
    // An exponent counts only when at least one digit follows its letter.
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        auto skipAt = [&] {
            while (j < text.size() && IsSkipped(text[j])) {
                ++j;
            }
        };
        skipAt();
        bool negativeExponent = false;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) {
            negativeExponent = text[j] == '-';
            ++j;
        }
        long long exponent = 0;
        bool exponentDigits = false;
        for (skipAt(); j < text.size() && IsDigit(text[j]); ++j, skipAt()) {
            exponentDigits = true;
            AddExponentDigit(exponent, text[j]);
        }
        if (exponentDigits) {
            number.exponent = negativeExponent ? -exponent : exponent;
        }
    }
    return Convert(number);
}

double TextValue(std::string_view text) {
    return LeadingNumber(text).value_or(0.0);
}

double RoundHalfEven(double value) {
    if (!std::isfinite(value)) {
        return value;
    }
    const double floor = std::floor(value);
    const double rest = value - floor;
    if (rest > 0.5) {
        return floor + 1.0;
    }
    if (rest < 0.5) {
        return floor;
    }
    return std::fmod(floor, 2.0) == 0.0 ? floor : floor + 1.0;
}

std::optional<double> StrictNumber(std::string_view text) {
    auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    // The form first: sign, digits with at most one point, an exponent.
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        ++i;
    }
    const std::size_t mantissaStart = i;
    bool point = false;
    bool digits = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (IsDigit(c)) {
            digits = true;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (!digits) {
        return std::nullopt;
    }
    const std::size_t mantissaEnd = i;
    long long exponent = 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
            negativeExponent = text[i] == '-';
            ++i;
        }
        bool exponentDigits = false;
        for (; i < text.size() && IsDigit(text[i]); ++i) {
            exponentDigits = true;
            AddExponentDigit(exponent, text[i]);
        }
        if (!exponentDigits) {
            return std::nullopt;
        }
        exponent = negativeExponent ? -exponent : exponent;
    }
    if (i != text.size()) {
        return std::nullopt;
    }
    // The form is that of from_chars but for a leading "+": convert in place.
    const bool negative = text.front() == '-';
    const std::string_view magnitude = text.substr(mantissaStart);
    double value = 0.0;
    const auto [end, error] =
        std::from_chars(magnitude.data(), magnitude.data() + magnitude.size(), value);
    if (error != std::errc{} || end != magnitude.data() + magnitude.size()) {
        // Beyond the range of a double: the careful way decides the side.
        Gathered number;
        number.negative = negative;
        number.mantissa = std::string(text.substr(mantissaStart, mantissaEnd - mantissaStart));
        number.exponent = exponent;
        value = Convert(number);
        if (!std::isfinite(value)) {
            return std::nullopt;
        }
        return value;
    }
    value = negative ? -value : value;
    if (!std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::string GetField(std::string_view list, int field) {
    constexpr int kFieldSlots = 10;
    if (field < 1 || field > kFieldSlots) {
        return "";
    }
    std::size_t start = 0;
    for (int n = 1; n < field; ++n) {
        const auto comma = list.find(',', start);
        if (comma == std::string_view::npos) {
            return "";
        }
        start = comma + 1;
    }
    const auto end = list.find(',', start);
    return std::string(
        list.substr(start, end == std::string_view::npos ? list.size() - start : end - start));
}

std::string FormatProbability(std::string_view rateText) {
    constexpr std::size_t kShown = 10;
    const double rate = TextValue(rateText);
    if (rate == 0.0) {
        return "";  // no probability for a rate of 0; callers never pass one
    }
    const double probability = 1.0 / rate;
    if (!std::isfinite(probability)) {
        return "";
    }
    const double magnitude = std::fabs(probability);
    // Held as a decimal number of at most 28 places, smaller values are 0.
    if (magnitude < 5e-29) {
        return " 0";
    }
    // Shortest digits that give back the double, in positional notation.
    char digits[400];
    const auto [end, error] =
        std::to_chars(digits, digits + sizeof digits, magnitude, std::chars_format::fixed);
    if (error != std::errc{}) {
        return "";
    }
    std::string_view text(digits, static_cast<std::size_t>(end - digits));
    if (text.size() > 1 && text[0] == '0' && text[1] == '.') {
        text.remove_prefix(1);
    }
    std::string shown(1, probability < 0 ? '-' : ' ');
    shown.append(text.substr(0, kShown - 1));
    return shown;
}

}  // namespace skyfault
