#include "engine/system_settings.h"

#include <utility>

#include "engine/engine.h"
#include "engine/front_end.h"
#include "engine/preferences.h"
#include "settings/config.h"
#include "settings/model.h"
#include "settings/text.h"

namespace skyfault::engine {

const std::array<std::string_view, kSystemCount>& SystemListEntries() {
    static const std::array<std::string_view, kSystemCount> entries = {
        "ADF",
        "Airspeed Indicator",
        "Altimeter",
        "Attitude Indicator",
        "Center Tank",
        "COM radio",
        "Compass",
        "Electrics",
        "Engine 1",
        "Engine 2",
        "Engine 3",
        "Engine 4",
        "Engine Gauge",
        "Flaps",
        "Fuel Indicators",
        "Heading Indicator",
        "Landing Gear",
        "Left Tank",
        "NAV radios",
        "Pitot",
        "Right Tank",
        "Transponder",
        "Turn Coordinator",
        "Vacuum",
        "Vertical Speed Indicator",
    };
    return entries;
}

std::string& SystemSettingsForm::Box(SystemBox box) {
    return const_cast<std::string&>(std::as_const(*this).Box(box));
}

const std::string& SystemSettingsForm::Box(SystemBox box) const {
    switch (box) {
        case SystemBox::SystemRate:
            return txtSystemRate;
        case SystemBox::BegIAS:
            return txtBegIAS;
        case SystemBox::EndIAS:
            return txtEndIAS;
        case SystemBox::BegOAT:
            return txtBegOAT;
        case SystemBox::EndOAT:
            return txtEndOAT;
        case SystemBox::BegAlt:
            return txtBegAlt;
        case SystemBox::EndAlt:
            return txtEndAlt;
        case SystemBox::SystemSound:
            break;
    }
    return txtSystemSound;
}

SystemSettings::SystemSettings(Engine& engine) : engine_(engine) {
    Form_Load();
}

void SystemSettings::Form_Load() {
    TakeSnapshot();
    initialLoad_ = true;
    cmbSystem_Click(0);
    RefreshInterval();
}

void SystemSettings::TakeSnapshot() {
    savedSystemStr_ = engine_.settings().systemStr;
}

void SystemSettings::RefreshInterval() {
    form_.lblShowTimePeriod = "every " + engine_.state().lblInterval() + " seconds";
}

void SystemSettings::Show() {
    if (visible_ || unloaded_) {
        return;
    }
    TakeSnapshot();
    ShowItem();
    RefreshInterval();
    visible_ = true;
}

void SystemSettings::StoreShownSystem() {
    // What the file could not keep whole is cut first, with a message.
    bool cut = false;
    for (std::string* box :
         {&form_.txtSystemRate, &form_.txtBegIAS, &form_.txtEndIAS, &form_.txtBegOAT,
          &form_.txtEndOAT, &form_.txtBegAlt, &form_.txtEndAlt}) {
        cut |= CutToBytes(*box, kMaxEntryBytes);
    }
    if (cut) {
        engine_.SetStatusText(std::string(kMaxEntryMessage));
    }
    if (CutToBytes(form_.txtSystemSound, kMaxPathBytes)) {
        engine_.SetStatusText(std::string(kMaxPathMessage));
    }
    Settings& settings = engine_.settings();
    defaultIndicator_ =
        TextValue(settings.rateDenominator) == TextValue(form_.txtSystemRate) ? "D" : "C";
    const auto slot = static_cast<std::size_t>(itemID_);
    settings.systemStr[slot] =
        ComposeList({form_.txtSystemRate, form_.txtBegIAS, form_.txtEndIAS, form_.txtBegOAT,
                     form_.txtEndOAT, form_.txtBegAlt, form_.txtEndAlt, defaultIndicator_});
    if (form_.txtSystemSound != kDefaultSoundShown) {
        settings.soundFiles[slot] = form_.txtSystemSound;
    }
    engine_.NotifyChanged();
}

void SystemSettings::ShowItem() {
    const Settings& settings = engine_.settings();
    const auto slot = static_cast<std::size_t>(itemID_);
    const std::string& list = settings.systemStr[slot];
    form_.txtSystemRate = GetField(list, 1);
    form_.txtBegIAS = GetField(list, 2);
    form_.txtEndIAS = GetField(list, 3);
    form_.txtBegOAT = GetField(list, 4);
    form_.txtEndOAT = GetField(list, 5);
    form_.txtBegAlt = GetField(list, 6);
    form_.txtEndAlt = GetField(list, 7);
    defaultIndicator_ = GetField(list, 8);
    const std::string& sound = settings.soundFiles[slot];
    form_.txtSystemSound = sound == kUndefinedSound ? std::string(kDefaultSoundShown) : sound;
}

void SystemSettings::cmbSystem_Click(int position) {
    const auto& entries = SystemListEntries();
    if (position < 0 || position >= kSystemCount) {
        return;
    }
    if (initialLoad_) {
        initialLoad_ = false;
    } else {
        StoreShownSystem();
    }
    form_.cmbSystem = position;
    // The system is found by its caption, never by its place in the list.
    const std::string_view entry = entries[static_cast<std::size_t>(position)];
    const auto& catalogue = Catalogue();
    for (int id = 0; id < kSystemCount; ++id) {
        if (catalogue[static_cast<std::size_t>(id)].caption == entry) {
            itemID_ = static_cast<std::int16_t>(id);
        }
    }
    ShowItem();
}

bool SystemSettings::cmdOKSystemSettings_Click() {
    StoreShownSystem();
    // A file that could not be saved keeps the dialog open, the reason in
    // the status line.
    const bool saved = engine_.WriteCFG();
    visible_ = !saved;
    return saved;
}

void SystemSettings::cmdResetSystemSettings_Click() {
    form_.txtSystemRate = engine_.settings().rateDenominator;
    constexpr SystemBox windows[] = {SystemBox::BegIAS, SystemBox::EndIAS, SystemBox::BegOAT,
                                     SystemBox::EndOAT, SystemBox::BegAlt, SystemBox::EndAlt};
    for (std::size_t i = 0; i < kDefaultWindows.size(); ++i) {
        form_.Box(windows[i]) = std::string(kDefaultWindows[i]);
    }
    defaultIndicator_ = "D";
}

void SystemSettings::cmdCancelSystemSettings_Click() {
    engine_.settings().systemStr = savedSystemStr_;
    engine_.NotifyChanged();
    visible_ = false;
    unloaded_ = true;
}

bool SystemSettings::SetText(SystemBox box, std::string text) {
    if (box == SystemBox::SystemSound && !SoundPathFits(text)) {
        return false;
    }
    form_.Box(box) = std::move(text);
    return true;
}

bool SystemSettings::cmdSoundBrowse_Click(std::string path) {
    return path.empty() || SetText(SystemBox::SystemSound, std::move(path));
}

}  // namespace skyfault::engine
