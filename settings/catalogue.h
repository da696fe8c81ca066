#pragma once

#include <array>
#include <span>
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

// A colour by its red, green and blue parts (0..255 each); each front-end
// turns it into its own.
struct Rgb {
    int red;
    int green;
    int blue;
};

// The light yellow of the main window's Current Settings frame, which the
// system frames stand in.
inline constexpr Rgb kCurrentSettingsColour{255, 255, 192};

// A frame of the main window's Current Settings that holds the check boxes of
// one group: its caption (GroupCaption) is drawn in `captionColour`; it is
// white inside when `white`, else it shows the Current Settings' light
// yellow; its boxes stand `columns` side by side, row by row, in the order of
// `systems` (SystemIds, all of this group).
struct SystemFrame {
    Group group;
    Rgb captionColour;
    bool white;
    int columns;
    std::span<const int> systems;
};

namespace frame_systems {
inline constexpr int kInstruments[] = {
    system_id::kAirspeedIndicator, system_id::kAltimeter,       system_id::kAttitudeIndicator,
    system_id::kCompass,           system_id::kEngineGauge,     system_id::kFuelIndicators,
    system_id::kHeadingIndicator,  system_id::kTurnCoordinator, system_id::kVerticalSpeedIndicator};
inline constexpr int kEngines[] = {system_id::kEngine1, system_id::kEngine2, system_id::kEngine3,
                                   system_id::kEngine4};
inline constexpr int kSystems[] = {system_id::kElectrics, system_id::kVacuum};
inline constexpr int kRadios[] = {system_id::kADF, system_id::kCOMRadio, system_id::kNAVRadios,
                                  system_id::kTransponder};
inline constexpr int kFuelLeak[] = {system_id::kLeftTank, system_id::kCenterTank,
                                    system_id::kRightTank};
inline constexpr int kMiscellaneous[] = {system_id::kFlaps, system_id::kPitot,
                                         system_id::kLandingGear};
}  // namespace frame_systems

// The main window's system frames in their order (the order of the keyboard
// focus through their boxes): every system stands in exactly one.
inline constexpr std::array<SystemFrame, 6> kSystemFrames{{
    {Group::Instruments, {255, 0, 0}, true, 1, frame_systems::kInstruments},
    {Group::Engines, {0, 0, 255}, false, 1, frame_systems::kEngines},
    {Group::Systems, {0, 128, 0}, false, 1, frame_systems::kSystems},
    {Group::Radios, {192, 0, 192}, false, 1, frame_systems::kRadios},
    {Group::FuelLeak, {128, 128, 0}, false, 1, frame_systems::kFuelLeak},
    {Group::Miscellaneous, {255, 128, 0}, false, 2, frame_systems::kMiscellaneous},
}};

// The configuration key of a caption: the caption with every blank removed.
std::string ConfigKey(std::string_view caption);

}  // namespace skyfault
