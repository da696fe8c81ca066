#pragma once

#include "ui/win32/window.h"

namespace skyfault::win32 {

class frmMain;

// The About window: the product's name and version, the program's icon and
// an OK button. Modeless and without owner; OK, Escape or the close box
// unload it (the main window destroys it).
class frmAbout final : public Window {
public:
    explicit frmAbout(frmMain& main);
    ~frmAbout() override;

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void Form_Load();
    void Unload();

    frmMain& main_;
    HICON icon_ = nullptr;
    bool unloading_ = false;
};

}  // namespace skyfault::win32
