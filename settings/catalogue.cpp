#include "settings/catalogue.h"

namespace skyfault {

const std::array<SystemInfo, kSystemCount>& Catalogue() {
    static const std::array<SystemInfo, kSystemCount> catalogue = {{
        {"ADF", Group::Radios},
        {"Airspeed Indicator", Group::Instruments},
        {"Altimeter", Group::Instruments},
        {"Attitude Indicator", Group::Instruments},
        {"COM radio", Group::Radios},
        {"Compass", Group::Instruments},
        {"Electrics", Group::Systems},
        {"Engine Gauge", Group::Instruments},
        {"Fuel Indicators", Group::Instruments},
        {"Heading Indicator", Group::Instruments},
        {"NAV radios", Group::Radios},
        {"Pitot", Group::Miscellaneous},
        {"Transponder", Group::Radios},
        {"Turn Coordinator", Group::Instruments},
        {"Vacuum", Group::Systems},
        {"Vertical Speed Indicator", Group::Instruments},
        {"Engine 1", Group::Engines},
        {"Engine 2", Group::Engines},
        {"Engine 3", Group::Engines},
        {"Engine 4", Group::Engines},
        {"Landing Gear", Group::Miscellaneous},
        {"Left Tank", Group::FuelLeak},
        {"Right Tank", Group::FuelLeak},
        {"Center Tank", Group::FuelLeak},
        {"Flaps", Group::Miscellaneous},
    }};
    return catalogue;
}

std::string_view GroupCaption(Group group) {
    switch (group) {
        case Group::Instruments:
            return "Instruments";
        case Group::Engines:
            return "Engines";
        case Group::Systems:
            return "Systems";
        case Group::Radios:
            return "Radios";
        case Group::FuelLeak:
            return "Fuel Leak";
        case Group::Miscellaneous:
            return "Miscellaneous";
    }
    return "";
}

std::string ConfigKey(std::string_view caption) {
    std::string key;
    key.reserve(caption.size());
    for (char c : caption) {
        if (c != ' ') {
            key.push_back(c);
        }
    }
    return key;
}

}  // namespace skyfault
