#include "engine/flight_log.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <ctime>
#include <exception>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "settings/model.h"
#include "settings/text.h"

namespace skyfault::engine {

const std::array<std::string_view, kFlightLogColumns> kFlightLogCaptions = {"Time",
                                                                            "Since start",
                                                                            "Event",
                                                                            "System",
                                                                            "Airspeed (kt)",
                                                                            "Outside air (\u00B0C)",
                                                                            "Ground altitude (ft)"};
const std::array<std::string_view, kFlightLogColumns> kFlightLogFileCaptions = {
    "Time",
    "Since start",
    "Event",
    "System",
    "Airspeed (kt)",
    "Outside air (C)",
    "Ground altitude (ft)"};

namespace {

namespace fs = std::filesystem;

// A UTF-8 path as the file system takes it: on Windows through the wide
// file API, elsewhere the bytes as they are.
fs::path PathOf(std::string_view utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string TwoDigits(long long value) {
    return (value < 10 ? "0" : "") + std::to_string(value);
}

// "H:MM:SS" of whole seconds (the hours as many as there are).
std::string Clock(long long seconds) {
    return std::to_string(seconds / 3600) + ":" + TwoDigits(seconds / 60 % 60) + ":" +
           TwoDigits(seconds % 60);
}

// A fixed number of decimals, whatever the locale says of the decimal point.
std::string Fixed(double value, int decimals) {
    std::array<char, 400> text{};  // enough for any double in fixed notation
    const auto end = std::to_chars(text.data(), text.data() + text.size(), value,
                                   std::chars_format::fixed, decimals)
                         .ptr;
    const std::string shown(text.data(), end);
    // No "-0" or "-0.0" for a value that rounds to zero.
    return shown.find_first_not_of("-0.") == std::string::npos && shown.starts_with('-')
               ? shown.substr(1)
               : shown;
}

std::string Reading(const std::optional<double>& value, int decimals) {
    return value ? Fixed(*value, decimals) : std::string();
}

// What the system says of the last failed call, or `otherwise`.
std::string LastError(int code, const char* otherwise) {
    return code != 0 ? std::generic_category().message(code) : otherwise;
}

// The time between failures in words: "less than a minute", "1 minute",
// "17 minutes", and from 90 minutes on "2.5 hours".
std::string Interval(double seconds) {
    if (seconds < 30) {
        return "less than a minute";
    }
    const double minutes = seconds / 60;
    if (minutes < 89.5) {
        const long long whole = std::llround(minutes);
        return whole == 1 ? "1 minute" : std::to_string(whole) + " minutes";
    }
    return Fixed(minutes / 60, 1) + " hours";
}

}  // namespace

double SystemLogClock::LocalSecondsSinceMidnight() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const auto whole = floor<seconds>(now);
    const std::time_t time = system_clock::to_time_t(whole);
    const double fraction = duration<double>(now - whole).count();
    // Called on the user-interface thread only, which reads the result at once.
    const std::tm* local = std::localtime(&time);
    if (local == nullptr) {
        return static_cast<double>(time % 86400) + fraction;  // the universal time, then
    }
    return local->tm_hour * 3600.0 + local->tm_min * 60.0 + local->tm_sec + fraction;
}

double SystemLogClock::SteadySeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

std::array<std::string, kFlightLogColumns> FlightEventCells(const FlightEvent& event) {
    const bool known = event.systemId >= 0 && event.systemId < kSystemCount;
    const auto seconds = [](double value) {
        return std::isfinite(value) && value > 0 ? static_cast<long long>(std::fmin(value, 1e15))
                                                 : 0LL;
    };
    const std::string timeOfDay = Clock(seconds(event.timeOfDay) % 86400);
    return {timeOfDay.size() < 8 ? "0" + timeOfDay : timeOfDay,
            Clock(seconds(event.sinceStart)),
            event.kind == FlightEventKind::Failure ? "Failure" : "Repair",
            known ? std::string(Catalogue()[event.systemId].caption) : std::string(),
            Reading(event.airspeed, 0),
            Reading(event.outsideAirTemperature, 1),
            Reading(event.groundAltitude, 0)};
}

std::string FlightLogLine(const std::array<std::string, kFlightLogColumns>& cells) {
    std::string line;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        line += i == 0 ? "" : ",";
        const std::string& cell = cells[i];
        if (cell.find_first_of(",\"\r\n") == std::string::npos) {
            line += cell;
            continue;
        }
        line += '"';
        for (const char c : cell) {
            line += c == '"' ? "\"\"" : std::string(1, c);
        }
        line += '"';
    }
    return line + "\r\n";
}

std::string AppendFlightLog(const std::string& path, const FlightEvent& event) {
    if (path.empty() || path.find('\0') != std::string::npos) {
        return "no usable file name";
    }
    try {
        const fs::path file = PathOf(path);
        std::error_code error;
        const fs::file_status status = fs::status(file, error);
        if (fs::exists(status) && !fs::is_regular_file(status)) {
            return "it is not a regular file";
        }
        if (error && status.type() != fs::file_type::not_found) {
            return error.message();
        }
        std::uintmax_t size = 0;
        if (fs::exists(status)) {
            size = fs::file_size(file, error);
            if (error) {
                return error.message();
            }
        }
        if (size > kFlightLogMaxBytes) {
            const fs::path old = file.parent_path() / PathOf(kFlightLogOldFileName);
            const fs::file_status oldStatus = fs::status(old, error);
            if (fs::exists(oldStatus) && !fs::is_regular_file(oldStatus)) {
                return std::string(kFlightLogOldFileName) + " is not a regular file";
            }
            fs::remove(old, error);
            fs::rename(file, old, error);
            if (error) {
                return error.message();
            }
            size = 0;
        }
        std::array<std::string, kFlightLogColumns> captions;
        std::copy(kFlightLogFileCaptions.begin(), kFlightLogFileCaptions.end(), captions.begin());
        const std::string text =
            (size == 0 ? FlightLogLine(captions) : "") + FlightLogLine(FlightEventCells(event));
        errno = 0;
        std::ofstream out(file, std::ios::binary | std::ios::app);
        if (!out) {
            return LastError(errno, "the file cannot be opened");
        }
        errno = 0;
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.flush();
        if (!out) {
            return LastError(errno, "the file cannot be written");
        }
        return {};
    } catch (const std::exception& e) {
        return e.what();  // a name the file system cannot take
    }
}

std::string FailureEstimateText(const Settings& settings,
                                const std::array<bool, kSystemCount>& eligible, int checkPeriodMs) {
    // The chance that a check fails nothing, as a logarithm (exact also for
    // rates of one in millions): each eligible system is drawn for with 1/N,
    // and the first hit fails.
    double logNone = 0;
    bool certain = false;
    for (int id = 0; id < kSystemCount; ++id) {
        const auto i = static_cast<std::size_t>(id);
        if (settings.allowed[i] != 1 || !eligible[i]) {
            continue;
        }
        const std::optional<double> rate = StrictNumber(GetField(settings.systemStr[i], 1));
        if (!rate || *rate < 0) {
            continue;  // never drawn for; a negative N hits only at r = 0
        }
        if (*rate <= 1) {
            certain = true;  // every draw hits
        } else {
            logNone += std::log1p(-1.0 / *rate);
        }
    }
    const double perCheck = certain ? 1.0 : -std::expm1(logNone);
    const double seconds = checkPeriodMs / 1000.0 / perCheck;
    if (!(perCheck > 0) || checkPeriodMs <= 0 || !std::isfinite(seconds)) {
        return "With the systems allowed now, no failure can happen.";
    }
    return "With the systems allowed now, these settings give about one failure " +
           std::string(seconds < 30 ? "in " : "every ") + Interval(seconds) + ".";
}

}  // namespace skyfault::engine
