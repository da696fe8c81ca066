#pragma once

#include <array>
#include <string>
#include <string_view>

#include "settings/catalogue.h"

namespace skyfault {

inline constexpr std::string_view kUndefinedSound = "Undefined";

// Fields 2 to 7 of a comma list as the Default button gives them: windows
// that take in any flight (airspeed 0..999 kt, outside air -50..100 degC,
// ground altitude -999..99999 ft).
inline constexpr std::array<std::string_view, 6> kDefaultWindows = {
    "0",    "999",   // airspeed
    "-50",  "100",   // outside air temperature
    "-999", "99999"  // ground altitude
};

// The eight fields the System settings dialog's Default button gives: the
// rate, kDefaultWindows and the indicator "D".
std::string DefaultSystemList(std::string_view rateText);

// Joins the eight fields (rate, begIAS, endIAS, begOAT, endOAT, begAlt,
// endAlt, indicator) with ",".
std::string ComposeList(const std::array<std::string, 8>& fields);

// A list whose field 8 is exactly "D" gets `rateText` as field 1 and is
// rebuilt with exactly eight fields; any other list is returned unchanged.
std::string ApplyDefaultRate(std::string_view list, std::string_view rateText);

// The Failure Log's "Stop after [N] failures": 0 (no limit) to this.
inline constexpr int kMaxFailuresLimit = 999;

// Everything the configuration file stores, as the program holds it at run
// time. Check boxes keep their value 0, 1 or 2 (2 = greyed) beside the
// Booleans derived from them.
struct Settings {
    // General settings.
    std::string rateDenominator = "1000";  // Preferences' rate box
    std::string checkInterval = "60";      // main window's interval label
    bool activated = true;                 // cmdActivate disabled
    int audioBox = 1;                      // chkAudio
    int textBox = 1;                       // chkText
    bool audioNotify = false;
    bool visualNotify = false;
    int fuelLeakSpeed = 0;
    int fuelLeakOption = 1;  // the selected optFuelLeakSpeed button
    int pauseWithSim = 0;    // chkPause
    std::string defaultSound;
    int maxFailures = 0;  // the Failure Log's "Stop after" box; 0: no limit

    // Per system.
    std::array<int, kSystemCount> allowed{};  // chkFailureType values
    std::array<std::string, kSlotCount> systemStr;
    std::array<std::string, kSlotCount> soundFiles;

    Settings();

    // Applies a new default rate to every list marked "D" (SystemId 0..24).
    void ApplyDefaultRateToSystems(std::string_view rateText);
};

// The model of a first start without a configuration file: the defaults,
// with every system's list set to DefaultSystemList("1000").
Settings FirstStartSettings();

}  // namespace skyfault
