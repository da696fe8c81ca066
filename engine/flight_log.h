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
#include "settings/model.h"

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

// The Flight menu and the Failure Log window's own texts; "&" marks an
// access key (the menu's is L: Alt+F stays File's).
inline constexpr char kFlightMenuCaption[] = "F&light";
inline constexpr char kRepairItemCaption[] = "&Repair All Systems";
inline constexpr char kFailureLogItemCaption[] = "Failure &Log...";
inline constexpr char kFailureLogTitle[] = "Failure Log";
inline constexpr char kStopAfterLead[] = "Stop after";
inline constexpr char kStopAfterTail[] = "failures (0: no limit)";

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

// One line of the file: the cells separated by commas, each in double quotes
// (its quotes doubled) when it holds a comma, a quote or a line end; CR LF
// at the end on every platform, as spreadsheets read it.
std::string FlightLogLine(const std::array<std::string, kFlightLogColumns>& cells);

// Appends the event's line to the log at `path` (UTF-8 on Windows), after the
// captions' line when the file is new or empty. A file over
// kFlightLogMaxBytes is first renamed to kFlightLogOldFileName beside it,
// replacing an older one. Anything at `path` that is not a regular file (a
// folder, a FIFO, a device) is never opened. Returns why the event could not
// be written, or "" when it was.
std::string AppendFlightLog(const std::string& path, const FlightEvent& event);

// The "Stop after [N] failures" box: 0 (no limit) to kMaxFailuresLimit.
using skyfault::kMaxFailuresLimit;

// The Failure Log's foot: what the settings in force give, with the systems
// allowed (by `settings`) and not yet failed (`eligible`), a check every
// `checkPeriodMs`:
// "With the systems allowed now, these settings give about one failure every
// 17 minutes." (minutes below 90 minutes, hours with one decimal above).
std::string FailureEstimateText(const Settings& settings,
                                const std::array<bool, kSystemCount>& eligible, int checkPeriodMs);

}  // namespace skyfault::engine
