#pragma once

// What both desktop front-ends share beyond the engine and the dialogs'
// models: the rule of a check box click, the check state each box value
// shows, and which dialog window exists or is shown when. A front-end only
// makes, shows, hides and destroys its windows as these say.

#include <array>
#include <string>
#include <string_view>

namespace skyfault::engine {

class Engine;

// --- Check boxes ---------------------------------------------------------------
// A box value is 0 (unchecked), 1 (checked) or 2 (greyed: checked and dimmed,
// as a file's value 2 leaves it). Any other value shows as checked.
enum class CheckState { Unchecked, Checked, Greyed };
CheckState CheckStateOf(int value);
// A click ticks an unticked box and clears a ticked or greyed one.
int ClickedBoxValue(int value);
// The user clicks the main window's check box of `systemId`.
void chkFailureType_Click(Engine& engine, int systemId);

// --- Sound paths ---------------------------------------------------------------
// A sound whose path skyfault.cfg cannot hold (a folder or file name with
// characters outside the system's code page) is refused where it is chosen
// or typed: the box keeps its text, and the dialog shows this at the box.
inline constexpr std::string_view kSoundPathRefused =
    "This sound cannot be kept: skyfault.cfg cannot hold the characters of its folder or file "
    "name in this system's language. Rename them, or choose another sound.";
// Whether a sound box may take `text`.
bool SoundPathFits(std::string_view text);

// --- Texts both front-ends show ------------------------------------------------
// The program's name: the main window's caption and the message boxes'
// ("About Skyfault" is the About window's).
inline constexpr const char* kApplicationTitle = "Skyfault";
// What a second start in the same user session says before it ends.
inline constexpr const char* kAlreadyRunning = "Skyfault is already running.";
// The About window's text: the product and its version on the first line,
// then what the program does; its lines end in `lineEnd` ("\n"; the Win32
// text box wants "\r\n").
std::string AboutText(std::string_view lineEnd);
// The Preferences' interval box stands over the blanks of its label: the
// label reads the lead, kIntervalBlanks blanks and the tail; the box starts
// one blank after the lead and is as wide as all but two of the blanks.
inline constexpr std::string_view kIntervalLead = "Check for failure every";
inline constexpr int kIntervalBlanks = 20;
inline constexpr std::string_view kIntervalTail = "seconds";
// The label's whole text.
std::string IntervalLabel();

// --- Dialog windows ------------------------------------------------------------
enum class DialogId { Preferences, SystemSettings, About, FailureLog };
enum class DialogPresence {
    Unloaded,  // no window: the next showing makes (loads) it
    Hidden,    // the window exists, keeping its state, and is not shown
    Shown,
};
// How a dialog was ended by its own controls.
enum class DialogEnd {
    Ok,      // its OK button
    Cancel,  // its Cancel button, the Escape key or its frame's close box
};

// Which of the three dialogs exists and is shown: Preferences exists for the
// whole run and is only hidden; System settings is made at its first
// showing, hidden by OK and destroyed by Cancel; About is made on each use
// after it was unloaded by OK or its close box; the Failure Log is made at
// its first showing and only hidden by its close box. Dialogs are modeless and
// without owner: none of this blocks the main window.
class DialogLifecycle final {
public:
    DialogLifecycle();

    DialogPresence Presence(DialogId dialog) const { return presence_[Index(dialog)]; }

    // A command of the main window shows `dialog` (and activates it when it
    // is shown already). True when its window must be made first.
    [[nodiscard]] bool Show(DialogId dialog);
    // The dialog ended by its own controls; call it once its model has let
    // it go (a dialog whose OK could not save stays open: do not call it
    // then). True when its window must be destroyed; otherwise it is hidden.
    [[nodiscard]] bool End(DialogId dialog, DialogEnd how);
    // The main window unloads: every dialog goes with it, without any
    // handling of its own.
    void UnloadAll();

private:
    static int Index(DialogId dialog) { return static_cast<int>(dialog); }
    std::array<DialogPresence, 4> presence_;
};

}  // namespace skyfault::engine
