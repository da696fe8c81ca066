// The comma-list field, the lenient value of a text and the probability
// text on any input: no crash, and the probability text is never longer
// than 10 characters and never uses an exponent.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "settings/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    skyfault::fuzz::InputReader input(data, size);
    const int field = static_cast<int>(static_cast<std::int8_t>(input.Byte()));
    const std::string_view text = input.Rest();

    const std::string got = skyfault::GetField(text, field);
    // A field is a piece of the list between commas.
    SKYFAULT_FUZZ_CHECK(got.size() <= text.size());
    SKYFAULT_FUZZ_CHECK(got.find(',') == std::string::npos);
    SKYFAULT_FUZZ_CHECK(got.empty() || text.find(got) != std::string_view::npos);
    if (field < 1 || field > 10) {
        SKYFAULT_FUZZ_CHECK(got.empty());
    }

    const double value = skyfault::TextValue(text);
    SKYFAULT_FUZZ_CHECK(!std::isnan(value));
    const auto leading = skyfault::LeadingNumber(text);
    SKYFAULT_FUZZ_CHECK(leading.has_value() ? *leading == value : value == 0.0);
    const auto strict = skyfault::StrictNumber(text);
    SKYFAULT_FUZZ_CHECK(!strict || std::isfinite(*strict));
    const double rounded = skyfault::RoundHalfEven(value);
    SKYFAULT_FUZZ_CHECK(!std::isfinite(value) || std::fabs(rounded - value) <= 0.5);

    for (const std::string_view rate : {text, std::string_view(got)}) {
        const std::string shown = skyfault::FormatProbability(rate);
        SKYFAULT_FUZZ_CHECK(shown.size() <= 10);
        SKYFAULT_FUZZ_CHECK(shown.find_first_of("eE") == std::string::npos);
    }
    return 0;
}
