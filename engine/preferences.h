#pragma once

// The Preferences dialog (`frmPreferences`) without drawing: the general
// settings as the user edits them, and what OK, Cancel and Browse do.
//
// The settings in force live in the engine (`Engine::settings()` and
// `Engine::preferences()`); this model holds the dialog's boxes as the user
// edits them. OK checks and corrects the rate and the interval, applies every
// box to the running program and rewrites the configuration file; Cancel (and
// closing the dialog by its frame) puts every box back from the settings in
// force, so an edit that was not confirmed is never stored later.

#include <string>
#include <string_view>

#include "engine/front_end.h"

namespace skyfault::engine {

class Engine;

// The dialog's controls as the user sees them. Check boxes hold 0
// (unchecked), 1 (checked) or 2 (greyed).
struct PreferencesForm {
    std::string txtRateDenominator = "1000";
    std::string txtInterval = "60";
    std::string txtDefaultSound;
    int chkAudio = 1;
    int chkText = 1;
    int optFuelLeakSpeed = 1;  // the selected option button: 0 Slow, 1 Normal, 2 Fast
    int chkPause = 0;
};

// The bounds of the rate and interval entry. OK sets a box beyond one to the
// bound and says so in the status line ("Max rate value is 65000.").
inline constexpr int kMaxRate = 65000;
inline constexpr int kMaxInterval = 65;
inline constexpr int kMinRate = 1;
inline constexpr int kMinInterval = 1;
// Longer entries are cut, so that the file keeps them whole (settings/config.h).
inline constexpr std::string_view kMaxEntryMessage = "Max entry length is 4096 bytes.";
inline constexpr std::string_view kMaxPathMessage = "Max sound path length is 32704 bytes.";
// The title of the file dialog behind Browse (no file-type filter).
inline constexpr std::string_view kOpenSoundFileTitle = "Open Sound File";

class Preferences final {
public:
    // The dialog exists for the whole run; it starts hidden.
    explicit Preferences(Engine& engine);

    const PreferencesForm& form() const { return form_; }
    bool visible() const { return visible_; }

    // Showing the dialog. From hidden, the boxes are filled from the settings
    // in force (the configuration read at start, the last OK); while it is
    // shown, nothing changes.
    void Show();

    // What the user types, ticks and selects.
    void SetRateText(std::string text) { form_.txtRateDenominator = std::move(text); }
    void SetIntervalText(std::string text) { form_.txtInterval = std::move(text); }
    // A sound text the file cannot hold is refused (SoundPathFits): the box
    // keeps what it had. False when refused.
    bool SetSoundText(std::string text);
    // A click on a check box ticks an unticked box and clears a ticked or
    // greyed one.
    void chkAudio_Click() { form_.chkAudio = Toggled(form_.chkAudio); }
    void chkText_Click() { form_.chkText = Toggled(form_.chkText); }
    void chkPause_Click() { form_.chkPause = Toggled(form_.chkPause); }
    // Option 0, 1 or 2 selected.
    void optFuelLeakSpeed_Click(int index);

    // OK: checks and applies every box, rewrites the file, hides the dialog.
    // When the file cannot be saved the dialog stays shown (the status line
    // says why). True when the dialog is hidden.
    bool cmdPrefsOK_Click();
    // Cancel (also Escape and the frame's close box): every box back from the
    // settings in force; the dialog is hidden; nothing is applied or written.
    void cmdPrefsCancel_Click();
    // Browse: `path` is what the file dialog returned, the chosen file's
    // full path or an empty text when the user cancelled; either goes into
    // the sound box, unless the file cannot hold it (false: refused).
    bool cmdDefaultBrowse_Click(std::string path) { return SetSoundText(std::move(path)); }

private:
    static int Toggled(int value) { return ClickedBoxValue(value); }
    // `box` := the bound's value, and the status line says "<bound> is <value>.".
    void SetToBound(std::string& box, std::string_view bound, int value);
    // The rate and interval checks, then the rate and interval applied.
    void ApplyFrequencySettings();
    // Every box from the settings in force.
    void LoadFromSettings();

    Engine& engine_;
    PreferencesForm form_;
    bool visible_ = false;
};

}  // namespace skyfault::engine
