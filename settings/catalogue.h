#pragma once

#include <array>
#include <string>
#include <string_view>

namespace skyfault {

// The fixed set of systems that can fail. A SystemId (0..24) indexes the
// catalogue, the main window's check boxes and the settings tables.
inline constexpr int kSystemCount = 25;
// The comma-list and sound tables have 51 slots; 25..50 belong to no system.
inline constexpr int kSlotCount = 51;

// SystemIds by name, for the places that treat a system on its own.
namespace system_id {
inline constexpr int kADF = 0;
inline constexpr int kAirspeedIndicator = 1;
inline constexpr int kAltimeter = 2;
inline constexpr int kAttitudeIndicator = 3;
inline constexpr int kCOMRadio = 4;
inline constexpr int kCompass = 5;
inline constexpr int kElectrics = 6;
inline constexpr int kEngineGauge = 7;
inline constexpr int kFuelIndicators = 8;
inline constexpr int kHeadingIndicator = 9;
inline constexpr int kNAVRadios = 10;
inline constexpr int kPitot = 11;
inline constexpr int kTransponder = 12;
inline constexpr int kTurnCoordinator = 13;
inline constexpr int kVacuum = 14;
inline constexpr int kVerticalSpeedIndicator = 15;
inline constexpr int kEngine1 = 16;
inline constexpr int kEngine2 = 17;
inline constexpr int kEngine3 = 18;
inline constexpr int kEngine4 = 19;
inline constexpr int kLandingGear = 20;
inline constexpr int kLeftTank = 21;
inline constexpr int kRightTank = 22;
inline constexpr int kCenterTank = 23;
inline constexpr int kFlaps = 24;
}  // namespace system_id

enum class Group { Instruments, Engines, Systems, Radios, FuelLeak, Miscellaneous };

struct SystemInfo {
    std::string_view caption;
    Group group;
};

// The 25 systems in SystemId order.
const std::array<SystemInfo, kSystemCount>& Catalogue();

// The frame caption of a group ("Instruments", "Fuel Leak", ...).
std::string_view GroupCaption(Group group);

// The configuration key of a caption: the caption with every blank removed.
std::string ConfigKey(std::string_view caption);

}  // namespace skyfault
