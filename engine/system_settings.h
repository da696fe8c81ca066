#pragma once

// The System settings dialog (`frmSystemSettings`) without drawing: one
// system's comma list and sound at a time, edited in boxes and stored into
// the tables `systemStr` and `soundFiles` of the engine's settings.
//
// A system's boxes are stored as soon as another system is selected; OK
// stores the shown system and rewrites the configuration file; Cancel (and
// closing by the frame) puts back the comma lists as they were when the
// dialog was shown, and the dialog is destroyed. Each showing after an OK
// starts from the tables: a new snapshot for Cancel, the shown system
// reloaded, the interval text refreshed.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/captions.h"
#include "settings/catalogue.h"

namespace skyfault::engine {

class Engine;

// The entries of the system list, alphabetical with letter case ignored.
const std::array<std::string_view, kSystemCount>& SystemListEntries();

// What the sound box shows for a system without a sound of its own.
inline constexpr std::string_view kDefaultSoundShown = "<default>";

// The boxes that accept text.
enum class SystemBox {
    SystemRate,
    BegIAS,
    EndIAS,
    BegOAT,
    EndOAT,
    BegAlt,
    EndAlt,
    SystemSound,
};

// The dialog's controls as the user sees them.
struct SystemSettingsForm {
    int cmbSystem = -1;  // the selected list position; none before creation
    std::string txtSystemRate = "1000";
    std::string txtBegIAS;
    std::string txtEndIAS;
    std::string txtBegOAT;
    std::string txtEndOAT;
    std::string txtBegAlt;
    std::string txtEndAlt;
    std::string txtSystemSound;
    std::string lblShowTimePeriod = caption::kLblShowTimePeriod;

    std::string& Box(SystemBox box);
    const std::string& Box(SystemBox box) const;
};

class SystemSettings final {
public:
    // Creation (`Form_Load`): the dialog is shown with "ADF" selected.
    explicit SystemSettings(Engine& engine);

    const SystemSettingsForm& form() const { return form_; }
    std::int16_t itemID() const { return itemID_; }
    bool visible() const { return visible_; }
    // Cancel ran: the dialog is to be destroyed.
    bool unloaded() const { return unloaded_; }

    // Showing the dialog again. From hidden (after OK) it starts from the
    // tables; while it is shown, nothing changes.
    void Show();

    // The user types into a box. A sound text the file cannot hold is
    // refused (SoundPathFits): the box keeps what it had. False when refused.
    bool SetText(SystemBox box, std::string text);
    // The selection of the list changes to `position` (0..24): the shown
    // system is stored, the selected one shown.
    void cmbSystem_Click(int position);
    // OK: stores the shown system, rewrites the file, hides the dialog.
    // When the file cannot be saved the dialog stays shown (the status line
    // says why). True when the dialog is hidden.
    bool cmdOKSystemSettings_Click();
    // Default: the default values into the boxes (the tables change only
    // when the shown system is next stored).
    void cmdResetSystemSettings_Click();
    // Cancel (also Escape and the frame's close box): the comma lists back
    // as they were at the showing; sounds stored since stay. Nothing is
    // written; the dialog is destroyed.
    void cmdCancelSystemSettings_Click();
    // Browse: `path` is what the file dialog returned; an empty text (the
    // user cancelled) leaves the box as it was, and so does a path the file
    // cannot hold (false: refused).
    bool cmdSoundBrowse_Click(std::string path);

private:
    void Form_Load();
    // The shown system's boxes into the tables.
    void StoreShownSystem();
    // The boxes from the tables, for `itemID`.
    void ShowItem();
    void TakeSnapshot();
    void RefreshInterval();

    Engine& engine_;
    SystemSettingsForm form_;
    std::int16_t itemID_ = 0;
    bool initialLoad_ = true;
    std::string defaultIndicator_;
    std::array<std::string, kSlotCount> savedSystemStr_;
    bool visible_ = true;
    bool unloaded_ = false;
};

}  // namespace skyfault::engine
