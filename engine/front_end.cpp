#include "engine/front_end.h"

#include "engine/engine.h"
#include "settings/file_text.h"

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
    : presence_{DialogPresence::Hidden, DialogPresence::Unloaded, DialogPresence::Unloaded} {}

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
