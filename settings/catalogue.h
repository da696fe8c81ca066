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
