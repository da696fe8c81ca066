#pragma once

#include "engine/preferences.h"
#include "ui/win32/window.h"

namespace skyfault::win32 {

class frmMain;

// The Preferences dialog: a view of `engine::Preferences`, which holds the
// boxes as edited and does what the buttons do. Modeless and without owner;
// made once with the main window and only hidden. Escape and the frame's
// close box are Cancel; no button answers the Enter key.
class frmPreferences final : public Window {
public:
    explicit frmPreferences(frmMain& main);
    ~frmPreferences() override;

    // The main window shows the dialog: the model first, then the controls.
    void Showing();

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void AfterLayout() override;

private:
    void BuildControls();
    void Render();
    void Command(int id, int notification);
    // The model let the dialog go (OK or Cancel): the main window hides it.
    void Ended(engine::DialogEnd how);

    frmMain& main_;
    engine::Preferences model_;
    bool rendering_ = false;
};

}  // namespace skyfault::win32
