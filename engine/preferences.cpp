#include "engine/preferences.h"

#include "engine/engine.h"
#include "settings/config.h"
#include "settings/text.h"

namespace skyfault::engine {

Preferences::Preferences(Engine& engine) : engine_(engine) {
    LoadFromSettings();
}

void Preferences::LoadFromSettings() {
    const Settings& settings = engine_.settings();
    const PreferencesControls& controls = engine_.preferences();
    form_.txtRateDenominator = settings.rateDenominator;
    form_.txtInterval = controls.txtInterval;
    form_.txtDefaultSound = settings.defaultSound;
    form_.chkAudio = settings.audioBox;
    form_.chkText = settings.textBox;
    form_.optFuelLeakSpeed = settings.fuelLeakOption;
    form_.chkPause = settings.pauseWithSim;
}

void Preferences::Show() {
    if (!visible_) {
        LoadFromSettings();
        visible_ = true;
    }
}

bool Preferences::SetSoundText(std::string text) {
    if (!SoundPathFits(text)) {
        return false;
    }
    form_.txtDefaultSound = std::move(text);
    return true;
}

void Preferences::optFuelLeakSpeed_Click(int index) {
    if (index >= 0 && index <= 2) {
        form_.optFuelLeakSpeed = index;
    }
}

void Preferences::SetToBound(std::string& box, std::string_view bound, int value) {
    const std::string text = std::to_string(value);
    engine_.SetStatusText(std::string(bound) + " is " + text + ".");
    box = text;
}

void Preferences::ApplyFrequencySettings() {
    // What the file could not keep whole is cut first, with a message.
    const bool rateCut = CutToBytes(form_.txtRateDenominator, kMaxEntryBytes);
    if (CutToBytes(form_.txtInterval, kMaxEntryBytes) || rateCut) {
        engine_.SetStatusText(std::string(kMaxEntryMessage));
    }
    if (CutToBytes(form_.txtDefaultSound, kMaxPathBytes)) {
        engine_.SetStatusText(std::string(kMaxPathMessage));
    }
    // Each check reads its box anew, so that it sees the corrections made
    // before it; each message replaces the last.
    if (TextValue(form_.txtRateDenominator) > kMaxRate) {
        SetToBound(form_.txtRateDenominator, "Max rate value", kMaxRate);
    }
    if (TextValue(form_.txtInterval) > kMaxInterval) {
        SetToBound(form_.txtInterval, "Max interval", kMaxInterval);
    }
    // Written as "not at least the least" so that a value that is not a
    // number at all is corrected too.
    if (!(TextValue(form_.txtRateDenominator) >= kMinRate)) {
        SetToBound(form_.txtRateDenominator, "Min rate value", kMinRate);
    }
    if (!(TextValue(form_.txtInterval) >= kMinInterval)) {
        SetToBound(form_.txtInterval, "Min interval", kMinInterval);
    }

    engine_.settings().rateDenominator = form_.txtRateDenominator;
    engine_.SetRateLabel(form_.txtRateDenominator);
    const int periodMs = static_cast<int>(RoundHalfEven(TextValue(form_.txtInterval) * 1000));
    engine_.preferences().txtInterval = form_.txtInterval;
    engine_.SetCheckInterval(form_.txtInterval, periodMs);
}

bool Preferences::cmdPrefsOK_Click() {
    ApplyFrequencySettings();

    Settings& settings = engine_.settings();
    int speed = settings.fuelLeakSpeed;
    for (int index = 0; index <= 2; ++index) {
        if (form_.optFuelLeakSpeed == index) {
            speed = index;
        }
    }
    settings.fuelLeakOption = form_.optFuelLeakSpeed;
    engine_.SetFuelLeakSpeed(speed);

    settings.audioBox = form_.chkAudio;
    settings.audioNotify = form_.chkAudio != 0;
    settings.textBox = form_.chkText;
    settings.visualNotify = form_.chkText != 0;

    // A greyed box counts as ticked; what is stored is what runs.
    engine_.SetPauseWithSim(form_.chkPause == 0 ? 0 : 1);

    engine_.ApplyDefaultRateToSystems(form_.txtRateDenominator);

    settings.defaultSound = form_.txtDefaultSound;
    engine_.preferences().txtDefaultSound = form_.txtDefaultSound;
    engine_.NotifyChanged();

    // The settings are in force either way; a file that could not be saved
    // keeps the dialog open, the reason in the status line, so that the
    // user can mend the cause and press OK again.
    const bool saved = engine_.WriteCFG();
    // The boxes now show what is in force (a greyed pause box shows ticked).
    LoadFromSettings();
    visible_ = !saved;
    return saved;
}

void Preferences::cmdPrefsCancel_Click() {
    LoadFromSettings();
    visible_ = false;
}

}  // namespace skyfault::engine
