#include "engine/front_end.h"

#include "engine/engine.h"
#include "settings/file_text.h"
#include "skyfault_version.h"

namespace skyfault::engine {

CheckState CheckStateOf(int value) {
    switch (value) {
        case 0:
            return CheckState::Unchecked;
        case 2:
            return CheckState::Greyed;
        default:
            return CheckState::Checked;
    }
}

bool SoundPathFits(std::string_view text) {
    return FitsFileText(text);
}

std::string AboutText(std::string_view lineEnd) {
    std::string text = "Skyfault v" SKYFAULT_VERSION;
    text.append(lineEnd).append(lineEnd);
    text +=
        "Makes aircraft systems fail at random while you fly: instruments, radios, electrics, "
        "vacuum, pitot, engines, leaking tanks, stuck gear and flaps.";
    text.append(lineEnd).append(lineEnd);
    text +=
        "It talks to the simulator through FSUIPC or WideClient. Settings are kept in "
        "skyfault.cfg, in the folder the program is started from.";
    return text;
}

std::string IntervalLabel() {
    return std::string(kIntervalLead) + std::string(kIntervalBlanks, ' ') +
           std::string(kIntervalTail);
}

int ClickedBoxValue(int value) {
    return value == 0 ? 1 : 0;
}

void chkFailureType_Click(Engine& engine, int systemId) {
    if (systemId < 0 || systemId >= kSystemCount) {
        return;
    }
    engine.SetAllowed(systemId, ClickedBoxValue(engine.state().settings.allowed[systemId]));
}

DialogLifecycle::DialogLifecycle()
    : presence_{DialogPresence::Hidden, DialogPresence::Unloaded, DialogPresence::Unloaded,
                DialogPresence::Unloaded} {}

bool DialogLifecycle::Show(DialogId dialog) {
    DialogPresence& presence = presence_[Index(dialog)];
    const bool make = presence == DialogPresence::Unloaded;
    presence = DialogPresence::Shown;
    return make;
}

bool DialogLifecycle::End(DialogId dialog, DialogEnd how) {
    DialogPresence& presence = presence_[Index(dialog)];
    if (presence == DialogPresence::Unloaded) {
        return false;  // already gone: nothing to destroy twice
    }
    bool unload = false;
    switch (dialog) {
        case DialogId::Preferences:
        case DialogId::FailureLog:
            break;
        case DialogId::SystemSettings:
            unload = how == DialogEnd::Cancel;
            break;
        case DialogId::About:
            unload = true;
            break;
    }
    presence = unload ? DialogPresence::Unloaded : DialogPresence::Hidden;
    return unload;
}

void DialogLifecycle::UnloadAll() {
    presence_.fill(DialogPresence::Unloaded);
}

}  // namespace skyfault::engine
