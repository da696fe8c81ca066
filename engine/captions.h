#pragma once

// The captions of the windows and of their menus, frames, labels, boxes and
// buttons, the same on both front-ends, with the texts some controls hold
// until the engine's state is first drawn. (The Flight menu's and the
// Failure Log's stand with the flight log, the systems' in the catalogue.)

namespace skyfault::engine::caption {

// The captions' typeface, at 9 points (where it is not installed, the
// system's own).
inline constexpr char kTypeface[] = "Century Gothic";
inline constexpr int kPoints = 9;

// The main window.
inline constexpr char kMnuFile[] = "&File";
inline constexpr char kMnuFileDefault[] = "&Default Settings";
inline constexpr char kMnuSpecificSystems[] = "&Specific Systems";
inline constexpr char kMnuFileExit[] = "E&xit";
inline constexpr char kMnuHelp[] = "&Help";
inline constexpr char kMnuHelpAbout[] = "&About";
inline constexpr char kFraStatus[] = "Status";
inline constexpr char kTxtMessage[] = "Skyfault Activated";
inline constexpr char kCmdActivate[] = "Activate";
inline constexpr char kCmdDisable[] = "Disable";
inline constexpr char kCmdDefault[] = "Default Settings";
inline constexpr char kCmdSpecific[] = "Specific Systems";
inline constexpr char kBtnExit[] = "Exit";
inline constexpr char kFraCurrentSettings[] = "Current Settings";
inline constexpr char kLblRateHeading[] = "Default Probability:";
inline constexpr char kLblRate[] = ".001";
inline constexpr char kLblCheckInterval[] = "Check Interval:";
inline constexpr char kLblInterval[] = "60";
inline constexpr char kLblAllowedFailures[] = "Allowed Failures:";

// The dialogs' buttons.
inline constexpr char kOK[] = "OK";
inline constexpr char kCancel[] = "Cancel";
inline constexpr char kBrowse[] = "Browse...";
inline constexpr char kClose[] = "Close";

// Preferences ("Failure Rate:  1/" and "1000" also in System Specific Settings).
inline constexpr char kFrmPreferences[] = "Preferences";
inline constexpr char kFraFrequencySettings[] = "Default Failure Frequency";
inline constexpr char kLblEnterFailureRate[] = "Failure Rate:  1/";
inline constexpr char kTxtRateDenominator[] = "1000";
inline constexpr char kTxtInterval[] = "60";
inline constexpr char kLblDefaultSound[] = "Select Default Notification Sound:";
inline constexpr char kChkAudio[] = "Enable audio notification on failure";
inline constexpr char kChkText[] = "Enable text notification on failure";
inline constexpr char kFraFuelLeakSpeed[] = "Set Fuel Leak Speed";
inline constexpr const char* kOptFuelLeakSpeed[] = {"Slow", "Normal", "Fast"};
inline constexpr char kChkPause[] = "Skyfault pause on simulator pause";

// System Specific Settings.
inline constexpr char kFrmSystemSettings[] = "System Specific Settings";
inline constexpr char kLblSystemTitle[] = "System:";
inline constexpr char kLblShowTimePeriod[] = "every XXX seconds";
inline constexpr char kFraFailureCriteria[] = "Failure Criteria";
inline constexpr char kLblFailureNote[] =
    "NOTE:  Failure of this system will only occur if all of the criteria are met.";
inline constexpr char kLblIAS[] = "Indicated Airspeed (IAS):";
inline constexpr char kLblOAT[] = "Outside Air Temperature (OAT):";
inline constexpr char kLblAltitude[] = "Altitude:";
inline constexpr char kLblSystemSound[] = "Select System Failure Sound:";
inline constexpr char kCmdResetSystemSettings[] = "Default";

}  // namespace skyfault::engine::caption
