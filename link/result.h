#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace skyfault::link {

// Result codes of the link operations.
enum Result : std::int32_t {
    kOkay = 0,
    kAlreadyOpen = 1,
    kNoServer = 2,
    kRegisterFailed = 3,
    kAtomFailed = 4,
    kMappingFailed = 5,
    kViewFailed = 6,
    kWrongVersion = 7,
    kWrongSimulator = 8,
    kNotOpen = 9,
    kNothingQueued = 10,
    kTimedOut = 11,
    kSendFailed = 12,
    kBadData = 13,
    kWideClientNoServer = 14,
    kBlockFull = 15,
};

inline constexpr int kResultCount = 16;

// The text of each result code, 0..15.
const std::array<std::string_view, kResultCount>& ResultTexts();

// The simulator names by simulator code 0..5 ("Any", "FS98", ...).
const std::array<std::string_view, 6>& SimulatorNames();

}  // namespace skyfault::link
