#pragma once

#include "engine/system_settings.h"
#include "ui/win32/window.h"

namespace skyfault::win32 {

class frmMain;

// The System settings dialog: a view of `engine::SystemSettings`, which
// stores the edited system and does what the buttons do. Modeless and
// without owner; made at its first showing, hidden by OK, destroyed by
// Cancel (through the main window). Escape and the frame's close box are
// Cancel; no button answers the Enter key.
class frmSystemSettings final : public Window {
public:
    explicit frmSystemSettings(frmMain& main);
    ~frmSystemSettings() override;

    // The main window shows the dialog: the model first, then the controls.
    void Showing();

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void BuildControls();
    void Render();
    void Command(int id, int notification);

    frmMain& main_;
    engine::SystemSettings model_;
    bool rendering_ = false;
};

}  // namespace skyfault::win32
