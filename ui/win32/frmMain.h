#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>

#include "engine/front_end.h"
#include "settings/catalogue.h"
#include "ui/win32/window.h"

namespace skyfault::engine {
class Engine;
}  // namespace skyfault::engine

namespace skyfault::win32 {

class FileDialog;
class frmAbout;
class frmFailureLog;
class frmPreferences;
class frmSystemSettings;

// The main window: a view of the engine's window state and the place where
// the user's commands enter the engine. It makes, shows, hides and destroys
// the four dialogs as engine::DialogLifecycle says, and adds no behaviour
// of its own. Commands of disabled controls are ignored, whatever sends them.
class frmMain final : public Window {
public:
    frmMain(engine::Engine& engine, FileDialog& fileDialog);
    ~frmMain() override;

    engine::Engine& Engine() { return engine_; }
    FileDialog& Files() { return fileDialog_; }
    // The engine unloaded the window: the program ends, and no command of
    // any window reaches the engine any more.
    bool Unloaded() const { return unloaded_; }

    // Redraws every control from the engine's state.
    void Refresh();

    // A dialog ended by its own controls, once its model let it go: hidden,
    // or destroyed as soon as its handler has returned.
    void DialogEnded(engine::DialogId dialog, engine::DialogEnd how);

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void BuildControls();
    HMENU BuildMenu();
    void Command(int id);
    void ShowDialog(engine::DialogId dialog);
    // `which`: the number of a dialog the window posted itself.
    void UnloadDialog(WPARAM which);
    LRESULT ControlColour(UINT message, HDC dc, HWND control);
    void DestroyBanner();
    void PaintBackground(HDC dc);

    engine::Engine& engine_;
    FileDialog& fileDialog_;
    engine::DialogLifecycle dialogs_;
    std::unique_ptr<frmPreferences> frmPreferences_;
    std::unique_ptr<frmSystemSettings> frmSystemSettings_;
    std::unique_ptr<frmAbout> frmAbout_;
    std::unique_ptr<frmFailureLog> frmFailureLog_;
    HWND toolTip_ = nullptr;
    std::wstring toolTipText_;
    HBITMAP banner_ = nullptr;  // freed once its control is gone
    HBRUSH yellow_ = nullptr;
    HBRUSH white_ = nullptr;
    bool unloaded_ = false;
};

}  // namespace skyfault::win32
