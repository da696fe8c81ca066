#include "engine/flight_log.h"

#include "settings/model.h"

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

double SystemLogClock::LocalSecondsSinceMidnight() {
    return 0;  // TODO
}

double SystemLogClock::SteadySeconds() {
    return 0;  // TODO
}

std::array<std::string, kFlightLogColumns> FlightEventCells(const FlightEvent&) {
    return {};  // TODO
}

std::string FailureEstimateText(const Settings&, const std::array<bool, kSystemCount>&, int) {
    return {};  // TODO
}

}  // namespace skyfault::engine
