#pragma once

// What happened in this run: the failures Skyfault carried out and the
// repairs, as the Failure Log window lists them and as skyfault-log.csv
// keeps them; and what the settings in force mean in time.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "settings/catalogue.h"

namespace skyfault {
struct Settings;
}  // namespace skyfault

namespace skyfault::engine {

// The clock of the log: the local time of day, and a steady count of seconds
// that no change of the machine's clock moves.
class LogClock {
public:
    virtual ~LogClock() = default;
    virtual double LocalSecondsSinceMidnight() = 0;
    virtual double SteadySeconds() = 0;
};

// The machine's clocks.
class SystemLogClock final : public LogClock {
public:
    double LocalSecondsSinceMidnight() override;
    double SteadySeconds() override;
};

enum class FlightEventKind { Failure, Repair };

struct FlightEvent {
    FlightEventKind kind = FlightEventKind::Failure;
    int systemId = 0;
    double timeOfDay = 0;   // local, seconds since midnight
    double sinceStart = 0;  // seconds since the program started
    // What the check that chose a failure read; nothing for a repair.
    std::optional<double> airspeed;               // knots
    std::optional<double> outsideAirTemperature;  // degrees Celsius
    std::optional<double> groundAltitude;         // feet
};

// The columns of the Failure Log window and of skyfault-log.csv, in order.
inline constexpr int kFlightLogColumns = 7;
// The window's captions ("°C" in UTF-8), and the file's (plain ASCII).
extern const std::array<std::string_view, kFlightLogColumns> kFlightLogCaptions;
extern const std::array<std::string_view, kFlightLogColumns> kFlightLogFileCaptions;
// An event's cells, as both the window and the file show them: "14:03:27",
// "0:12:05", "Failure" or "Repair", the system's caption, then the readings
// (blank for a repair).
std::array<std::string, kFlightLogColumns> FlightEventCells(const FlightEvent& event);

// The log file, in the folder the program starts in; it is renamed to
// kFlightLogOldFileName before an event that finds it over kFlightLogMaxBytes.
inline constexpr std::string_view kFlightLogFileName = "skyfault-log.csv";
inline constexpr std::string_view kFlightLogOldFileName = "skyfault-log.old.csv";
inline constexpr std::uint64_t kFlightLogMaxBytes = 1024 * 1024;

// The "Stop after [N] failures" box: 0 (no limit) to kMaxFailuresLimit.
inline constexpr int kMaxFailuresLimit = 999;

// The Failure Log's foot: what the settings in force give, with the systems
// allowed and not yet failed (`eligible`), a check every `checkPeriodMs`:
// "With the systems allowed now, these settings give about one failure every
// 17 minutes." (minutes below 90 minutes, hours with one decimal above).
std::string FailureEstimateText(const Settings& settings,
                                const std::array<bool, kSystemCount>& eligible, int checkPeriodMs);

}  // namespace skyfault::engine
